// The About window's text: the introduction and only the contact lines that are true, in the
// language of the moment.
#include "core/AboutText.h"

#include <gtest/gtest.h>

#include "core/UiTexts.h"
#include "tests/support/QtTestSupport.h"

namespace {

class AboutTextTest : public ::testing::Test {
 protected:
  void TearDown() override { setLanguage("FR"); }
  TCapturedLog captured;
};

}  // namespace

TEST_F(AboutTextTest, IntroductionThenEachLineEndedByCrLf) {
  setLanguage("EN");
  EXPECT_EQ(
      aboutText(),
      "Ostrel Stream allows you to automatically watch video streaming from Halvex doorphones "
      "during communication. Contact us :\r\n"
      "Help: menu ? > Help of the main window\r\n"
      "Library licences: link below\r\n");
  setLanguage("FR");
  EXPECT_EQ(aboutText().rfind(UiTexts.txtAbout + "\r\nAide : menu ? > Aide", 0), 0u)
      << "the text follows the language at the next showing";
}
