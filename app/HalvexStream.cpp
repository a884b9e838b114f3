// Program entry: the application object, the six windows in their order, the event loop.
#include <QApplication>
#include <QNetworkInterface>

#include "TForm7.h"
#include "platform/SessionEnd.h"
#include "ui/QtDialogs.h"
#include "ui/TForm1.h"
#include "ui/TForm2.h"
#include "ui/TForm3.h"
#include "ui/TForm4.h"

namespace {

// Stand-in until the interface inventory provides the host address.
std::string firstInterfaceAddress() {
  for (const QNetworkInterface& nif : QNetworkInterface::allInterfaces()) {
    if (!(nif.flags() & QNetworkInterface::IsRunning) ||
        (nif.flags() & QNetworkInterface::IsLoopBack))
      continue;
    for (const QNetworkAddressEntry& entry : nif.addressEntries())
      if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol)
        return entry.ip().toString().toStdString();
  }
  return "0.0.0.0";
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Ostrel Stream");
  // The main window's close ends the program, whatever other window is still open.
  QApplication::setQuitOnLastWindowClosed(false);

  TSystemEnv env;
  TSystemClock clock;
  TPaths paths(env);
  TDebugLog log(clock, [&paths] { return paths.tempFolder(); });
  installDebugLog(&log);
  TQtDialogs dialogs;
  TSessionEndWatcher sessionEnd;

  int status = 0;
  {
    TForm7 form7({log, dialogs, env, clock, [] { return firstInterfaceAddress(); }});
    dialogs.setParent(&form7);
    QObject::connect(&sessionEnd, &TSessionEndWatcher::endRequested, &form7,
                     &TForm7::WMQueryEndSession);
    TForm2 form2;
    TForm1 form1;
    TForm3 form3(log);
    TForm4 form4;
    form7.attachDebugWindow(&form3);
    log.setOnDisplayedEntry([&form3] {
      QMetaObject::invokeMethod(&form3, &TForm3::refreshFromLog, Qt::QueuedConnection);
    });
    if (!form7.terminationRequested()) {
      form7.show();
      status = QApplication::exec();
    }
    log.setOnDisplayedEntry(nullptr);
  }
  installDebugLog(nullptr);
  return status;
}
