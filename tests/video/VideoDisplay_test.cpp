#include "video/VideoDisplay.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QTemporaryDir>
#include <Qt>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/AppSettings.h"
#include "tests/support/QtTestSupport.h"
#include "tests/support/RecordingVideoWindow.h"
#include "tests/video/MJPEGTestSupport.h"
#include "video/MJPEGDecoder.h"

namespace {

using TShared = TVideoDisplay::TBytes;

std::unique_ptr<TJPEGImage> imageOf(const TShared& bytes) {
  auto image = std::make_unique<TJPEGImage>();
  EXPECT_TRUE(image->load(bytes));
  return image;
}

class VideoDisplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ensureQtApplication();
    env.values["TMP"] = tmp.path().toStdString();
    // A home of the test's own: whether the machine's user has a Pictures folder must not
    // decide where snapshots go.
    env.values["HOME"] = home.path().toStdString();
    env.values["XDG_CONFIG_HOME"] = home.path().toStdString() + "/config";
    clock.local = {2024, 3, 5, 14, 7, 9};
    decoder = std::make_unique<TMJPEGDecoder>();
    display = std::make_unique<TVideoDisplay>(window, settings, clock, env, standard, festive);
  }

  std::vector<std::string> snapshotFiles() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(tmp.path().toStdString()))
      if (entry.path().filename().string().rfind("snapshot-", 0) == 0)
        names.push_back(entry.path().filename().string());
    return names;
  }
  std::string snapshotPath() const {
    return tmp.path().toStdString() + "/snapshot-20240305140709.jpg";
  }

  TAppSettings settings;
  TCapturedLog log;
  TFakeClock clock;
  TFakeEnv env;
  QTemporaryDir tmp;
  QTemporaryDir home;
  TRecordingVideoWindow window;
  const TShared standard = share(makeJpeg(40, 30));
  const TShared festive = share(makeJpeg(40, 30, [](int, int) { return 0xC02020u; }));
  const TShared frameA =
      share(makeJpeg(64, 48, [](int x, int) { return x < 32 ? 0x2020C0u : 0x20C020u; }));
  const TShared frameB =
      share(makeJpeg(32, 24, [](int, int y) { return y < 12 ? 0xFFFFFFu : 0u; }));
  std::unique_ptr<TMJPEGDecoder> decoder;
  std::unique_ptr<TVideoDisplay> display;
};

TEST_F(VideoDisplayTest, IdlePictureIsChosenOnceFromTheStartDate) {
  struct TCase {
    const char* fault;
    TLocalTime start;
    bool festive;
  };
  const TCase cases[] = {
      {"the day before the festive week", {2024, 12, 23, 23, 59, 59}, false},
      {"the festive week starts on 24 December", {2024, 12, 24, 0, 0, 0}, true},
      {"and ends with 31 December", {2024, 12, 31, 23, 59, 59}, true},
      {"January is standard again", {2025, 1, 1, 0, 0, 0}, false},
      {"a 24th of another month is not festive", {2024, 11, 24, 12, 0, 0}, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.fault);
    TFakeClock startClock;
    startClock.local = c.start;
    TRecordingVideoWindow w;
    TVideoDisplay d(w, settings, startClock, env, standard, festive);
    const TShared& expected = c.festive ? festive : standard;
    EXPECT_EQ(d.festive(), c.festive);
    EXPECT_EQ(d.IdlePicture(), expected);
    EXPECT_EQ(w.picture, expected) << "the idle picture is on screen from the start";

    // The choice is kept for the whole run, whatever the date becomes.
    startClock.local = c.festive ? TLocalTime{2025, 1, 2, 0, 0, 0} : TLocalTime{2024, 12, 25};
    d.idleStep(false);
    EXPECT_EQ(w.picture, expected);
  }
}

