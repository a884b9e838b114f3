#pragma once

#include <QLabel>
#include <QPlainTextEdit>
#include <QWidget>

// The About window: created hidden at start, shown and hidden afterwards.
class TAboutWindow : public QWidget {
  Q_OBJECT
 public:
  explicit TAboutWindow(QWidget* parent = nullptr);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QLabel* m_version;
  QPlainTextEdit* m_memo;
};
