#include "tests/support/SoundRecorder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include "tests/support/SoundAnalysis.h"

std::optional<std::vector<std::int16_t>> recordSeconds(const QProcessEnvironment& env, int rate,
                                                       double seconds, std::string* error,
                                                       const std::string& device) {
  const qint64 wanted = static_cast<qint64>(seconds * rate) * 2;
  QProcess parec;
  parec.setProcessEnvironment(env);
  parec.start("parec", {"--raw", "--format=s16le", "--rate=" + QString::number(rate),
                        "--channels=1", "--latency-msec=20", "-d", QString::fromStdString(device)});
  auto fail = [&](const std::string& why) -> std::optional<std::vector<std::int16_t>> {
    if (error)
      *error = why + ": " + QString::fromLocal8Bit(parec.readAllStandardError()).toStdString();
    parec.kill();
    parec.waitForFinished();
    return std::nullopt;
  };
  if (!parec.waitForStarted(10000)) return fail("parec did not start");
  QByteArray bytes;
  QElapsedTimer clock;
  clock.start();
  // Generous: the sound runs in real time, the sanitizer builds are slow.
  const qint64 deadline = static_cast<qint64>(seconds * 1000) + 20000;
  while (bytes.size() < wanted) {
    if (clock.elapsed() > deadline) return fail("parec gave too little");
    if (parec.state() == QProcess::NotRunning) return fail("parec ended");
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    parec.waitForReadyRead(10);
    bytes += parec.readAllStandardOutput();
  }
  parec.kill();
  parec.waitForFinished();
  bytes.truncate(wanted);
  return samplesOfS16le(bytes.toStdString());
}
