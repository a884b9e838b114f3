#include "core/UiTexts.h"

#include <gtest/gtest.h>

#include <optional>
#include <set>

#include "core/AppSettings.h"
#include "core/DebugLog.h"
#include "platform/Clock.h"
#include "tests/support/QtTestSupport.h"

namespace {

class UiTextsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UiTexts = TUiTexts{};  // as at program start: every text empty
    AppSettings = TAppSettings{};
  }
  void TearDown() override {
    UiTexts = TUiTexts{};
    AppSettings = TAppSettings{};
  }

  std::vector<std::string> logTexts() const { return m_captured.texts(); }

  TCapturedLog m_captured;
};

// A key left out of one language would show as an empty caption or an empty message box.
TEST_F(UiTextsTest, FrenchAndEnglishFillEveryKey) {
  for (const char* code : {"FR", "EN"}) {
    SCOPED_TRACE(code);
    UiTexts = TUiTexts{};
    setLanguage(code);
    for (const std::string& key : TUiTexts::keys()) EXPECT_FALSE(UiTexts.text(key).empty()) << key;
  }
  const auto& keys = TUiTexts::keys();
  EXPECT_EQ(std::set<std::string>(keys.begin(), keys.end()).size(), keys.size())
      << "a key listed twice";
  EXPECT_THROW(UiTexts.text("hintrelay"), std::out_of_range) << "key names are case-sensitive";
}

// The table must hold Windows-1252 bytes (what the UI edge converts from), not the UTF-8 of the
// source file, and keep the French wording byte for byte.
TEST_F(UiTextsTest, ExactTextsAsWindows1252) {
  struct Case {
    const char* code;
    const char* key;
    std::string bytes;
  };
  const Case cases[] = {
      {"FR", "lblCalledIdentity",
       "Renseignez l'identit\xE9 SIP du contact 'appel\xE9' par la platine qui d\xE9"
       "clenchera le Stream : "},
      {"FR", "menuFullScreen",
       "Mode plein \xE9"
       "cran"},
      {"FR", "menuAbout", "\xC0 propos"},
      {"FR", "pnlStrikeCode",
       "Code g\xE2"
       "che"},
      {"FR", "hintRefresh",
       "Rafra\xEE"
       "chir la liste des adresses d\xE9tect\xE9"
       "es automatiquement."},
      {"FR", "msgInterfaceUnavailable",
       "Attention, l'interface r\xE9seau s\xE9lectionn\xE9"
       "e par d\xE9"
       "faut ne semble pas \xEAtre disponible, merci de v\xE9rifier vos "
       "param\xE8tres dans Outils/ Configuration/ Adresse prioritaire/ Interface(s) r\xE9seau"},
      {"EN", "lblCalledIdentity",
       "Fill in the called SIP identity that will trigger the stream when called by your "
       "doorphones:"},
      {"EN", "msgMultipleInterfaces",
       "Warning, multiple network interfaces were detected on your computer. In order to run "
       "Ostrel Stream properly, please set the default interface in Tools/ Settings/ Priority "
       "address/ Network Interface(s)"},
      {"EN", "hintRelay", "Trigger default doorphone's relay"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.code) + " " + c.key);
    setLanguage(c.code);
    EXPECT_EQ(UiTexts.text(c.key), c.bytes);
  }
  setLanguage("FR");
  EXPECT_EQ(UiTexts.msgNoHttps, UiTexts.text("msgNoHttps")) << "member and key read apart";
}

// Only the five codes, spelled exactly, are taken; anything else is French, and the code that
// was really used is what gets logged and stored.
TEST_F(UiTextsTest, CodesAcceptedLoggedAndStored) {
  struct Case {
    std::string given;
    std::string used;
  };
  const Case cases[] = {{"FR", "FR"}, {"EN", "EN"}, {"DE", "DE"}, {"ES", "ES"},  {"PT", "PT"},
                        {"en", "FR"}, {"Fr", "FR"}, {"", "FR"},   {"EN ", "FR"}, {"IT", "FR"}};
  for (const Case& c : cases) {
    SCOPED_TRACE("\"" + c.given + "\"");
    AppSettings.language = "unset";
    EXPECT_TRUE(setLanguage(c.given));
    ASSERT_FALSE(logTexts().empty());
    EXPECT_EQ(logTexts().back(), "Setting language to " + c.used);
    EXPECT_EQ(AppSettings.language, c.used);
  }
}

TEST_F(UiTextsTest, LowerCaseCodeGivesFrenchTexts) {
  setLanguage("EN");
  setLanguage("en");
  EXPECT_EQ(UiTexts.menuFile, "Fichier");
  EXPECT_EQ(UiTexts.menuQuit, "Quitter");
}

// DE, ES and PT have no texts: whatever the table held stays, including nothing at all.
TEST_F(UiTextsTest, LanguagesWithoutTextsLeaveTheTable) {
  setLanguage("DE");
  for (const std::string& key : TUiTexts::keys()) EXPECT_TRUE(UiTexts.text(key).empty()) << key;

  setLanguage("EN");
  const TUiTexts english = UiTexts;
  for (const char* code : {"DE", "ES", "PT"}) {
    setLanguage(code);
    for (const std::string& key : TUiTexts::keys())
      EXPECT_EQ(UiTexts.text(key), english.text(key)) << code << " " << key;
  }
  setLanguage("FR");
  EXPECT_EQ(UiTexts.menuFile, "Fichier") << "switching back from EN to FR replaces every text";
  EXPECT_EQ(UiTexts.btnCancel, "Annuler");
}

}  // namespace
