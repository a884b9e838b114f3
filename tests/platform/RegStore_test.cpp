#include "platform/RegStore.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "CrashSupport.h"
#include "base/Text.h"
#include "platform/AtomicFile.h"
#include "tests/support/QtTestSupport.h"

namespace {

namespace fs = std::filesystem;

// UTF-8 text to UTF-16 LE bytes (BMP only, enough for the texts here).
std::string utf16le(const std::string& utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    auto b = static_cast<unsigned char>(utf8[i]);
    char32_t cp = b;
    std::size_t len = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : 3;
    if (len > 1) cp = b & (0x7F >> len);
    for (std::size_t k = 1; k < len; ++k)
      cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    i += len;
    out += static_cast<char>(cp & 0xFF);
    out += static_cast<char>(cp >> 8);
  }
  return out;
}

std::string withCrLf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

class RegStoreTest : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  std::string folder = dir.path().toStdString() + "/config/Halvex";
  std::string path = folder + "/HalvexStream.reg";
};

TEST_F(RegStoreTest, WritesRegeditFormatInUtf8AndReadsItBack) {
  TRegStore store(path);
  ASSERT_TRUE(store.open());
  store.writeString("platines", "192.168.1.10;192.168.1.11");
  store.writeDword("priority", 10);
  store.writeString("SIPID", "C:\\x \"q\" caf\xE9");  // Windows-1252 é
  store.writeString("CallingList", "a\r\nb");         // must not become two lines
  ASSERT_TRUE(store.save()) << store.lastError();

  EXPECT_EQ(readFileBytes(path),
            "Windows Registry Editor Version 5.00\n"
            "\n"
            "[HKEY_CURRENT_USER\\Software\\Halvex\\HalvexStream]\n"
            "\"platines\"=\"192.168.1.10;192.168.1.11\"\n"
            "\"priority\"=dword:0000000a\n"
            "\"SIPID\"=\"C:\\\\x \\\"q\\\" caf\xC3\xA9\"\n"
            "\"CallingList\"=hex(1):61,00,0d,00,0a,00,62,00,00,00\n"
            "\n");
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  ASSERT_EQ(stat(folder.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  TRegStore again(path);
  ASSERT_TRUE(again.open());
  EXPECT_FALSE(again.damaged());
  EXPECT_EQ(again.readString("PLATINES"), "192.168.1.10;192.168.1.11");
  EXPECT_EQ(again.readDword("Priority"), 10u);
  EXPECT_EQ(again.readString("sipid"), "C:\\x \"q\" caf\xE9");
  EXPECT_EQ(again.readString("CallingList"), "a\r\nb");
  // The two types are kept apart.
  EXPECT_EQ(again.readDword("platines"), std::nullopt);
  EXPECT_EQ(again.readString("priority"), std::nullopt);
  EXPECT_EQ(again.readString("missing"), std::nullopt);
}

TEST_F(RegStoreTest, NamesMatchWithoutCaseAndKeepTheirFirstSpellingAndPlace) {
  TRegStore store(path);
  ASSERT_TRUE(store.open());
  store.writeString("APIUsername", "a");
  store.writeDword("priority", 1);
  store.writeString("APIusername", "b");
  store.writeString("PRIORITY", "now a string");
  EXPECT_EQ(store.valueNames(), (std::vector<std::string>{"APIUsername", "priority"}));
  EXPECT_EQ(store.readString("apiusername"), "b");
  EXPECT_EQ(store.readDword("priority"), std::nullopt);
  EXPECT_TRUE(store.deleteValue("ApiUserName"));
  EXPECT_FALSE(store.deleteValue("ApiUserName"));
  EXPECT_EQ(store.valueNames(), (std::vector<std::string>{"priority"}));
}

TEST_F(RegStoreTest, UnknownValuesAndOtherKeysSurviveARewrite) {
  fs::create_directories(folder);
  writeFileBytes(path,
                 "Windows Registry Editor Version 5.00\n\n"
                 "[HKEY_CURRENT_USER\\Software\\Halvex\\HalvexStream]\n"
                 "\"first\"=\"1\"\n"
                 "\"multi\"=hex(7):41,00,00,00,\\\n"
                 "  00,00\n"
                 "@=\"default\"\n"
                 "\"last\"=dword:00000002\n\n"
                 "[HKEY_CURRENT_USER\\Software\\Halvex\\HalvexStream\\Sub]\n"
                 "\"x\"=\"y\"\n\n");
  TRegStore store(path);
  ASSERT_TRUE(store.open());
  EXPECT_FALSE(store.damaged());
  EXPECT_EQ(store.readString(""), "default");
  EXPECT_EQ(store.readString("multi"), std::nullopt);  // neither of our two types
  EXPECT_FALSE(store.exists("x"));                     // belongs to another key
  store.writeDword("first", 5);
  store.writeString("new", "n");
  ASSERT_TRUE(store.save());
  EXPECT_EQ(readFileBytes(path),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_CURRENT_USER\\Software\\Halvex\\HalvexStream]\n"
            "\"first\"=dword:00000005\n"
            "\"multi\"=hex(7):41,00,00,00,00,00\n"
            "@=\"default\"\n"
            "\"last\"=dword:00000002\n"
            "\"new\"=\"n\"\n\n"
            "[HKEY_CURRENT_USER\\Software\\Halvex\\HalvexStream\\Sub]\n"
            "\"x\"=\"y\"\n\n");
}

// Each line sits in a store between two good values; a bad line must cost only itself.
struct TLineCase {
  const char* why;
  const char* line;
  bool damaged;
  std::optional<std::string> text;      // expected string value of "v"
  std::optional<std::uint32_t> number;  // expected number value of "v"
};

class RegStoreLineTest : public ::testing::TestWithParam<TLineCase> {};

TEST_P(RegStoreLineTest, ParsesOrLosesOnlyThatValue) {
  const TLineCase& c = GetParam();
  auto content = TRegStore::parse(std::string("Windows Registry Editor Version 5.00\n\n[") +
                                  TRegStore::KeyName + "]\n\"before\"=\"b\"\n" + c.line +
                                  "\n\"after\"=dword:00000001\n");
  EXPECT_EQ(!content.damagedLines.empty(), c.damaged) << c.why;
  if (c.damaged) {
    EXPECT_EQ(content.damagedLines, std::vector<int>{5}) << c.why;
  }
  std::optional<std::string> text;
  std::optional<std::uint32_t> number;
  bool before = false, after = false;
  for (const auto& v : content.values) {
    if (v.name == "before") before = v.text == "b";
    if (v.name == "after") after = v.number == 1;
    if (lowerAscii(v.name) == "v") {
      if (v.type == TRegStore::EType::String) text = v.text;
      if (v.type == TRegStore::EType::Dword) number = v.number;
    }
  }
  EXPECT_TRUE(before && after) << c.why;
  EXPECT_EQ(text, c.text) << c.why;
  EXPECT_EQ(number, c.number) << c.why;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, RegStoreLineTest,
    ::testing::Values(
        TLineCase{"upper-case hex digits", "\"v\"=dword:0000000A", false, {}, 10u},
        TLineCase{"short dword", "\"v\"=dword:ff", false, {}, 255u},
        TLineCase{"dword over 32 bits", "\"v\"=dword:123456789", true, {}, {}},
        TLineCase{"dword not hex", "\"v\"=dword:00zz0000", true, {}, {}},
        TLineCase{"empty dword", "\"v\"=dword:", true, {}, {}},
        TLineCase{"unterminated string", "\"v\"=\"abc", true, {}, {}},
        TLineCase{"junk after the string", "\"v\"=\"abc\" x", true, {}, {}},
        TLineCase{"unquoted name", "v=\"abc\"", true, {}, {}},
        TLineCase{"no equals sign", "\"v\" \"abc\"", true, {}, {}},
        TLineCase{"unknown type", "\"v\"=qword:1", true, {}, {}},
        TLineCase{"bad hex byte", "\"v\"=hex:0g", true, {}, {}},
        TLineCase{"odd hex(1) length", "\"v\"=hex(1):41,00,00", true, {}, {}},
        TLineCase{"escapes in name and text", "\"V\"=\"a\\\\b\\\"c\"", false, "a\\b\"c", {}},
        TLineCase{"blanks around the equals sign", "\"v\" = \"x\"", false, "x", {}},
        TLineCase{"string in hex(1)", "\"v\"=hex(1):41,00,e9,00,00,00", false, "A\xE9", {}},
        TLineCase{"deletion line removes nothing else", "\"v\"=-", false, {}, {}}));

struct THeaderCase {
  const char* fault;
  std::string file;
  std::vector<int> damaged;
  std::vector<std::string> names;  // our key's values, in file order
};

// The header line is only a label: a file without it must still give every value, and only a
// line that is neither header nor section nor value is lost.
TEST(RegStoreParse, AMissingHeaderLosesNothingElse) {
  const std::string key = std::string("[") + TRegStore::KeyName + "]";
  const std::vector<THeaderCase> cases = {
      {"the section line taken for a damaged header loses every value",
       key + "\n\"v\"=\"x\"\n\"w\"=dword:00000001\n",
       {},
       {"v", "w"}},
      {"blank lines and CR LF before the section line change nothing",
       "\r\n\r\n" + key + "\r\n\"v\"=\"x\"\r\n",
       {},
       {"v"}},
      {"a value line first is outside any key: lost alone",
       "\"u\"=\"x\"\n" + key + "\n\"v\"=\"x\"\n",
       {1},
       {"v"}},
      {"text in place of the header costs its line, not the key after it",
       "garbage\n\"u\"=\"x\"\n" + key + "\n\"w\"=\"y\"\n",
       {1, 2},
       {"w"}},
      {"a header further down is not a header and not a value",
       key + "\n\"v\"=\"x\"\nWindows Registry Editor Version 5.00\n",
       {3},
       {"v"}},
  };
  for (const THeaderCase& c : cases) {
    SCOPED_TRACE(c.fault);
    auto content = TRegStore::parse(c.file);
    EXPECT_EQ(content.damagedLines, c.damaged);
    std::vector<std::string> names;
    for (const auto& v : content.values) names.push_back(v.name);
    EXPECT_EQ(names, c.names);
  }
}

// The same content in every encoding a user may bring from Windows, or we wrote ourselves.
TEST_F(RegStoreTest, ReadsRegeditUtf16AndUtf8Exports) {
  const std::string utf8 =
      "Windows Registry Editor Version 5.00\n\n"
      "[HKEY_CURRENT_USER\\Software\\Halvex\\HalvexStream]\n"
      "\"SIPID\"=\"porte d'entr\xC3\xA9"
      "e\"\n"
      "\"priority\"=dword:00000002\n"
      "\"binary\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,17,\\\n"
      "  18,19\n"
      "\"language\"=\"EN\"\n\n";
  const std::string regedit4 =
      "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Halvex\\HalvexStream]\r\n"
      "\"SIPID\"=\"porte d'entr\xE9"
      "e\"\r\n\"priority\"=dword:00000002\r\n"
      "\"language\"=\"EN\"\r\n";
  const std::vector<std::pair<const char*, std::string>> files = {
      {"regedit's UTF-16 LE with BOM and CR LF", "\xFF\xFE" + utf16le(withCrLf(utf8))},
      {"UTF-8 with BOM", "\xEF\xBB\xBF" + utf8},
      {"UTF-8 with CR LF", withCrLf(utf8)},
      {"REGEDIT4 in Windows-1252", regedit4},
  };
  for (const auto& [why, bytes] : files) {
    fs::create_directories(folder);
    writeFileBytes(path, bytes);
    TRegStore store(path);
    ASSERT_TRUE(store.open()) << why;
    EXPECT_FALSE(store.damaged()) << why;
    EXPECT_EQ(store.readString("SIPID"),
              "porte d'entr\xE9"
              "e")
        << why;
    EXPECT_EQ(store.readDword("priority"), 2u) << why;
    EXPECT_EQ(store.readString("language"), "EN") << why;
    // Once rewritten the file is UTF-8 and still says the same.
    ASSERT_TRUE(store.save()) << why;
    const std::string rewritten = readFileBytes(path);
    EXPECT_TRUE(rewritten.starts_with("Windows Registry Editor Version 5.00\n")) << why;
    EXPECT_NE(rewritten.find("\"SIPID\"=\"porte d'entr\xC3\xA9"
                             "e\"\n"),
              std::string::npos)
        << why;
  }
}

TEST_F(RegStoreTest, ALinkPlantedInPlaceOfTheStoreIsNeitherReadNorFollowed) {
  fs::create_directories(folder);
  const std::string victim = dir.path().toStdString() + "/victim";
  const std::string victimText =
      "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Halvex\\"
      "HalvexStream]\n\"SIPID\"=\"planted\"\n";
  writeFileBytes(victim, victimText);
  fs::create_symlink(victim, path);

  TRegStore store(path);
  ASSERT_TRUE(store.open());
  EXPECT_TRUE(store.ignoredLink());
  EXPECT_FALSE(store.exists("SIPID"));
  store.writeString("SIPID", "ours");
  ASSERT_TRUE(store.save()) << store.lastError();

  EXPECT_EQ(readFileBytes(victim), victimText);
  EXPECT_FALSE(fs::is_symlink(path));
  TRegStore again(path);
  ASSERT_TRUE(again.open());
  EXPECT_EQ(again.readString("SIPID"), "ours");
}

TEST_F(RegStoreTest, OpenFailsWhenTheFolderCannotBeMadeOrThePathIsNoFile) {
  const std::string blocker = dir.path().toStdString() + "/file";
  writeFileBytes(blocker, "x");
  TRegStore underFile(blocker + "/Halvex/HalvexStream.reg");
  EXPECT_FALSE(underFile.open());
  EXPECT_FALSE(underFile.save());

  fs::create_directories(path);  // a folder where the file belongs
  TRegStore folderInPlace(path);
  EXPECT_FALSE(folderInPlace.open());
  EXPECT_FALSE(folderInPlace.lastError().empty());
}

TEST_F(RegStoreTest, SaveClearsOnlyStaleTemporaryCopies) {
  TRegStore store(path);
  ASSERT_TRUE(store.open());
  const std::string stale = folder + "/" + temporaryPrefix(path) + "stale";
  const std::string fresh = folder + "/" + temporaryPrefix(path) + "fresh";
  writeFileBytes(stale, "left by a crash");
  writeFileBytes(fresh, "a save in progress");
  const timespec old[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, stale.c_str(), old, 0), 0);
  ASSERT_TRUE(store.save());
  EXPECT_FALSE(fs::exists(stale));
  EXPECT_TRUE(fs::exists(fresh));
}