TEST_F(VideoDisplayTest, FramesReplaceThePictureAndTheIdleStepOnlyActsWhenNothingIsWanted) {
  display->HandleFrame(*decoder, imageOf(frameA));
  EXPECT_EQ(window.picture, frameA) << "the frame's bytes are shared, not copied";

  display->idleStep(true);
  EXPECT_EQ(window.picture, frameA);

  // A frame without data changes nothing, not even the automatic snapshot's flag.
  display->setSnapDone(false);
  display->HandleFrame(*decoder, std::make_unique<TJPEGImage>());
  EXPECT_EQ(window.picture, frameA);
  EXPECT_FALSE(display->SnapDone());

  // A frame that arrives after the stream was stopped goes away within a tick.
  display->idleStep(false);
  EXPECT_EQ(window.picture, standard);
}

TEST_F(VideoDisplayTest, SnapshotWritesThePictureOnScreenByteForByte) {
  // Before any frame: the idle picture's bytes.
  auto path = display->onSnapshotClicked();
  ASSERT_TRUE(path);
  EXPECT_EQ(*path, snapshotPath());
  EXPECT_EQ(readBytes(*path), *standard);
  EXPECT_TRUE(display->SnapDone());

  // Within the same second the name repeats and the file is replaced.
  display->HandleFrame(*decoder, imageOf(frameA));
  ASSERT_TRUE(display->onSnapshotClicked());
  EXPECT_EQ(readBytes(snapshotPath()), *frameA);
  EXPECT_EQ(snapshotFiles().size(), 1u);

  struct stat info {};
  ASSERT_EQ(::stat(snapshotPath().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u) << "another account must not read a snapshot";
}

// Snapshots go where the user looks for pictures, and say where they went; the temporary
// folder is what is left when there is no such folder.
TEST_F(VideoDisplayTest, SnapshotFolderFollowsTheSettingThenPicturesThenTemp) {
  const std::string h = home.path().toStdString();
  struct TCase {
    const char* fault;
    std::vector<std::string> folders;  // made under the home before the snapshot
    std::string userDirs;              // config/user-dirs.dirs, when not empty
    std::string setting;               // the snapshotFolder setting
    std::string expected;              // the folder written into
  };
  const TCase cases[] = {
      {"the user's Pictures folder by default", {"/Pictures"}, "", "", h + "/Pictures"},
      {"the folder xdg-user-dirs names",
       {"/Pictures", "/Bilder"},
       "# comment\nXDG_PICTURES_DIR=\"$HOME/Bilder\"\n",
       "",
       h + "/Bilder"},
      {"no Pictures folder: the temporary one", {}, "", "", tmp.path().toStdString()},
      {"the setting's folder first",
       {"/Pictures", "/Doorbell"},
       "",
       h + "/Doorbell",
       h + "/Doorbell"},
      {"a setting naming a missing folder falls back",
       {"/Pictures"},
       "",
       h + "/gone",
       tmp.path().toStdString()},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.fault);
    std::filesystem::remove_all(h);
    std::filesystem::create_directories(h + "/config");
    for (const std::string& folder : c.folders) std::filesystem::create_directories(h + folder);
    if (!c.userDirs.empty()) std::ofstream(h + "/config/user-dirs.dirs") << c.userDirs;
    settings.snapshotFolder = c.setting;
    std::vector<std::string> told;
    display->setOnSnapshotSaved([&](const std::string& path) { told.push_back(path); });
    const auto path = display->onSnapshotClicked();
    const std::string expected = c.expected + "/snapshot-20240305140709.jpg";
    ASSERT_TRUE(path);
    EXPECT_EQ(*path, expected);
    EXPECT_EQ(readBytes(expected), *standard);
    EXPECT_EQ(told, std::vector<std::string>{expected}) << "the window is told where it went";
  }
}

