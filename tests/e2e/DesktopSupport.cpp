#include "tests/e2e/DesktopSupport.h"

#include <regex>
#include <sstream>

namespace {

std::optional<int> field(const std::string& text, const std::string& label) {
  std::smatch match;
  if (!std::regex_search(text, match, std::regex(label + R"(:\s*(-?\d+))"))) return std::nullopt;
  return std::stoi(match[1]);
}

}  // namespace

std::string TDesktop::TRect::describe() const {
  std::ostringstream out;
  out << width << "x" << height << "+" << x << "+" << y;
  return out.str();
}

std::unique_ptr<TDesktop> TDesktop::start(const std::string& outputPrefix, std::string& why) {
  std::unique_ptr<TDesktop> desktop(new TDesktop());
  desktop->m_x = TXServer::start(outputPrefix + "-xvfb", why);
  if (!desktop->m_x) return nullptr;
  desktop->m_manager =
      std::make_unique<TChild>(std::vector<std::string>{"openbox", "--sm-disable"},
                               std::map<std::string, std::string>{{"DISPLAY", desktop->display()}},
                               "", outputPrefix + "-openbox");
  // The manager is up once it has announced itself on the root window.
  const bool up = pollUntil([&] {
    if (!desktop->m_manager->running()) return false;
    return desktop->x11({"xprop", "-root", "_NET_SUPPORTING_WM_CHECK"}).find("window id") !=
           std::string::npos;
  });
  if (!up) {
    why = "openbox did not start: " + desktop->m_manager->errors();
    return nullptr;
  }
  return desktop;
}

TDesktop::~TDesktop() {
  if (m_manager) m_manager->terminate();
}

std::string TDesktop::x11(const std::vector<std::string>& argv, int* status) const {
  std::vector<std::string> full = {"env", "DISPLAY=" + display()};
  full.insert(full.end(), argv.begin(), argv.end());
  return runCommand(full, status);
}

std::optional<std::string> TDesktop::findWindow(const std::string& title) const {
  int status = -1;
  std::string ids = x11({"xdotool", "search", "--name", "^" + title + "$"}, &status);
  if (status != 0 || ids.empty()) return std::nullopt;
  // The client window is the one that carries WM_STATE once managed; Qt's leader window never
  // does.
  std::istringstream lines(ids);
  std::string id, first;
  while (std::getline(lines, id)) {
    if (id.empty()) continue;
    if (first.empty()) first = id;
    if (x11({"xprop", "-id", id, "WM_CLASS"}).find("ostrel") != std::string::npos) return id;
  }
  return first;
}

std::optional<TDesktop::TRect> TDesktop::clientRect(const std::string& window) const {
  int status = -1;
  std::string info = x11({"xwininfo", "-id", window}, &status);
  if (status != 0) return std::nullopt;
  auto x = field(info, "Absolute upper-left X");
  auto y = field(info, "Absolute upper-left Y");
  auto width = field(info, "Width");
  auto height = field(info, "Height");
  if (!x || !y || !width || !height) return std::nullopt;
  return TRect{*x, *y, *width, *height};
}

std::optional<TDesktop::TRect> TDesktop::frameExtents(const std::string& window) const {
  std::string text = x11({"xprop", "-id", window, "_NET_FRAME_EXTENTS"});
  std::smatch match;
  if (!std::regex_search(text, match, std::regex(R"(=\s*(\d+),\s*(\d+),\s*(\d+),\s*(\d+))")))
    return std::nullopt;
  // left, right, top, bottom
  return TRect{std::stoi(match[1]), std::stoi(match[2]), std::stoi(match[3]), std::stoi(match[4])};
}

std::string TDesktop::wmState(const std::string& window) const {
  std::string text = x11({"xprop", "-id", window, "WM_STATE"});
  std::smatch match;
  if (!std::regex_search(text, match, std::regex(R"(window state:\s*(\w+))"))) return {};
  return match[1];
}

bool TDesktop::type(const std::string& window, const std::string& keys) const {
  int status = -1;
  x11({"xdotool", "windowactivate", "--sync", window}, &status);
  if (status != 0) return false;
  x11({"xdotool", "key", "--clearmodifiers", keys}, &status);
  return status == 0;
}

std::string TDesktopLanTest::startOnDesktop(TProgramRun& program,
                                            std::map<std::string, std::string> settings,
                                            const std::string& wantedState) {
  settings["interfaceSelected"] = "\"" + lan->address(1) + "\"";
  program.writeSettings(settings);
  program.startOnDisplay(programNs, desktop->display());
  EXPECT_TRUE(program.waitForLog("Socket active port 2201")) << program.log();
  std::string id;
  pollUntil([&] {
    auto found = desktop->findWindow("Ostrel Stream");
    if (!found) return false;
    const std::string state = desktop->wmState(*found);
    if (state.empty() || (!wantedState.empty() && state != wantedState)) return false;
    id = *found;
    return true;
  });
  EXPECT_FALSE(id.empty()) << "the main window never appeared" +
                                  (wantedState.empty() ? "" : " as " + wantedState);
  return id;
}

void TDesktopLanTest::SetUp() {
  TRecordedLanTest::SetUp();
  if (IsSkipped()) return;
  std::string why;
  desktop = TDesktop::start(path("desktop"), why);
  if (!desktop) GTEST_SKIP() << "no desktop with a window manager: " << why;
}

void TDesktopLanTest::TearDown() {
  if (HasFailure() && desktop) desktop->x().screenshot(path("failure.png"));
  TRecordedLanTest::TearDown();
}
