// Where the help command finds its page: installed under the program's prefix, or in the source
// tree for a program run from its build tree; the page follows the language.
#include "core/HelpPage.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "tests/support/QtTestSupport.h"

namespace {

struct TLookupCase {
  const char* fault;
  const char* language;
  bool installed;        // a page under <prefix>/share/ostrel-stream/help
  bool inSource;         // a page in the source tree's help folder
  const char* expected;  // relative to the temporary folder; nullptr: not found
};

class HelpPageLookup : public ::testing::TestWithParam<TLookupCase> {};

}  // namespace

TEST_P(HelpPageLookup, FindsThePageOfTheLanguage) {
  const TLookupCase& c = GetParam();
  QTemporaryDir dir;
  const std::string root = dir.path().toStdString();
  const std::string page = helpPageName(c.language);
  if (c.installed) writeFileBytes(root + "/prefix/share/ostrel-stream/help/" + page, "<html>");
  if (c.inSource) writeFileBytes(root + "/source/docs/help/" + page, "<html>");
  // A page of the other language must never be taken for this one.
  writeFileBytes(root + "/source/docs/help/index.xx.html", "<html>");

  const auto found = findHelpPage(c.language, root + "/prefix/bin", root + "/source/docs/help");
  if (c.expected == nullptr) {
    EXPECT_FALSE(found) << c.fault;
  } else {
    ASSERT_TRUE(found) << c.fault;
    EXPECT_EQ(*found, root + "/" + c.expected) << c.fault;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HelpPageLookup,
    ::testing::Values(TLookupCase{"an installed program reads its installed page", "EN", true, true,
                                  "prefix/share/ostrel-stream/help/index.en.html"},
                      TLookupCase{"a program run from the build tree reads the source tree's page",
                                  "FR", false, true, "source/docs/help/index.fr.html"},
                      TLookupCase{"an installed page without a source tree", "FR", true, false,
                                  "prefix/share/ostrel-stream/help/index.fr.html"},
                      TLookupCase{"a language without texts reads the English page", "DE", false,
                                  true, "source/docs/help/index.en.html"},
                      TLookupCase{"no page anywhere gives nothing, not a path that does not exist",
                                  "EN", false, false, nullptr}));

// The pages the program ships with exist for both languages.
TEST(HelpPage, TheRepositoryHoldsBothPages) {
  for (const char* language : {"FR", "EN"}) {
    const auto found = findHelpPage(language, "", OSTREL_HELP_SOURCE_DIR);
    ASSERT_TRUE(found) << language;
    EXPECT_NE(readFileBytes(*found).find("<h2 id=\"errors\">"), std::string::npos) << language;
  }
}
