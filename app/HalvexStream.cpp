// Program entry: the application object, the six windows in their order, the event loop.
#include <QApplication>

#include "TForm7.h"
#include "platform/SessionEnd.h"
#include "ui/QtDialogs.h"
#include "ui/TForm1.h"
#include "ui/TForm2.h"
#include "ui/TForm3.h"
#include "ui/TForm4.h"
#include "video/TForm5.h"

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
  TSystemNetInterfaces net;

  int status = 0;
  {
    TForm7 form7({log, dialogs, env, clock, net, TNotificationListener::DefaultPort, &sessionEnd});
    dialogs.setParent(&form7);
    TForm2 form2;
    TForm1 form1;
    TForm3 form3(log);
    TForm4 form4;
    TForm5 form5(form7.waitList(), &form7);
    form7.attachDebugWindow(&form3);
    form7.attachWaitListWindow(&form5);
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
