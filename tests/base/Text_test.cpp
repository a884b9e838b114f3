#include "base/Text.h"

#include <gtest/gtest.h>

struct TSplitCase {
  const char* text;
  std::vector<std::string> pieces;
};

// Messages, address lists and identity lists all depend on empty pieces being kept.
TEST(Text, SplitFieldsKeepsEveryPiece) {
  const TSplitCase cases[] = {
      {"", {""}},        {"start", {"start"}},     {"a;b", {"a", "b"}}, {"a;", {"a", ""}},
      {";a", {"", "a"}}, {"a;;b", {"a", "", "b"}}, {";", {"", ""}},
  };
  for (const TSplitCase& c : cases) {
    EXPECT_EQ(splitFields(c.text, ';'), c.pieces) << '"' << c.text << '"';
    EXPECT_EQ(joinFields(c.pieces, ';'), c.text);
  }
}

// French texts are held as Windows-1252 and shown or written as UTF-8.
TEST(Text, Cp1252AndUtf8ConvertBothWays) {
  const std::string ansi =
      "Mode plein \xE9"
      "cran \x80 \x95 \xC0";
  const std::string utf8 =
      "Mode plein \xC3\xA9"
      "cran \xE2\x82\xAC \xE2\x80\xA2 \xC3\x80";
  EXPECT_EQ(cp1252ToUtf8(ansi), utf8);
  EXPECT_EQ(utf8ToCp1252(utf8), ansi);
  EXPECT_EQ(utf8ToCp1252("\xE2\x98\x83"), "?");  // a snowman has no Windows-1252 form
  EXPECT_EQ(utf8ToCp1252("\xC3"), "?");          // a cut sequence does not read past the end
}

TEST(Text, LowerAndTrim) {
  EXPECT_EQ(lowerAscii("SIP:Ab\xC9"), "sip:ab\xC9");
  EXPECT_EQ(trimText(" \t\r\n x y \x01"), "x y");
  EXPECT_EQ(trimText("   "), "");
}
