#include "ui/SettingsWindow.h"

TSettingsWindow::TSettingsWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setWindowTitle("Settings");
  setFont(QFont("Tahoma", 8));
  setFixedSize(417, 321);
}
