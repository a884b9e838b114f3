#pragma once

#include <QTextEdit>
#include <QWidget>

// The notices window: the licence texts of what the program ships with.
class TForm4 : public QWidget {
  Q_OBJECT
 public:
  explicit TForm4(QWidget* parent = nullptr);

 private:
  QTextEdit* m_text;
};
