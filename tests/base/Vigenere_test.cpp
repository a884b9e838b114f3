#include "base/Vigenere.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "tests/support/QtTestSupport.h"

namespace {

class VigenereTest : public ::testing::Test {
 protected:
  void SetUp() override { loadCipherTable(); }
  TCapturedLog captured;
};

std::string randomAlphabetText(std::mt19937& rng, std::size_t length) {
  std::uniform_int_distribution<std::size_t> pick(0, CipherAlphabet.size() - 1);
  std::string text;
  for (std::size_t i = 0; i < length; ++i) text += CipherAlphabet[pick(rng)];
  return text;
}

}  // namespace

// A table that is not a set of distinct permutations would make some messages undecodable.
TEST_F(VigenereTest, TableRowsAreDistinctPermutationsOfTheAlphabet) {
  std::string sortedAlphabet(CipherAlphabet);
  std::sort(sortedAlphabet.begin(), sortedAlphabet.end());
  std::set<std::string_view> distinct;
  for (std::string_view row : kCipherRows) {
    std::string sorted(row);
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, sortedAlphabet);
    distinct.insert(row);
  }
  EXPECT_EQ(distinct.size(), 71u);
  EXPECT_EQ(CipherAlphabet.size(), 71u);
}

// The passes must invert each other for any text of alphabet symbols, at every length
// (including the wrap of the row sequence after 71 characters).
TEST_F(VigenereTest, PassesAndRepeatedFormsRoundTrip) {
  std::mt19937 rng(7);
  for (std::size_t length : {1u, 2u, 3u, 70u, 71u, 72u, 143u, 300u}) {
    std::string text = randomAlphabetText(rng, length);
    std::string once = cipherPass(text);
    EXPECT_EQ(once.size(), text.size());
    EXPECT_EQ(decipherPass(once), text) << "length " << length;
    if (length <= 72) {
      EXPECT_EQ(decipherString(cipherString(text)), text) << "length " << length;
    }
  }
  EXPECT_TRUE(captured.texts().empty());
}

struct TEdgeCase {
  const char* fault;
  std::function<void()> check;
};

TEST_F(VigenereTest, EdgeCases) {
  const TEdgeCase cases[] = {
      {"the empty text must come back unchanged from all four",
       [] {
         EXPECT_EQ(cipherPass(""), "");
         EXPECT_EQ(decipherPass(""), "");
         EXPECT_EQ(cipherString(""), "");
         EXPECT_EQ(decipherString(""), "");
       }},
      {"the 72nd character must use row 0 again",
       [] {
         std::string text(72, 'A');
         std::string out = cipherPass(text);
         EXPECT_EQ(out[0], kCipherRows[0][0]);
         EXPECT_EQ(out[71], kCipherRows[0][0]);
         EXPECT_EQ(out[70], kCipherRows[70][0]);
       }},
      {"cipherString of one character is one pass",
       [] { EXPECT_EQ(cipherString("k"), cipherPass("k")); }},
      {"a text scrambled with cipherString needs decipherString",
       [] {
         std::string scrambled = cipherString("abc");
         EXPECT_NE(decipherPass(scrambled), "abc");
         EXPECT_EQ(decipherString(scrambled), "abc");
         EXPECT_EQ(decipherPass(cipherPass("abc")), "abc");
       }},
      {"a space is symbol 32 and is substituted",
       [] { EXPECT_EQ(cipherPass(" ")[0], kCipherRows[0][31]); }},
  };
  for (const TEdgeCase& c : cases) {
    SCOPED_TRACE(c.fault);
    c.check();
  }
  EXPECT_TRUE(captured.texts().empty()) << "no pass over alphabet symbols logs anything";
}

// Bytes of a corrupted message must neither crash nor read outside the table, and the length
// is kept; a symbol after them is still mapped with its own position's row.
TEST_F(VigenereTest, BytesOutsideTheAlphabetKeepLengthAndPosition) {
  std::string every;
  for (int b = 0; b < 256; ++b) every += static_cast<char>(b);
  EXPECT_EQ(cipherPass(every).size(), 256u);
  EXPECT_EQ(decipherPass(every).size(), 256u);
  std::string withAt = "a@b";
  std::string out = cipherPass(withAt);
  EXPECT_EQ(out[1], '@');
  EXPECT_EQ(out[2], kCipherRows[2][CipherAlphabet.find('b')]);
  EXPECT_EQ(decipherPass(out), withAt);
}

// Without the table, every position is reported and left blank, and the length is kept.
TEST_F(VigenereTest, UnloadedTableLogsEachPositionAndLeavesBlanks) {
  unloadCipherTable();
  EXPECT_EQ(cipherPass("ab"), "  ");
  EXPECT_EQ(decipherPass("x"), " ");
  loadCipherTable();
  std::vector<std::string> expected = {
      "Error while trying to cipher string : \"ab\"",
      "Error while trying to cipher string : \"ab\"",
      "Error while trying to decipher string : \"x\"",
  };
  EXPECT_EQ(captured.texts(), expected);
}