#ifdef OSTREL_CRASH_HELPER
// The helper saves the store in a loop, every value carrying the generation number of its save.
// Killing it at many instants must always leave one whole generation on disk.
TEST_F(RegStoreTest, AProcessKilledMidSaveLeavesTheOldOrTheNewStore) {
  constexpr int kValues = 200;  // big enough for a save to take a while
  {
    TRegStore initial(path);
    ASSERT_TRUE(initial.open());
    for (int i = 0; i < kValues; ++i) initial.writeString("value" + std::to_string(i), "gen-0");
    initial.writeDword("generation", 0);
    ASSERT_TRUE(initial.save());
  }
  for (int round = 0; round < crashRounds(); ++round) {
    ASSERT_EQ(killWriterMidLoop(OSTREL_CRASH_HELPER, {path, std::to_string(kValues)},
                                static_cast<unsigned>((round * 977) % 4000)),
              "");
    TRegStore store(path);
    ASSERT_TRUE(store.open()) << store.lastError();
    ASSERT_FALSE(store.damaged()) << "round " << round;
    auto generation = store.readDword("generation");
    ASSERT_TRUE(generation.has_value()) << "round " << round;
    const std::string expected = "gen-" + std::to_string(*generation);
    for (int i = 0; i < kValues; ++i)
      ASSERT_EQ(store.readString("value" + std::to_string(i)), expected)
          << "round " << round << " value " << i;
  }
}
#endif

}  // namespace
