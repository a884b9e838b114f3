// The floor under the program's launch on this machine: a Qt Widgets program that shows a main
// window with a menu bar and listens on port 2201, and does nothing else. bench/startup.sh times
// it the way it times the program, so that what the machine charges any such program (loading
// Qt's libraries and plugins, the page faults behind them) stands apart from what the program
// adds.
#include <QApplication>
#include <QHostAddress>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QTcpServer>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QMainWindow window;
  window.menuBar()->addMenu(QStringLiteral("File"))->addAction(QStringLiteral("Quit"));
  window.setCentralWidget(new QLabel(QStringLiteral("floor")));
  window.resize(402, 300);
  window.show();
  QTcpServer listener;
  if (!listener.listen(QHostAddress::AnyIPv4, 2201)) return 1;
  return QApplication::exec();
}
