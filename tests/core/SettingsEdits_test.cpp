#include "core/SettingsEdits.h"

#include <gtest/gtest.h>

namespace {

struct TAddressCase {
  const char* why;
  const char* field;
  const char* favourite;
  const char* text;
  std::vector<std::string> entries;
  int favouriteIndex;
};

class NormaliseAddresses : public ::testing::TestWithParam<TAddressCase> {};

TEST_P(NormaliseAddresses, GivesTheStoredTextTheEntriesAndTheFavourite) {
  const TAddressCase& c = GetParam();
  const TNormalisedAddresses got = normaliseAddresses(c.field, c.favourite);
  EXPECT_EQ(got.text, c.text) << c.why;
  EXPECT_EQ(got.entries, c.entries) << c.why;
  EXPECT_EQ(got.favouriteIndex, c.favouriteIndex) << c.why;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NormaliseAddresses,
    ::testing::Values(
        TAddressCase{"blanks and a Windows line break removed, 3-part and 1-part entries dropped",
                     "192.168.1.10; 192.168.1.11\r\n;10.0.0;abc",
                     "192.168.1.11",
                     "192.168.1.10;192.168.1.11",
                     {"192.168.1.10", "192.168.1.11"},
                     1},
        TAddressCase{"the line break a Qt text field gives is a lone LF",
                     "192.168.1.10;\n192.168.1.11",
                     "",
                     "192.168.1.10;192.168.1.11",
                     {"192.168.1.10", "192.168.1.11"},
                     0},
        TAddressCase{"first configuration: the only address is the favourite, not index 1",
                     "10.0.0.5",
                     "",
                     "10.0.0.5",
                     {"10.0.0.5"},
                     0},
        TAddressCase{"a remembered favourite that is gone falls back to the first address",
                     "10.0.0.5;10.0.0.6",
                     "10.0.0.9",
                     "10.0.0.5;10.0.0.6",
                     {"10.0.0.5", "10.0.0.6"},
                     0},
        TAddressCase{"the favourite is compared with letter case",
                     "panel.a.b.c;PANEL.A.B.C",
                     "PANEL.A.B.C",
                     "panel.a.b.c;PANEL.A.B.C",
                     {"panel.a.b.c", "PANEL.A.B.C"},
                     1},
        TAddressCase{"a trailing ; left by adding detected addresses is dropped",
                     "10.0.0.5;10.0.0.6;",
                     "10.0.0.6",
                     "10.0.0.5;10.0.0.6",
                     {"10.0.0.5", "10.0.0.6"},
                     1},
        TAddressCase{"nothing valid leaves an empty field", "abc;;1.2.3", "", "", {}, 0}));

TEST(MergeDetectedAddresses, AppendsOnlyNewAddressesToTheStoredOnesAndDropsEmptyEntries) {
  EXPECT_EQ(mergeDetectedAddresses("10.0.0.5;host.LAN.x.y", "10.0.0.6;10.0.0.5;HOST.lan.X.Y;"),
            (std::vector<std::string>{"10.0.0.5", "host.LAN.x.y", "10.0.0.6"}));
  EXPECT_EQ(mergeDetectedAddresses("", "10.0.0.6;"), (std::vector<std::string>{"10.0.0.6"}));
}

TEST(StrikeCode, OnlyDigitsOrNothingIsValid) {
  for (const char* valid : {"", "0", "1234", "0007"})
    EXPECT_TRUE(isStrikeCodeValid(valid)) << valid;
  for (const char* invalid : {"12a4", " 123", "-1", "12.3", "\xB2"})
    EXPECT_FALSE(isStrikeCodeValid(invalid)) << invalid;
}

struct TCallingCase {
  const char* why;
  std::vector<std::string> identities;
  const char* stored;
};

class CallingList : public ::testing::TestWithParam<TCallingCase> {};

// Stored in the list's format, and read back unchanged, so that applying twice never adds a
// layer of quotes.
TEST_P(CallingList, IsStoredInItsFormatAndReadBackUnchanged) {
  const TCallingCase& c = GetParam();
  EXPECT_EQ(joinCallingList(c.identities), c.stored) << c.why;
  EXPECT_EQ(splitCallingList(c.stored), c.identities) << c.why;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CallingList,
    ::testing::Values(
        TCallingCase{"plain identities are joined with ;",
                     {"101@a.b", "sip:102@a.b"},
                     "101@a.b;sip:102@a.b"},
        TCallingCase{
            "a blank asks for quotes", {"door one@a.b", "102@a.b"}, "\"door one@a.b\";102@a.b"},
        TCallingCase{"inner quotes are doubled", {"say \"hi\"@a.b"}, "\"say \"\"hi\"\"@a.b\""},
        TCallingCase{"a ; from the edit box stays inside its identity", {"a;b@c.d"}, "\"a;b@c.d\""},
        TCallingCase{"one empty identity is two quotes", {""}, "\"\""}));

TEST(CallingIdentityToAdd, RemovesSemicolonsAndRefusesEmptyAndCaseOnlyDuplicates) {
  const std::vector<std::string> list = {"101@door.lan"};
  EXPECT_EQ(callingIdentityToAdd("10;2@door;.lan", list), "102@door.lan");
  EXPECT_EQ(callingIdentityToAdd("101@DOOR.lan", list), std::nullopt);
  EXPECT_EQ(callingIdentityToAdd("1;01@door.lan", list), std::nullopt);
  EXPECT_EQ(callingIdentityToAdd("", list), std::nullopt);
}

TEST(Language, CodesMapToEntriesAndBack) {
  const std::vector<std::pair<std::string, int>> indexes = {
      {"FR", 0}, {"EN", 1}, {"DE", 2}, {"ES", 3}, {"PT", 4}, {"en", 0}, {"", 0}};
  for (const auto& [code, index] : indexes) EXPECT_EQ(languageIndex(code), index) << code;
  EXPECT_EQ(languageCode("English"), "EN");
  EXPECT_EQ(languageCode("Fran\xE7"
                         "ais"),
            "FR");
  // "DE" stored shows no selection; Apply then stores French.
  EXPECT_EQ(languageCode(""), "FR");
  EXPECT_EQ(languageEntries().size(), 2u);
}

TEST(InterfaceChoices, ListEveryNonLoopbackAddressOnceInTableOrder) {
  TIfTable table;
  table.addresses = {{1, "127.0.0.1", "255.0.0.0"},        {2, "192.168.1.10", "255.255.255.0"},
                     {2, "192.168.1.11", "255.255.255.0"}, {3, "127.0.1.1", "255.0.0.0"},
                     {4, "10.0.0.2", "255.0.0.0"},         {5, "192.168.1.10", "255.255.255.0"}};
  EXPECT_EQ(interfaceChoices(table),
            (std::vector<std::string>{"192.168.1.10", "192.168.1.11", "10.0.0.2"}));
  EXPECT_TRUE(interfaceChoices(std::nullopt).empty());
}

}  // namespace
