#pragma once

#include <QLocalServer>
#include <QObject>
#include <chrono>
#include <optional>
#include <string>

#include "platform/Env.h"
#include "platform/Paths.h"

// One copy of the program per user: the first copy listens on a local socket in the user's
// runtime folder; a later copy finds it there and asks it to come to the front before saying
// that a copy already runs and ending. UI thread only.
class TSingleInstance : public QObject {
  Q_OBJECT
 public:
  enum class ERole { Primary, Secondary };
  static constexpr const char* RaiseRequest = "raise\n";

  explicit TSingleInstance(std::string socketPath);
  ~TSingleInstance() override;

  // $XDG_RUNTIME_DIR/ostrel-stream.socket, else the same name in our own temporary folder;
  // nothing when neither can be had.
  static std::optional<std::string> socketPath(const IEnv& env, const TPaths& paths);

  // Secondary when a running copy answered (it has been asked to come to the front). Otherwise
  // this copy listens and is Primary. With waitForPrevious, a copy that still answers is taken
  // for one that is ending (a restart): it is not asked anything and is given that long to go.
  ERole claim(std::chrono::milliseconds waitForPrevious = std::chrono::milliseconds{0});
  bool listening() const { return m_server.isListening(); }

 signals:
  // Another copy was started: the window should come to the user.
  void raiseRequested();

 private:
  bool runningCopyAnswers(bool askToRaise);
  void onNewConnection();

  std::string m_socketPath;
  QLocalServer m_server;
};
