#pragma once

#include <QLabel>
#include <QPlainTextEdit>
#include <QWidget>

// The About window: created hidden at start, shown and hidden afterwards.
class TForm2 : public QWidget {
  Q_OBJECT
 public:
  explicit TForm2(QWidget* parent = nullptr);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QLabel* m_version;
  QPlainTextEdit* m_memo;
};
