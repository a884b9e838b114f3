#pragma once

#include <QTextEdit>
#include <QWidget>

// The notices window: the licence texts of what the program ships with.
class TNoticesWindow : public QWidget {
  Q_OBJECT
 public:
  explicit TNoticesWindow(QWidget* parent = nullptr);

 private:
  QTextEdit* m_text;
};
