#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <memory>
#include <string>

// A private PulseAudio server with one null sink ("nul", the default sink; its monitor
// "nul.monitor" is the default source), on a runtime folder of its own, so that tests can play
// and record through a real sound server on a machine without a sound card.
//
// The null sink runs on a clock in blocks as long as its clients allow: 2 s while nobody asks
// for less. A new stream then waits for the current block to end (up to 2 s, a full 2 s after a
// suspend) before its first buffer is taken, where a sound card's sink starts it at once. A
// recorder asking for 10 ms on the monitor keeps the blocks short for the server's lifetime,
// so that new streams start as they would on a workstation.
//
// start() sets PULSE_SERVER in this process's environment (for Qt Multimedia inside the test)
// and environment() gives what a child process needs to reach the same server. The server is
// killed when the object goes.
class TPulseServer {
 public:
  TPulseServer() = default;
  ~TPulseServer();
  TPulseServer(const TPulseServer&) = delete;
  TPulseServer& operator=(const TPulseServer&) = delete;

  // Starts the server; false (with the reason in error()) when pulseaudio is missing or fails.
  bool start();
  void stop();
  bool running() const { return m_running; }
  const std::string& error() const { return m_error; }

  // "unix:<socket>", the value of PULSE_SERVER for a client.
  std::string serverAddress() const;
  // The given environment with the variables a client of this server needs.
  QProcessEnvironment environment(
      QProcessEnvironment base = QProcessEnvironment::systemEnvironment()) const;
  // The server's own log, for a failing test's message.
  std::string log() const;

 private:
  int runPulse(const QStringList& arguments, int timeoutMs) const;
  bool startClockKeeper();

  QTemporaryDir m_dir;
  std::unique_ptr<QProcess> m_clockKeeper;
  bool m_running = false;
  std::string m_error;
};
