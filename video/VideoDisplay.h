#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/AppSettings.h"
#include "platform/Clock.h"
#include "platform/Env.h"
#include "video/JpegImage.h"

class IMJPEGDecoder;

// The main window's controls that the video logic shows, hides, enables or disables.
enum class EVideoControl {
  PanelCaption,         // the caller's identity over the video
  VideoView,            // the video area
  AlwaysOnTopPin,       // the always-on-top toggle
  DetectionLed,         // the detection indicator
  FavouriteButton,      // favourite panel's stream
  RelayButton,          // door relay
  StopButton,           // stop watching
  SnapshotButton,       // snapshot
  VoiceMessageButton,   // voice message
  ListenButton,         // start live audio
  StopListeningButton,  // stop live audio
  AudioLevelBar,        // audio level bar
};

// A window's left and top on the screen.
struct TWindowPos {
  int left = 0;
  int top = 0;
  bool operator==(const TWindowPos&) const = default;
};

// The main window as the video logic sees it. Implemented by the main window, by fakes in
// tests. Called on the UI thread only; nothing here takes ownership of anything.
class IVideoWindow {
 public:
  using TBytes = std::shared_ptr<const std::vector<unsigned char>>;
  enum class ETopLevel { Missing, Minimised, Shown };

  virtual ~IVideoWindow() = default;

  // The caption's text (Windows-1252); the label is sized to it.
  virtual void setCaption(const std::string& text) = 0;
  virtual void setControlVisible(EVideoControl control, bool visible) = 0;
  virtual void setControlEnabled(EVideoControl control, bool enabled) = 0;
  // The video area's picture: a share of the JPEG bytes, decoded only when painted.
  virtual void setPicture(TBytes jpeg) = 0;

  // Where the window's client area is on the screen.
  virtual TWindowPos windowPosition() const = 0;
  // Size constraints removed, the backdrop and the video area filling the client area, no border or
  // caption, exactly the screen's rectangle. The menu bar and the caption stay.
  virtual void showFullScreenGeometry() = 0;
  // The fixed normal size again, the backdrop at 0, 8 (window width x 258), the video area at 9, 8
  // (402 x 258), border and caption back, the client area at `position`.
  virtual void showNormalGeometry(TWindowPos position) = 0;
  // Topmost or ordinary, with the matching icon on the pin; position and size unchanged.
  virtual void setTopmost(bool on) = 0;
  // The live audio connection is up (its controls are then the level bar only).
  virtual bool audioConnectionActive() const = 0;

  // What focusWindow needs: the main window's caption, un-minimising the application, and
  // the top-level window with an exact caption.
  virtual std::string windowCaption() const = 0;
  virtual void restoreApplication() = 0;
  virtual ETopLevel topLevelWindow(const std::string& caption) const = 0;
  virtual void restoreTopLevel(const std::string& caption) = 0;
  virtual void bringToFront(const std::string& caption) = 0;
};

// The video area's logic: frames and the idle picture in the video area, snapshots, full screen and
// always-on-top. UI thread only (frames reach it there through the decoder's delivery).
// The window must outlive this object; the clock and environment too.
class TVideoDisplay {
 public:
  using TBytes = IVideoWindow::TBytes;

  // Chooses the idle picture once, from the clock's date, and puts it into the video area.
  // settings: autoSnap is read at every frame; the always-on-top toggle changes ONTop.
  TVideoDisplay(IVideoWindow& window, TAppSettings& settings, const IClock& clock, const IEnv& env,
                TBytes standardIdle, TBytes festiveIdle);

  // 24 to 31 December.
  static bool festiveDate(const TLocalTime& date);
  // "snapshot-yyyymmddhhnnss.jpg".
  static std::string snapshotName(const TLocalTime& time);

  // The decoder's frame handler: the frame's bytes go to the video area as they are, and the first
  // frame of a connection triggers the automatic snapshot when autoSnap is 1.
  void HandleFrame(IMJPEGDecoder& decoder, std::unique_ptr<TJPEGImage> image);

  // Writes what the video area shows, byte for byte, into snapshotFolder(), else the temporary
  // folder when that one refuses the file. A failure is logged and changes nothing else. Returns
  // the path written, or nothing; a written file is also told to the handler below.
  std::optional<std::string> onSnapshotClicked();
  // The setting snapshotFolder when it names a folder; when it is empty, the user's pictures
  // folder if there is one; else the temporary folder.
  std::optional<std::string> snapshotFolder() const;
  // Told the path of every snapshot written (manual and automatic).
  void setOnSnapshotSaved(std::function<void(const std::string&)> handler) {
    m_onSnapshotSaved = std::move(handler);
  }

  void putIdlePicture();
  // The watchdog tick's last step: the idle picture again while no stream is wanted.
  void idleStep(bool streamWanted);

  // Full screen on or off (double click, Ctrl+T, Escape, stream start and stop).
  void toggleFullScreen();
  // The main window's key handler; true when the key was used (Escape in full screen).
  bool handleKey(int key);
  // Always on top on or off; ONTop changes in memory only (the settings window saves it).
  void toggleAlwaysOnTop();
  // Start-up: the window's topmost state and icon from ONTop.
  void applyOnTopSetting();

  bool SnapDone() const { return m_snapDone; }
  void setSnapDone(bool value) { m_snapDone = value; }
  bool FullScreenActive() const { return m_fullScreenActive; }
  bool festive() const { return m_festive; }
  const TBytes& IdlePicture() const { return m_idlePicture; }
  // What the video area shows now.
  const TBytes& picture() const { return m_picture; }

 private:
  void showPicture(TBytes jpeg);
  void enterFullScreen();
  void leaveFullScreen();

  IVideoWindow& m_window;
  TAppSettings& m_settings;
  const IClock& m_clock;
  const IEnv& m_env;
  bool m_festive = false;
  TBytes m_idlePicture;
  TBytes m_picture;
  bool m_snapDone = false;
  bool m_fullScreenActive = false;
  TWindowPos m_savedPosition;
  std::function<void(const std::string&)> m_onSnapshotSaved;
};

// Writes bytes to a new or replaced file, mode 0600, never through a symbolic link or into
// anything but a regular file. On failure nothing is left behind and `error` says why.
bool writePrivateFile(const std::string& path, const std::vector<unsigned char>& bytes,
                      std::string& error);
