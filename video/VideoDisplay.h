#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/Env.h"
#include "video/JpegImage.h"

class TMJPEGDecoder;

// The main window's controls that the video logic shows, hides, enables or disables.
enum class EVideoControl {
  Label1,        // the caption over the video
  Image1,        // the video area
  Image3,        // the always-on-top toggle
  Image6,        // the detection indicator
  SpeedButton1,  // favourite panel's stream
  SpeedButton2,  // door relay
  SpeedButton3,  // stop watching
  SpeedButton4,  // snapshot
  SpeedButton5,  // voice message
  SpeedButton6,  // start live audio
  SpeedButton7,  // stop live audio
  pbLevel,       // audio level bar
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

  // Label1's text (Windows-1252); the label is sized to it.
  virtual void setCaption(const std::string& text) = 0;
  virtual void setControlVisible(EVideoControl control, bool visible) = 0;
  virtual void setControlEnabled(EVideoControl control, bool enabled) = 0;
  // Image1's picture: a share of the JPEG bytes, decoded only when painted.
  virtual void setPicture(TBytes jpeg) = 0;

  virtual TWindowPos windowPosition() const = 0;
  // Size constraints removed, Image2 and Image1 filling the client area, no border or caption,
  // the window at 0, 0 with the screen's size. The menu bar and Label1 stay.
  virtual void showFullScreenGeometry() = 0;
  // Fixed 435 x 380 again, Image2 at 0, 8 (window width x 258), Image1 at 9, 8 (402 x 258),
  // resizable border and caption back, the window moved to `position`.
  virtual void showNormalGeometry(TWindowPos position) = 0;
  // Topmost or ordinary, with the matching icon in Image3; position and size unchanged.
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

// Records what the video logic did to the window, starting from the window's look after
// start-up (bar buttons shown, audio controls and Label1 hidden, stop and snapshot disabled).
// For tests, and for running the logic without a window.
class TRecordingVideoWindow final : public IVideoWindow {
 public:
  TRecordingVideoWindow();

  std::string caption = "0.0.0.0";
  std::map<EVideoControl, bool> visible;
  std::map<EVideoControl, bool> enabled;
  TBytes picture;
  TWindowPos position{120, 80};
  bool fullScreenGeometry = false;
  bool topmost = false;
  bool audioActive = false;
  std::string mainCaption = "Ostrel Stream";
  ETopLevel mainState = ETopLevel::Shown;
  // "restoreApplication", "restore:CAPTION" and "front:CAPTION", in order.
  std::vector<std::string> focusCalls;
  // Every change of Label1's text, in order.
  std::vector<std::string> captions;

  void setCaption(const std::string& text) override;
  void setControlVisible(EVideoControl control, bool on) override;
  void setControlEnabled(EVideoControl control, bool on) override;
  void setPicture(TBytes jpeg) override;
  TWindowPos windowPosition() const override { return position; }
  void showFullScreenGeometry() override;
  void showNormalGeometry(TWindowPos at) override;
  void setTopmost(bool on) override { topmost = on; }
  bool audioConnectionActive() const override { return audioActive; }
  std::string windowCaption() const override { return mainCaption; }
  void restoreApplication() override;
  ETopLevel topLevelWindow(const std::string& caption) const override;
  void restoreTopLevel(const std::string& caption) override;
  void bringToFront(const std::string& caption) override;
};

// The video area's logic: frames and the idle picture in Image1, snapshots, full screen and
// always-on-top. UI thread only (frames reach it there through the decoder's delivery).
// The window must outlive this object; the clock and environment too.
class TVideoDisplay {
 public:
  using TBytes = IVideoWindow::TBytes;

  // Chooses the idle picture once, from the clock's date, and puts it into Image1.
  TVideoDisplay(IVideoWindow& window, const IClock& clock, const IEnv& env, TBytes standardIdle,
                TBytes festiveIdle);

  // 24 to 31 December.
  static bool festiveDate(const TLocalTime& date);
  // "snapshot-yyyymmddhhnnss.jpg".
  static std::string snapshotName(const TLocalTime& time);

  // The decoder's frame handler: the frame's bytes go to Image1 as they are, and the first
  // frame of a connection triggers the automatic snapshot when autoSnap is 1.
  void HandleFrame(TMJPEGDecoder& decoder, std::unique_ptr<TJPEGImage> image);

  // Writes what Image1 shows, byte for byte, into the temporary folder. A failure is logged
  // and changes nothing else. Returns the path written, or nothing.
  std::optional<std::string> SpeedButton4Click();

  void putIdlePicture();
  // Timer2's last step: the idle picture again while no stream is wanted.
  void idleStep(bool streamWanted);

  // Full screen on or off (double click, Ctrl+T, Escape, stream start and stop).
  void Image1DblClick();
  // The main window's key handler; true when the key was used (Escape in full screen).
  bool FormKeyDown(int key);
  // Always on top on or off; ONTop changes in memory only (the settings window saves it).
  void Image3Click();
  // Start-up: the window's topmost state and icon from ONTop.
  void applyOnTopSetting();

  bool SnapDone() const { return m_snapDone; }
  void setSnapDone(bool value) { m_snapDone = value; }
  bool FullScreenActive() const { return m_fullScreenActive; }
  bool festive() const { return m_festive; }
  const TBytes& IdlePicture() const { return m_idlePicture; }
  // What Image1 shows now.
  const TBytes& picture() const { return m_picture; }

 private:
  void showPicture(TBytes jpeg);
  void enterFullScreen();
  void leaveFullScreen();

  IVideoWindow& m_window;
  const IClock& m_clock;
  const IEnv& m_env;
  bool m_festive = false;
  TBytes m_idlePicture;
  TBytes m_picture;
  bool m_snapDone = false;
  bool m_fullScreenActive = false;
  TWindowPos m_savedPosition;
};

// Writes bytes to a new or replaced file, mode 0600, never through a symbolic link or into
// anything but a regular file. On failure nothing is left behind and `error` says why.
bool writePrivateFile(const std::string& path, const std::vector<unsigned char>& bytes,
                      std::string& error);
