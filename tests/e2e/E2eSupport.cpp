#include "tests/e2e/E2eSupport.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace {

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool quiet(const std::vector<std::string>& argv, const std::string& netns = "") {
  int status = 0;
  runCommand(argv, &status, netns);
  return status == 0;
}

pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
            const std::string& outPath, const std::string& errPath) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<char*> envp;
  for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

std::vector<std::string> withNetns(std::vector<std::string> argv, const std::string& netns) {
  if (netns.empty()) return argv;
  std::vector<std::string> full = {"ip", "netns", "exec", netns};
  full.insert(full.end(), argv.begin(), argv.end());
  return full;
}

}  // namespace

bool pollUntil(const std::function<bool()>& condition, std::chrono::milliseconds deadline) {
  auto end = std::chrono::steady_clock::now() + deadline;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return condition();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

std::string programPath() { return OSTREL_PROGRAM; }
std::string panelSimPath() { return PANEL_SIM; }

std::string runCommand(const std::vector<std::string>& argv, int* status,
                       const std::string& netns) {
  std::string out = "/tmp/ostrel-e2e-cmd-" + std::to_string(getpid()) + ".out";
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
  pid_t pid = spawn(withNetns(argv, netns), env, out, "/dev/null");
  int st = -1;
  if (pid > 0) waitpid(pid, &st, 0);
  if (status != nullptr) *status = (pid > 0 && WIFEXITED(st)) ? WEXITSTATUS(st) : -1;
  std::string text = readAll(out);
  ::unlink(out.c_str());
  return text;
}

std::unique_ptr<TTestLan> TTestLan::create(std::string& why) {
  if (geteuid() != 0) {
    why = "network namespaces need root";
    return nullptr;
  }
  std::unique_ptr<TTestLan> lan(new TTestLan());
  lan->m_subnet = 1 + getpid() % 250;
  lan->m_bridge = "obr" + std::to_string(getpid() % 100000);
  if (!quiet({"ip", "link", "add", lan->m_bridge, "type", "bridge"})) {
    why = "cannot create a bridge (ip link add type bridge failed)";
    return nullptr;
  }
  lan->m_links.push_back(lan->m_bridge);
  if (!quiet({"ip", "addr", "add", lan->bridgeAddress() + "/24", "dev", lan->m_bridge}) ||
      !quiet({"ip", "link", "set", lan->m_bridge, "up"})) {
    why = "cannot configure the test bridge";
    return nullptr;
  }
  return lan;
}

TTestLan::~TTestLan() {
  for (const std::string& ns : m_namespaces) quiet({"ip", "netns", "del", ns});
  for (const std::string& link : m_links) quiet({"ip", "link", "del", link});
}

std::string TTestLan::address(int hostNumber) const {
  return "10.231." + std::to_string(m_subnet) + "." + std::to_string(hostNumber);
}

std::optional<std::string> TTestLan::addIsolatedHost(int hostNumber) {
  std::string ns = "ostrel-" + std::to_string(getpid() % 100000) + "x" + std::to_string(hostNumber);
  if (!quiet({"ip", "netns", "add", ns})) return std::nullopt;
  m_namespaces.push_back(ns);
  if (!quiet({"ip", "link", "set", "lo", "up"}, ns)) return std::nullopt;
  return ns;
}

std::optional<std::string> TTestLan::addHost(int hostNumber) {
  std::string tag = std::to_string(getpid() % 100000) + "h" + std::to_string(hostNumber);
  std::string ns = "ostrel-" + tag;
  std::string outer = "ov" + tag;
  std::string inner = "oi" + tag;
  if (!quiet({"ip", "netns", "add", ns})) return std::nullopt;
  m_namespaces.push_back(ns);
  if (!quiet({"ip", "link", "add", outer, "type", "veth", "peer", "name", inner}))
    return std::nullopt;
  m_links.push_back(outer);
  bool ok = quiet({"ip", "link", "set", inner, "netns", ns}) &&
            quiet({"ip", "link", "set", outer, "master", m_bridge}) &&
            quiet({"ip", "link", "set", outer, "up"}) &&
            quiet({"ip", "link", "set", inner, "name", "eth0"}, ns) &&
            quiet({"ip", "addr", "add", address(hostNumber) + "/24", "dev", "eth0"}, ns) &&
            quiet({"ip", "link", "set", "eth0", "up"}, ns) &&
            quiet({"ip", "link", "set", "lo", "up"}, ns);
  if (!ok) return std::nullopt;
  return ns;
}

TChild::TChild(std::vector<std::string> argv, std::map<std::string, std::string> env,
               const std::string& netns, const std::string& outputPrefix)
    : m_out(outputPrefix + ".out"), m_err(outputPrefix + ".err") {
  std::vector<std::string> envList;
  for (char** e = environ; *e != nullptr; ++e) {
    std::string entry(*e);
    std::string name = entry.substr(0, entry.find('='));
    if (env.count(name) == 0) envList.push_back(entry);
  }
  for (const auto& [name, value] : env) envList.push_back(name + "=" + value);
  m_pid = spawn(withNetns(std::move(argv), netns), envList, m_out, m_err);
}

TChild::~TChild() {
  if (m_pid > 0 && !m_status) terminate(std::chrono::milliseconds(2000));
}

bool TChild::running() {
  if (m_pid <= 0 || m_status) return false;
  int st = 0;
  pid_t r = waitpid(m_pid, &st, WNOHANG);
  if (r == m_pid) {
    m_status = WIFEXITED(st) ? WEXITSTATUS(st) : -WTERMSIG(st);
    return false;
  }
  return true;
}

std::optional<int> TChild::waitExit(std::chrono::milliseconds deadline) {
  auto end = std::chrono::steady_clock::now() + deadline;
  while (running() && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return m_status;
}

int TChild::terminate(std::chrono::milliseconds grace) {
  if (!running()) return m_status.value_or(-1);
  ::kill(m_pid, SIGTERM);
  if (auto status = waitExit(grace)) return *status;
  ::kill(m_pid, SIGKILL);
  waitExit(std::chrono::seconds(5));
  return m_status.value_or(-SIGKILL);
}

std::string TChild::output() const { return readAll(m_out); }
std::string TChild::errors() const { return readAll(m_err); }

TProgramRun::TProgramRun(std::string home) : m_home(std::move(home)) {
  QDir().mkpath(QString::fromStdString(m_home + "/tmp"));
  QDir().mkpath(QString::fromStdString(m_home + "/runtime"));
  ::chmod((m_home + "/runtime").c_str(), 0700);
}

void TProgramRun::writeSettings(const std::map<std::string, std::string>& values) {
  std::string folder = m_home + "/config/Halvex";
  QDir().mkpath(QString::fromStdString(folder));
  std::ofstream out(folder + "/HalvexStream.reg", std::ios::binary);
  out << "Windows Registry Editor Version 5.00\r\n\r\n"
      << "[HKEY_CURRENT_USER\\Software\\Halvex\\HalvexStream]\r\n";
  for (const auto& [name, value] : values) out << "\"" << name << "\"=" << value << "\r\n";
}

void TProgramRun::startOnDisplay(const std::string& netns, const std::string& display) {
  launch(netns, {{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", display}});
}

void TProgramRun::start(const std::string& netns) {
  launch(netns, {{"QT_QPA_PLATFORM", "offscreen"}});
}

void TProgramRun::launch(const std::string& netns, std::map<std::string, std::string> env) {
  env.insert({{"HOME", m_home},
              {"TMP", m_home + "/tmp"},
              {"XDG_CONFIG_HOME", m_home + "/config"},
              {"XDG_DATA_HOME", m_home + "/data"},
              {"XDG_RUNTIME_DIR", m_home + "/runtime"}});
  m_child = std::make_unique<TChild>(std::vector<std::string>{programPath()}, env, netns,
                                     m_home + "/program");
}

std::string TProgramRun::log() const { return readAll(m_home + "/tmp/ostrelstream-debug.log"); }

bool TProgramRun::waitForLog(const std::string& text, std::chrono::milliseconds deadline) const {
  return pollUntil([&] { return log().find(text) != std::string::npos; }, deadline);
}

bool TProgramRun::waitForErrors(const std::string& text, std::chrono::milliseconds deadline) const {
  return pollUntil([&] { return m_child->errors().find(text) != std::string::npos; }, deadline);
}

std::unique_ptr<TXServer> TXServer::start(const std::string& outputPrefix, std::string& why) {
  std::unique_ptr<TXServer> x(new TXServer());
  // -displayfd: Xvfb picks a free display itself and writes its number once it accepts clients.
  x->m_server =
      std::make_unique<TChild>(std::vector<std::string>{"Xvfb", "-displayfd", "1", "-screen", "0",
                                                        "1024x768x24", "-nolisten", "tcp"},
                               std::map<std::string, std::string>{}, "", outputPrefix);
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  std::string out;
  while ((out = x->m_server->output()).find('\n') == std::string::npos) {
    if (!x->m_server->running()) {
      why = "Xvfb did not start: " + x->m_server->errors();
      return nullptr;
    }
    if (std::chrono::steady_clock::now() > end) {
      why = "Xvfb named no display";
      return nullptr;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  x->m_display = ":" + out.substr(0, out.find('\n'));
  return x;
}

bool TXServer::screenshot(const std::string& path) const {
  int status = -1;
  runCommand({"import", "-display", m_display, "-window", "root", path}, &status);
  return status == 0;
}

std::optional<std::string> TXServer::findWindow(const std::string& title) const {
  int status = -1;
  std::string ids = runCommand({"env", "DISPLAY=" + m_display, "xdotool", "search", "--onlyvisible",
                                "--name", "^" + title + "$"},
                               &status);
  if (status != 0 || ids.empty()) return std::nullopt;
  return ids.substr(0, ids.find('\n'));
}

bool TXServer::click(const std::string& window, int x, int y) const {
  int status = -1;
  runCommand({"env", "DISPLAY=" + m_display, "xdotool", "mousemove", "--window", window,
              std::to_string(x), std::to_string(y), "click", "1"},
             &status);
  return status == 0;
}

bool TXServer::canClick() {
  int status = -1;
  runCommand({"xdotool", "--version"}, &status);
  return status == 0;
}

std::string TScreenColours::describe() const {
  return "yellow " + std::to_string(yellow) + ", cyan " + std::to_string(cyan) + ", magenta " +
         std::to_string(magenta) + ", navy " + std::to_string(navy) + ", orange " +
         std::to_string(orange) + " pixels";
}

std::optional<TScreenColours> countScreenColours(const std::string& pngPath) {
  QImage image;
  if (!image.load(QString::fromStdString(pngPath))) return std::nullopt;
  image = image.convertToFormat(QImage::Format_RGB32);
  // Wide margins: the pictures went through JPEG and a smooth scaling.
  TScreenColours counts;
  for (int y = 0; y < image.height(); ++y) {
    const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      const int r = qRed(line[x]), g = qGreen(line[x]), b = qBlue(line[x]);
      if (r > 150 && g > 150 && b < 80) ++counts.yellow;
      if (r < 80 && g > 150 && b > 150) ++counts.cyan;
      if (r > 150 && g < 80 && b > 150) ++counts.magenta;
      if (r < 60 && g > r + 12 && g < 100 && b > r + 40 && b > 60 && b < 130) ++counts.navy;
      if (r > 220 && g > 100 && g < 156 && b < 50) ++counts.orange;
    }
  }
  return counts;
}

void TLanTest::SetUp() {
  std::string why;
  lan = TTestLan::create(why);
  if (!lan) GTEST_SKIP() << "no private test network: " << why;
  auto ns = lan->addHost(1);
  if (!ns) GTEST_SKIP() << "cannot make a network namespace for the program";
  programNs = *ns;
  auto panel = lan->addHost(2);
  if (!panel) GTEST_SKIP() << "cannot make a network namespace for the panel";
  panelNs = *panel;
}

struct TRecordedLanTest::TFolder {
  QTemporaryDir dir;
};

TRecordedLanTest::TRecordedLanTest() : m_folder(std::make_unique<TFolder>()) {}

TRecordedLanTest::~TRecordedLanTest() = default;

void TRecordedLanTest::TearDown() {
  if (HasFailure()) {
    m_folder->dir.setAutoRemove(false);
    std::printf("outputs, logs and screenshots kept in %s\n",
                m_folder->dir.path().toStdString().c_str());
  }
}

std::string TRecordedLanTest::path(const std::string& name) const {
  return m_folder->dir.path().toStdString() + "/" + name;
}

std::unique_ptr<TChild> TRecordedLanTest::startPanel(const std::string& ns,
                                                     const std::vector<std::string>& options,
                                                     const std::string& name,
                                                     const std::string& ready) {
  std::vector<std::string> argv = {panelSimPath(), "serve"};
  argv.insert(argv.end(), options.begin(), options.end());
  auto panel = std::make_unique<TChild>(argv, std::map<std::string, std::string>{}, ns, path(name));
  pollUntil([&] { return panel->output().find(ready) != std::string::npos; },
            std::chrono::seconds(10));
  return panel;
}

void TScreenLanTest::SetUp() {
  TRecordedLanTest::SetUp();
  if (IsSkipped()) return;
  std::string why;
  x = TXServer::start(path("xvfb"), why);
  if (!x) GTEST_SKIP() << "no X server for screenshots and clicks: " << why;
}

void TScreenLanTest::TearDown() {
  if (HasFailure() && x) x->screenshot(path("failure.png"));
  TRecordedLanTest::TearDown();
}
