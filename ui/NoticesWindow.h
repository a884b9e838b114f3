#pragma once

#include <QPlainTextEdit>
#include <QString>
#include <QWidget>

// The notices window: the legal notice line and, for every library the program ships with, its
// licence and its full text. Read-only; the text is put in again at every showing, so it is
// there once however often the window is shown. UI thread only.
class TNoticesWindow : public QWidget {
  Q_OBJECT
 public:
  explicit TNoticesWindow(QWidget* parent = nullptr);

  // Shows the window without blocking, or brings it to the front when it is already shown.
  void open();

  // The whole notice text, from the licence texts built into the program.
  static QString noticesText();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QPlainTextEdit* m_noticesText;
};
