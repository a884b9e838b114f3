#include "core/Autostart.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/QtTestSupport.h"

namespace {

namespace fs = std::filesystem;

const std::string kFolderFailed =
    "Echec de cr\xE9"
    "ation du r\xE9"
    "pertoire";

class AutostartTest : public ::testing::Test {
 protected:
  void SetUp() override {
    env.values["HOME"] = root;
    env.values["XDG_CONFIG_HOME"] = root + "/config";
    env.values["XDG_DATA_HOME"] = root + "/my data%";  // quoting in Exec must hold
    writeFileBytes(running, program);
  }

  QTemporaryDir dir;
  std::string root = dir.path().toStdString();
  std::string running = root + "/build/ostrel";
  std::string program = std::string(
      "\x7F"
      "ELF pretend program\0with a NUL",
      30);
  TFakeEnv env;
  TPaths paths{env};
  TRecordingDialogs dialogs;
  TAutostart autostart{paths, dialogs, running};
};

TEST_F(AutostartTest, OnCopiesTheProgramAndWritesTheEntryWhateverFoldersExist) {
  struct TCase {
    const char* why;
    bool vendorFolder;
    bool privateFolder;
    bool oldCopy;
  };
  const TCase cases[] = {
      {"first time: nothing exists", false, false, false},
      {"vendor folder present, private folder missing", true, false, false},
      {"an older copy is replaced", true, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    fs::remove_all(root + "/my data%");
    fs::remove_all(root + "/config");
    if (c.vendorFolder) fs::create_directories(paths.vendorFolder());
    if (c.privateFolder) fs::create_directories(paths.privateFolder());
    if (c.oldCopy)
      writeFileBytes(paths.programCopy(), "old version, longer than the new one......");
    ASSERT_FALSE(autostart.isAutostartEnabled());

    autostart.setAutostart(true);

    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(readFileBytes(paths.programCopy()), program);
    struct stat st {};
    ASSERT_EQ(stat(paths.programCopy().c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IXUSR);
    EXPECT_TRUE(autostart.isAutostartEnabled());
    const std::string entry = readFileBytes(paths.autostartEntry());
    EXPECT_NE(entry.find("[Desktop Entry]\n"), std::string::npos);
    EXPECT_NE(entry.find("\nType=Application\n"), std::string::npos);
    // The argument tells the copy it was started with the session (it then waits for the
    // network).
    EXPECT_NE(entry.find("\nExec=\"" + root +
                         "/my data%%/Halvex/Ostrel_Stream/Ostrel_Stream\" --autostart\n"),
              std::string::npos)
        << entry;
  }
}

TEST_F(AutostartTest, OffRemovesTheEntryAndIsQuietWhenThereIsNone) {
  autostart.setAutostart(true);
  ASSERT_TRUE(autostart.isAutostartEnabled());
  autostart.setAutostart(false);
  EXPECT_FALSE(autostart.isAutostartEnabled());
  EXPECT_FALSE(fs::exists(paths.autostartEntry()));
  autostart.setAutostart(false);
  EXPECT_FALSE(autostart.isAutostartEnabled());
  EXPECT_TRUE(dialogs.shown.empty());
  // Turning autostart off removes the entry only: the program copy stays.
  EXPECT_TRUE(fs::exists(paths.programCopy()));
}

TEST_F(AutostartTest, AFolderThatCannotBeMadeIsShownAndNoEntryPointsAtNothing) {
  writeFileBytes(root + "/blocker", "a file where a folder is needed");
  env.values["XDG_DATA_HOME"] = root + "/blocker/data";
  autostart.setAutostart(true);
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].text, kFolderFailed);
  EXPECT_EQ(dialogs.shown[0].icon, EDialogIcon::Warning);
  EXPECT_FALSE(autostart.isAutostartEnabled());
}

TEST_F(AutostartTest, WithoutACopyNoEntryIsWritten) {
  TAutostart missingProgram(paths, dialogs, root + "/no/such/program");
  missingProgram.setAutostart(true);
  EXPECT_TRUE(dialogs.shown.empty());
  EXPECT_FALSE(fs::exists(paths.programCopy()));
  EXPECT_FALSE(missingProgram.isAutostartEnabled());
}

TEST_F(AutostartTest, TheCopyRunningFromAutostartIsNotDestroyedByCopyingItOntoItself) {
  autostart.setAutostart(true);
  TAutostart fromCopy(paths, dialogs, paths.programCopy());
  fromCopy.setAutostart(true);
  EXPECT_EQ(readFileBytes(paths.programCopy()), program);
  EXPECT_TRUE(fromCopy.isAutostartEnabled());
}

}  // namespace
