#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/DebugLog.h"
#include "tests/support/Fakes.h"

// A whole file's bytes (empty when it cannot be read), and writing bytes to a file, making its
// folder first.
std::string readFileBytes(const std::string& path);
void writeFileBytes(const std::string& path, const std::string& bytes);

// Makes the Qt application object the sockets and timers need, once per test binary.
void ensureQtApplication();

// Runs the event loop until the condition holds or the deadline passes; returns the condition.
// The deadline only bounds a failing test: passing tests return as soon as it holds.
bool waitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds deadline = std::chrono::seconds(10));

// Runs the event loop for a while (for checking that something does NOT happen).
void pumpEvents(std::chrono::milliseconds duration);

// A debug log in a fresh temporary folder, installed as the process-wide log while it lives.
class TCapturedLog {
 public:
  TCapturedLog();
  ~TCapturedLog();
  // The texts of the entries, without their stamps.
  std::vector<std::string> texts() const;
  bool contains(const std::string& text) const;
  std::string folder() const { return m_dir.path().toStdString(); }
  TDebugLog& log() { return *m_log; }
  TFakeClock clock;

 private:
  QTemporaryDir m_dir;
  std::unique_ptr<TDebugLog> m_log;
};
