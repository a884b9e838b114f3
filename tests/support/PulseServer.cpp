#include "tests/support/PulseServer.h"

#include <QFile>
#include <QProcess>
#include <cstdlib>

#include "tests/support/QtTestSupport.h"

namespace {

QString runtimeFolder(const QTemporaryDir& dir) { return dir.path() + "/run"; }

}  // namespace

TPulseServer::~TPulseServer() { stop(); }

QProcessEnvironment TPulseServer::environment(QProcessEnvironment base) const {
  base.insert("XDG_RUNTIME_DIR", runtimeFolder(m_dir));
  base.insert("PULSE_RUNTIME_PATH", runtimeFolder(m_dir) + "/pulse");
  base.insert("PULSE_SERVER", QString::fromStdString(serverAddress()));
  // Keeps the cookie and the client configuration out of the user's home.
  base.insert("HOME", m_dir.path());
  return base;
}

std::string TPulseServer::serverAddress() const {
  return "unix:" + (runtimeFolder(m_dir) + "/pulse/native").toStdString();
}

std::string TPulseServer::log() const {
  return readFileBytes((m_dir.path() + "/pulse.log").toStdString());
}

int TPulseServer::runPulse(const QStringList& arguments, int timeoutMs) const {
  QProcess process;
  process.setProcessEnvironment(environment());
  process.start("pulseaudio", arguments);
  if (!process.waitForStarted(timeoutMs)) return -1;
  if (!process.waitForFinished(timeoutMs)) {
    process.kill();
    process.waitForFinished();
    return -1;
  }
  return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

bool TPulseServer::start() {
  if (m_running) return true;
  if (!m_dir.isValid()) {
    m_error = "no temporary folder";
    return false;
  }
  QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  const QStringList arguments = {
      "--daemonize=yes",
      "--exit-idle-time=-1",
      "--disallow-exit",
      "-n",
      "--load=module-null-sink sink_name=nul",
      "--load=module-native-protocol-unix",
      "--log-target=file:" + m_dir.path() + "/pulse.log",
  };
  // The daemonising parent returns once the server is ready (or has failed).
  const int code = runPulse(arguments, 20000);
  if (code != 0) {
    m_error = "pulseaudio did not start (exit " + std::to_string(code) + "): " + log();
    return false;
  }
  m_running = true;
  ::setenv("PULSE_SERVER", serverAddress().c_str(), 1);
  if (!startClockKeeper()) {
    stop();
    return false;
  }
  return true;
}

bool TPulseServer::startClockKeeper() {
  m_clockKeeper = std::make_unique<QProcess>();
  m_clockKeeper->setProcessEnvironment(environment());
  m_clockKeeper->setStandardOutputFile(QProcess::nullDevice());
  m_clockKeeper->start("parec", {"--device=nul.monitor", "--raw", "--format=s16le", "--rate=8000",
                                 "--channels=1", "--latency-msec=10"});
  if (!m_clockKeeper->waitForStarted(10000)) {
    m_error = "parec did not start: " + m_clockKeeper->errorString().toStdString();
    return false;
  }
  // Its stream is up once the sink lists it as a client of the monitor.
  const bool attached = waitUntil(
      [&] {
        QProcess pactl;
        pactl.setProcessEnvironment(environment());
        pactl.start("pactl", {"list", "short", "source-outputs"});
        return pactl.waitForFinished(5000) && !pactl.readAllStandardOutput().trimmed().isEmpty();
      },
      std::chrono::seconds(20));
  if (!attached) m_error = "parec did not attach to the monitor: " + log();
  return attached;
}

void TPulseServer::stop() {
  if (m_clockKeeper) {
    m_clockKeeper->kill();
    m_clockKeeper->waitForFinished(10000);
    m_clockKeeper.reset();
  }
  if (!m_running) return;
  runPulse({"--kill"}, 10000);
  // --kill returns before the server is gone; wait for its pid file to disappear.
  const QString pidFile = runtimeFolder(m_dir) + "/pulse/pid";
  for (int i = 0; i < 100 && QFile::exists(pidFile); ++i) pumpEvents(std::chrono::milliseconds(50));
  m_running = false;
}
