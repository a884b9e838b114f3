#include "core/SettingsApply.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>

#include "base/Vigenere.h"
#include "core/UiTexts.h"
#include "tests/support/SettingsFixture.h"

namespace {

namespace fs = std::filesystem;

// A settings record, its real store in a home of the test's own, the autostart entry there, and
// a recording station.
class SettingsApplyTest : public ::testing::Test, public TSettingsFixture {
 protected:
  void SetUp() override {
    settings.language = "FR";
    setLanguage("FR");
    settings.SIPID = "old@sip";
    settings.interfaceSelected = "10.0.0.1";
    settings.codeGache = cipherString("99");
  }
  void TearDown() override { setLanguage("FR"); }

  TSettingsForm form() const {
    TSettingsForm f;
    f.addressText = "10.0.0.5; 10.0.0.6\n;bad";
    f.favouriteText = "10.0.0.6";
    f.autoSnap = true;
    f.sysButtons = true;
    f.onTop = true;
    f.interfaceText = "10.0.0.2";
    f.strikeCode = "1234";
    f.login = "admin";
    f.password = "s3cret";
    f.callingIdentities = {"101@door.lan", "door two@lan"};
    f.authIndex = 2;
    f.methodIndex = 1;
    f.languageText = "English";
    f.calledIdentity = "desk@sip";
    return f;
  }

  TApplyResult apply(const TSettingsForm& f) {
    TSettingsApplier applier(settings, store, autostart, host, dialogs);
    return applier.apply(f);
  }
};

TEST_F(SettingsApplyTest, EveryValueIsStoredAndHeldExceptTheInterfaceWhichWaitsForTheNextStart) {
  const TApplyResult result = apply(form());
  EXPECT_EQ(result.outcome, EApplyOutcome::Saved);
  EXPECT_EQ(result.addressText, "10.0.0.5;10.0.0.6");
  EXPECT_EQ(result.favouriteIndex, 1);

  TAppSettings reloaded;
  TSettingsStore(storePath, reloaded, ssl).loadSettings();
  EXPECT_EQ(reloaded.platines, "10.0.0.5;10.0.0.6");
  EXPECT_EQ(reloaded.priority, 1);
  EXPECT_EQ(reloaded.autoSnap, 1);
  EXPECT_EQ(reloaded.interfaceSelected, "10.0.0.2");
  EXPECT_EQ(decipherString(reloaded.codeGache), "1234");
  EXPECT_EQ(reloaded.APIUsername, "admin");
  EXPECT_EQ(reloaded.APIPassword, "s3cret");
  EXPECT_EQ(reloaded.APIAuthtype, "Digest");
  EXPECT_EQ(reloaded.APIMethod, "POST");
  EXPECT_EQ(reloaded.CallingList, "101@door.lan;\"door two@lan\"");
  EXPECT_EQ(reloaded.language, "EN");
  EXPECT_EQ(reloaded.SIPID, "desk@sip");
  EXPECT_TRUE(reloaded.ONTop);
  EXPECT_TRUE(reloaded.SysButtons);

  // The running program keeps the interface it started with.
  EXPECT_EQ(settings.interfaceSelected, "10.0.0.1");
  EXPECT_EQ(settings.codeGache, reloaded.codeGache);
  EXPECT_EQ(settings.APIPassword, "s3cret");
  EXPECT_EQ(settings.SIPID, "desk@sip");
  EXPECT_EQ(settings.language, "EN");
  EXPECT_EQ(UiTexts.menuFile, "File");
  EXPECT_EQ(host.borderIcons, 1);
  EXPECT_EQ(host.topmosts, 1);
  EXPECT_EQ(host.mainTexts, 1);
  EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(SettingsApplyTest, AnInvalidStrikeCodeChangesNothingAnywhere) {
  TSettingsForm f = form();
  f.strikeCode = "12a";
  const TAppSettings before = settings;
  EXPECT_EQ(apply(f).outcome, EApplyOutcome::BadStrikeCode);
  EXPECT_EQ(settings.platines, before.platines);
  EXPECT_EQ(settings.autoSnap, before.autoSnap);
  EXPECT_FALSE(fs::exists(storePath));
  EXPECT_EQ(host.borderIcons + host.topmosts + host.mainTexts, 0);
}

// What a failed save leaves: the switches, the addresses and the favourite taken, the saved
// values as they were, the texts put on the main window again, the store untouched.
void expectOnlyTheAlwaysTakenValues(const TAppSettings& s, const TFakeSettingsHost& host) {
  EXPECT_EQ(s.platines, "10.0.0.5;10.0.0.6");
  EXPECT_EQ(s.priority, 1);
  EXPECT_EQ(s.autoSnap, 1);
  EXPECT_TRUE(s.SysButtons);
  EXPECT_EQ(s.SIPID, "old@sip");
  EXPECT_EQ(s.APIUsername, "");
  EXPECT_EQ(s.APIAuthtype, "None");
  EXPECT_EQ(s.language, "FR");
  EXPECT_EQ(decipherString(s.codeGache), "99");
  EXPECT_EQ(UiTexts.menuFile, "Fichier");
  EXPECT_EQ(host.topmosts, 0);
  EXPECT_EQ(host.mainTexts, 1);
}

TEST_F(SettingsApplyTest, AStoreThatCannotBeOpenedSavesNothingSilently) {
  fs::create_directories(storePath);  // a folder where the file belongs
  EXPECT_EQ(apply(form()).outcome, EApplyOutcome::NotSaved);
  expectOnlyTheAlwaysTakenValues(settings, host);
  EXPECT_TRUE(dialogs.shown.empty());
}

// A file that cannot be written (here: larger than the process may write, as on a full disk)
// is told once with its reason, and the old file stays whole.
TEST_F(SettingsApplyTest, AFailedWriteShowsOneErrorWithTheReasonAndKeepsTheOldFile) {
  TSettingsForm first = form();
  first.languageText = "";
  first.addressText = "";
  first.login = "";
  first.calledIdentity = "old@sip";
  first.strikeCode = "99";
  first.authIndex = 0;
  first.methodIndex = 0;
  ASSERT_EQ(apply(first).outcome, EApplyOutcome::Saved);
  const std::string oldFile = readFileBytes(storePath);
  ASSERT_FALSE(oldFile.empty());
  settings.autoSnap = 0;
  settings.SysButtons = false;
  host = TFakeSettingsHost{};
  dialogs.shown.clear();

  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 64;
  setrlimit(RLIMIT_FSIZE, &small);
  const TApplyResult result = apply(form());
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_EQ(result.outcome, EApplyOutcome::NotSaved);
  EXPECT_EQ(readFileBytes(storePath), oldFile);
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].icon, EDialogIcon::Error);
  EXPECT_NE(dialogs.shown[0].text.find("enregistr"), std::string::npos) << dialogs.shown[0].text;
  EXPECT_NE(dialogs.shown[0].text.find("large"), std::string::npos) << dialogs.shown[0].text;
  expectOnlyTheAlwaysTakenValues(settings, host);
}

}  // namespace
