#include "TForm1.h"

TForm1::TForm1(QWidget* parent) : QWidget(parent, Qt::Window) {
  setWindowTitle("Settings");
  setFont(QFont("Tahoma", 8));
  setFixedSize(417, 321);
}
