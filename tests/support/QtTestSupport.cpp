#include "tests/support/QtTestSupport.h"

#ifdef OSTREL_TEST_WIDGETS
#include <QApplication>
#endif
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

std::string readFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void writeFileBytes(const std::string& path, const std::string& bytes) {
  std::filesystem::path folder = std::filesystem::path(path).parent_path();
  if (!folder.empty()) std::filesystem::create_directories(folder);
  std::ofstream(path, std::ios::binary) << bytes;
}

void ensureQtApplication() {
  if (QCoreApplication::instance() != nullptr) return;
  static int argc = 1;
  static char name[] = "ostrel-tests";
  static char* argv[] = {name, nullptr};
  qputenv("QT_QPA_PLATFORM", "offscreen");
#ifdef OSTREL_TEST_WIDGETS
  new QApplication(argc, argv);
#else
  // Binaries that must run without widgets do not even link them.
  new QCoreApplication(argc, argv);
#endif
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds deadline) {
  QElapsedTimer timer;
  timer.start();
  while (!condition()) {
    if (timer.elapsed() > deadline.count()) return condition();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(1);
  }
  return true;
}

void pumpEvents(std::chrono::milliseconds duration) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < duration.count()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(1);
  }
}

TCapturedLog::TCapturedLog() {
  std::string folder = m_dir.path().toStdString();
  m_log =
      std::make_unique<TDebugLog>(clock, [folder] { return std::optional<std::string>(folder); });
  m_log->startUp();
  installDebugLog(m_log.get());
}

TCapturedLog::~TCapturedLog() { installDebugLog(nullptr); }

std::vector<std::string> TCapturedLog::texts() const {
  std::vector<std::string> out;
  for (const std::string& line : m_log->entriesFrom(0).lines) {
    auto at = line.find("> ");
    out.push_back(at == std::string::npos ? line : line.substr(at + 2));
  }
  return out;
}

bool TCapturedLog::contains(const std::string& text) const {
  auto all = texts();
  return std::find(all.begin(), all.end(), text) != all.end();
}