TEST_F(VideoDisplayTest, ReplacedSnapshotIsMadePrivateAndShorterContentLeavesNoTail) {
  {
    std::ofstream old(snapshotPath(), std::ios::binary);
    old << std::string(frameA->size() * 4, 'x');
  }
  ::chmod(snapshotPath().c_str(), 0644);
  display->HandleFrame(*decoder, imageOf(frameA));
  ASSERT_TRUE(display->onSnapshotClicked());
  EXPECT_EQ(readBytes(snapshotPath()), *frameA);
  struct stat info {};
  ASSERT_EQ(::stat(snapshotPath().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(VideoDisplayTest, FailedSnapshotIsLoggedAndChangesNothing) {
  struct TCase {
    const char* fault;
    std::function<void()> arrange;
    std::function<void()> check;
  };
  const std::string victim = tmp.path().toStdString() + "/victim";
  const TCase cases[] = {
      {"TMP names a missing folder",
       [&] { env.values["TMP"] = tmp.path().toStdString() + "/missing"; }, [] {}},
      {"a symbolic link planted under the snapshot's name is not followed",
       [&] {
         std::ofstream(victim) << "keep";
         ASSERT_EQ(::symlink(victim.c_str(), snapshotPath().c_str()), 0);
       },
       [&] {
         std::ifstream in(victim);
         std::string content((std::istreambuf_iterator<char>(in)), {});
         EXPECT_EQ(content, "keep");
       }},
      {"a FIFO under the snapshot's name neither blocks nor is written",
       [&] { ASSERT_EQ(::mkfifo(snapshotPath().c_str(), 0600), 0); }, [] {}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.fault);
    TRecordingVideoWindow w;
    TVideoDisplay d(w, settings, clock, env, standard, festive);
    c.arrange();
    d.setSnapDone(false);
    const std::size_t before = log.texts().size();

    EXPECT_FALSE(d.onSnapshotClicked());
    EXPECT_FALSE(d.SnapDone());
    const auto lines = log.texts();
    ASSERT_EQ(lines.size(), before + 1);
    EXPECT_EQ(lines.back().rfind("**** Snapshot not written", 0), 0u) << lines.back();
    c.check();

    env.values["TMP"] = tmp.path().toStdString();
    std::filesystem::remove(snapshotPath());
  }
}

TEST_F(VideoDisplayTest, AutomaticSnapshotOncePerConnectionUnlessOneWasTakenByHand) {
  struct TCase {
    const char* fault;
    int autoSnap;
    bool manualFirst;
    std::size_t files;
    TShared inFile;  // what the one file holds
  };
  const TCase cases[] = {
      {"autoSnap 1 saves the first frame only", 1, false, 1, frameA},
      {"autoSnap 0 saves nothing", 0, false, 0, nullptr},
      {"only exactly 1 switches it on", 2, false, 0, nullptr},
      {"a snapshot by hand before the first frame replaces the automatic one", 1, true, 1,
       standard},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.fault);
    for (const auto& name : snapshotFiles()) QDir(tmp.path()).remove(QString::fromStdString(name));
    settings.autoSnap = c.autoSnap;
    TRecordingVideoWindow w;
    TVideoDisplay d(w, settings, clock, env, standard, festive);
    d.setSnapDone(false);  // a connection starts
    clock.local.second = 10;
    if (c.manualFirst) d.onSnapshotClicked();
    clock.local.second = 11;
    d.HandleFrame(*decoder, imageOf(frameA));
    clock.local.second = 12;
    d.HandleFrame(*decoder, imageOf(frameB));
    EXPECT_TRUE(d.SnapDone());

    const auto files = snapshotFiles();
    ASSERT_EQ(files.size(), c.files);
    if (c.inFile) {
      EXPECT_EQ(readBytes(tmp.path().toStdString() + "/" + files[0]), *c.inFile);
    }
  }
  clock.local.second = 9;
}

TEST_F(VideoDisplayTest, SnapshotNamesCarryTheLocalDateAndTime) {
  EXPECT_EQ(TVideoDisplay::snapshotName({2024, 3, 5, 14, 7, 9}), "snapshot-20240305140709.jpg");
  EXPECT_EQ(TVideoDisplay::snapshotName({2031, 12, 31, 0, 0, 0}), "snapshot-20311231000000.jpg");
}

constexpr EVideoControl BarButtons[] = {EVideoControl::FavouriteButton, EVideoControl::RelayButton,
                                        EVideoControl::StopButton, EVideoControl::SnapshotButton,
                                        EVideoControl::VoiceMessageButton};

TEST_F(VideoDisplayTest, FullScreenHidesTheBarAndLeavingRestoresItWithTheAudioControls) {
  struct TCase {
    const char* fault;
    bool audioActive;
    bool listenShown, stopListenShown, levelShown;
  };
  const TCase cases[] = {
      {"without audio the listen button comes back", false, true, false, false},
      {"with audio only the level bar comes back", true, false, false, true},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.fault);
    TRecordingVideoWindow w;
    TVideoDisplay d(w, settings, clock, env, standard, festive);
    w.position = {300, 200};
    w.enabled[EVideoControl::StopButton] = true;
    w.visible[EVideoControl::PanelCaption] = true;
    w.visible[EVideoControl::ListenButton] = !c.audioActive;
    w.visible[EVideoControl::AudioLevelBar] = c.audioActive;
    w.audioActive = c.audioActive;

    d.toggleFullScreen();
    EXPECT_TRUE(d.FullScreenActive());
    EXPECT_TRUE(w.fullScreenGeometry);
    for (EVideoControl control : BarButtons) EXPECT_FALSE(w.visible[control]);
    for (EVideoControl control :
         {EVideoControl::AlwaysOnTopPin, EVideoControl::DetectionLed, EVideoControl::ListenButton,
          EVideoControl::StopListeningButton, EVideoControl::AudioLevelBar})
      EXPECT_FALSE(w.visible[control]);
    EXPECT_TRUE(w.visible[EVideoControl::PanelCaption]) << "the caption stays over the video";
    EXPECT_TRUE(w.visible[EVideoControl::VideoView]);

    d.toggleFullScreen();
    EXPECT_FALSE(d.FullScreenActive());
    EXPECT_FALSE(w.fullScreenGeometry);
    EXPECT_EQ(w.position, (TWindowPos{300, 200})) << "the window goes back where it was";
    for (EVideoControl control : BarButtons) EXPECT_TRUE(w.visible[control]);
    EXPECT_TRUE(w.enabled[EVideoControl::StopButton]) << "enabled states are untouched";
    EXPECT_FALSE(w.enabled[EVideoControl::SnapshotButton]);
    EXPECT_TRUE(w.visible[EVideoControl::AlwaysOnTopPin]);
    EXPECT_TRUE(w.visible[EVideoControl::DetectionLed]);
    EXPECT_EQ(w.visible[EVideoControl::ListenButton], c.listenShown);
    EXPECT_EQ(w.visible[EVideoControl::StopListeningButton], c.stopListenShown);
    EXPECT_EQ(w.visible[EVideoControl::AudioLevelBar], c.levelShown);
  }
}

TEST_F(VideoDisplayTest, EscapeLeavesFullScreenAndDoesNothingInTheNormalWindow) {
  window.position = {50, 60};
  const auto visibleBefore = window.visible;

  EXPECT_FALSE(display->handleKey(Qt::Key_Escape));
  EXPECT_FALSE(display->FullScreenActive());
  EXPECT_EQ(window.visible, visibleBefore);
  EXPECT_EQ(window.position, (TWindowPos{50, 60}));

  display->toggleFullScreen();
  EXPECT_FALSE(display->handleKey(Qt::Key_Space)) << "other keys are left to the controls";
  EXPECT_TRUE(display->FullScreenActive());
  EXPECT_TRUE(display->handleKey(Qt::Key_Escape));
  EXPECT_FALSE(display->FullScreenActive());
  EXPECT_EQ(window.position, (TWindowPos{50, 60}));
}

TEST_F(VideoDisplayTest, AlwaysOnTopTogglesInMemoryOnly) {
  settings.ONTop = false;
  window.position = {10, 20};
  display->toggleAlwaysOnTop();
  EXPECT_TRUE(settings.ONTop);
  EXPECT_TRUE(window.topmost);
  display->toggleAlwaysOnTop();
  EXPECT_FALSE(settings.ONTop);
  EXPECT_FALSE(window.topmost);
  EXPECT_EQ(window.position, (TWindowPos{10, 20}));

  settings.ONTop = true;
  display->applyOnTopSetting();
  EXPECT_TRUE(window.topmost);
}

}  // namespace
