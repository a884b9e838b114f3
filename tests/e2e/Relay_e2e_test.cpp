// The door: the real program shows a calling panel, the user clicks the relay button on an X
// server of the test's own, the panel's API receives the strike code through a Digest exchange,
// and the button shows what came of it.
#include <gtest/gtest.h>

#include <QImage>
#include <regex>

#include "tests/e2e/E2eSupport.h"
#include "tests/support/QtTestSupport.h"

namespace {

// The relay button sits at (0, 280) of the client area, 24 x 25, under a menu bar 10 to 34 pixels
// high: its middle is aimed at, and its look is read in a strip that holds it whatever the menu
// bar's height.
constexpr int RelayButtonX = 12;
constexpr int RelayButtonY = 22 + 280 + 12;

enum class ELook { Success, Failure };

// Pixels of the button's success green or failure red in the relay button's strip of the window
// whose top-left corner is (left, top) on the screen.
long lookPixels(const std::string& png, int left, int top, ELook look) {
  QImage image;
  if (!image.load(QString::fromStdString(png))) return -1;
  image = image.convertToFormat(QImage::Format_RGB32);
  long count = 0;
  for (int y = top + 280 + 10; y < top + 280 + 34 + 25 && y < image.height(); ++y)
    for (int x = left; x < left + 24 && x < image.width(); ++x) {
      const QRgb p = image.pixel(x, y);
      const int r = qRed(p), g = qGreen(p), b = qBlue(p);
      if (look == ELook::Success && g > 130 && r < 80 && b < 100) ++count;
      if (look == ELook::Failure && r > 180 && g < 90 && b < 80) ++count;
    }
  return count;
}

class RelayE2e : public TScreenLanTest {
 protected:
  // The form the settings file keeps a secret in.
  std::string scrambled(const std::string& secret) {
    int status = -1;
    std::string out = runCommand({panelSimPath(), "scramble", secret}, &status);
    EXPECT_EQ(status, 0);
    return out.substr(0, out.find('\n'));
  }

  // The window's top-left corner on the screen (no window manager: no frame).
  std::optional<std::pair<int, int>> corner(const std::string& window) {
    std::string info = runCommand({"env", "DISPLAY=" + x->display(), "xwininfo", "-id", window});
    std::smatch mx, my;
    if (!std::regex_search(info, mx, std::regex(R"(Absolute upper-left X:\s*(-?\d+))")) ||
        !std::regex_search(info, my, std::regex(R"(Absolute upper-left Y:\s*(-?\d+))")))
      return std::nullopt;
    return std::make_pair(std::stoi(mx[1]), std::stoi(my[1]));
  }
};

struct TRelayCase {
  const char* what;
  const char* status;
  ELook look;
};

}  // namespace

TEST_F(RelayE2e, ARelayClickReachesThePanelAndTheButtonShowsTheOutcome) {
  const TRelayCase cases[] = {
      {"the panel opens the door", "200", ELook::Success},
      {"the panel fails", "500", ELook::Failure},
  };
  for (const TRelayCase& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string requests = path(std::string("api-") + c.status + ".log");
    TChild panel({panelSimPath(), "serve", "--video", "8081", "--api", "80", "--auth", "digest",
                  "--login", "admin", "--password", "door", "--status", c.status, "--no-discovery",
                  "--bind", lan->address(2), "--requests", requests},
                 std::map<std::string, std::string>{}, panelNs, path("panel"));
    ASSERT_TRUE(pollUntil([&] {
      return panel.output().find("video: listening") != std::string::npos;
    })) << panel.errors();

    TProgramRun program(path(std::string("program-") + c.status));
    program.writeSettings({{"interfaceSelected", "\"" + lan->address(1) + "\""},
                           {"codeGache", "\"" + scrambled("4711") + "\""},
                           {"APIUsername", "\"admin\""},
                           {"APIPassword", "\"" + scrambled("door") + "\""},
                           {"APIAuthtype", "dword:00000002"},
                           {"APIMethod", "dword:00000000"}});
    program.startOnDisplay(programNs, x->display());
    ASSERT_TRUE(program.waitForLog("Socket active port 2201")) << program.log();

    int status = -1;
    runCommand(
        {panelSimPath(), "notify", "--to", lan->address(1), "start", "admin", "door", "8081"},
        &status, panelNs);
    ASSERT_EQ(status, 0);
    ASSERT_TRUE(program.waitForLog("Streaming Address: " + lan->address(2))) << program.log();

    std::optional<std::string> window;
    ASSERT_TRUE(pollUntil([&] { return (window = x->findWindow("Ostrel Stream")).has_value(); }));
    auto at = corner(*window);
    ASSERT_TRUE(at);
    ASSERT_TRUE(x->click(*window, RelayButtonX, RelayButtonY));

    // The strike code went to /api/remote/ through a Digest answer.
    EXPECT_TRUE(pollUntil([&] {
      std::string got = readFileBytes(requests);
      return got.find("/api/remote/") != std::string::npos &&
             got.find("4711") != std::string::npos &&
             got.find("Authorization: Digest") != std::string::npos;
    })) << readFileBytes(requests);

    long seen = 0;
    const std::string shot = path(std::string("relay-") + c.status + ".png");
    pollUntil([&] {
      if (!x->screenshot(shot)) return false;
      seen = lookPixels(shot, at->first, at->second, c.look);
      return seen > 150;
    });
    EXPECT_GT(seen, 150) << "the button does not show the outcome; see " << shot << "\n"
                         << program.log();
    EXPECT_EQ(program.child().terminate(), 0) << program.child().errors();
  }
}
