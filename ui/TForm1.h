#pragma once

#include <QWidget>

// The settings window. Created hidden at start.
class TForm1 : public QWidget {
  Q_OBJECT
 public:
  explicit TForm1(QWidget* parent = nullptr);
};
