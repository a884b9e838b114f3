#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Whole-program runs: the real program and simulated panels, each in a network namespace of
// its own on one private bridge, so that each has its own address and its own port 2201.
// Needs root (as CI is); where namespaces cannot be made, tests skip and say why.

// A small LAN: a bridge in the root namespace holding 10.231.N.254/24, and hosts on it.
class TTestLan {
 public:
  // Nothing when namespaces or bridges cannot be made here; `why` then says what failed.
  static std::unique_ptr<TTestLan> create(std::string& why);
  ~TTestLan();

  // A host: a namespace with lo and eth0 holding the address 10.231.N.<hostNumber>/24.
  // Returns the namespace name, or nothing on failure.
  std::optional<std::string> addHost(int hostNumber);
  // A namespace with nothing but its loopback: a machine without a network.
  std::optional<std::string> addIsolatedHost(int hostNumber);
  std::string address(int hostNumber) const;
  std::string bridgeAddress() const { return address(254); }

 private:
  TTestLan() = default;
  int m_subnet = 0;
  std::string m_bridge;
  std::vector<std::string> m_namespaces;
  std::vector<std::string> m_links;
};

// A child process, optionally inside a namespace, with its output kept in files.
class TChild {
 public:
  TChild(std::vector<std::string> argv, std::map<std::string, std::string> env,
         const std::string& netns, const std::string& outputPrefix);
  ~TChild();
  bool running();
  // SIGTERM, then SIGKILL after the grace period. Returns the exit status (or -signal).
  int terminate(std::chrono::milliseconds grace = std::chrono::seconds(5));
  // Waits for the process to end by itself.
  std::optional<int> waitExit(std::chrono::milliseconds deadline);
  std::string output() const;
  std::string errors() const;
  pid_t pid() const { return m_pid; }

 private:
  pid_t m_pid = -1;
  std::optional<int> m_status;
  std::string m_out, m_err;
};

// The program under test with a home, settings and temporary folder of its own.
class TProgramRun {
 public:
  explicit TProgramRun(std::string home);
  // Writes the settings store before start: values as regedit lines (name -> "\"text\"" or
  // "dword:0000000a").
  void writeSettings(const std::map<std::string, std::string>& values);
  void start(const std::string& netns);
  TChild& child() { return *m_child; }
  std::string log() const;
  // Waits until the log holds the text (deadline only bounds failures).
  bool waitForLog(const std::string& text,
                  std::chrono::milliseconds deadline = std::chrono::seconds(15)) const;
  bool waitForErrors(const std::string& text,
                     std::chrono::milliseconds deadline = std::chrono::seconds(15)) const;
  const std::string& home() const { return m_home; }
  // Like start(), but on a real X server (DISPLAY) instead of the offscreen platform, so that
  // the window can be photographed and clicked.
  void startOnDisplay(const std::string& netns, const std::string& display);

 private:
  void launch(const std::string& netns, std::map<std::string, std::string> env);
  std::string m_home;
  std::unique_ptr<TChild> m_child;
};

// Runs a command to its end and returns its stdout; status in `status`.
std::string runCommand(const std::vector<std::string>& argv, int* status = nullptr,
                       const std::string& netns = "");

// Checks the condition every 20 ms until it holds; the deadline only bounds failures.
bool pollUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds deadline = std::chrono::seconds(15));

std::string programPath();
std::string panelSimPath();

// An X server of the test's own: Xvfb on a display number it picks itself, so that tests can
// photograph the program's window and click it like a user. The program reaches it through the
// socket in /tmp/.X11-unix, which a network namespace does not hide.
class TXServer {
 public:
  // Nothing when Xvfb cannot be started; `why` then says what failed.
  static std::unique_ptr<TXServer> start(const std::string& outputPrefix, std::string& why);
  // ":N"
  const std::string& display() const { return m_display; }
  // Writes the whole screen to a PNG file; false when that failed.
  bool screenshot(const std::string& path) const;
  // The X window id of the visible top-level window with exactly this title, if there is one.
  std::optional<std::string> findWindow(const std::string& title) const;
  // A left click at (x, y) counted from the window's top-left corner; false when xdotool failed.
  bool click(const std::string& window, int x, int y) const;
  // Whether clicking can be done here at all (xdotool installed).
  static bool canClick();

 private:
  TXServer() = default;
  std::unique_ptr<TChild> m_server;
  std::string m_display;
};

// Counts of the colour classes that tell the pictures on screen apart: the saturated bars of
// panel-sim's test pattern, and the navy of the program's idle picture.
struct TScreenColours {
  long yellow = 0;
  long cyan = 0;
  long magenta = 0;
  long navy = 0;
  long orange = 0;  // the background of the text over the video
  std::string describe() const;
};
// Nothing when the file cannot be read as a picture.
std::optional<TScreenColours> countScreenColours(const std::string& pngPath);

// A program host (10.231.N.1) and a panel host (10.231.N.2) on a private LAN. Skips the test,
// saying why, when they cannot be made; a derived SetUp returns when IsSkipped().
class TLanTest : public ::testing::Test {
 protected:
  void SetUp() override;
  std::unique_ptr<TTestLan> lan;
  std::string programNs, panelNs;
};

// A TLanTest with a folder of its own for outputs, logs and screenshots, kept and named when the
// test fails.
class TRecordedLanTest : public TLanTest {
 protected:
  TRecordedLanTest();
  ~TRecordedLanTest() override;
  void TearDown() override;
  std::string path(const std::string& name) const;
  // panel-sim serve with these options in a namespace, its output kept under name; returns once
  // the output says ready (or after 10 s, for the caller's own check to fail).
  std::unique_ptr<TChild> startPanel(const std::string& ns, const std::vector<std::string>& options,
                                     const std::string& name, const std::string& ready);

 private:
  struct TFolder;
  std::unique_ptr<TFolder> m_folder;
};

// A TRecordedLanTest with an X server of its own (no window manager) for screenshots and clicks;
// skipped, saying why, without one.
class TScreenLanTest : public TRecordedLanTest {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::unique_ptr<TXServer> x;
};
