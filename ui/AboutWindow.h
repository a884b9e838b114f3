#pragma once

#include <QLabel>
#include <QPlainTextEdit>
#include <QPoint>
#include <QPushButton>
#include <QSize>
#include <QWidget>

// The About window: created hidden at start, shown and hidden afterwards, never destroyed
// before exit. Its text is put in again at every showing, in the language of the moment.
// UI thread only.
class TAboutWindow : public QWidget {
  Q_OBJECT
 public:
  static constexpr int ClientWidth = 314;
  static constexpr int ClientHeight = 331;

  explicit TAboutWindow(QWidget* parent = nullptr);

  // Shows the window without blocking, or brings it to the front when it is already shown.
  void open();

  // Where the window opens on a screen of this size: (width - 320) / 2 and (height - 320) / 2,
  // each rounded to the nearest integer, halves to even.
  static QPoint placeOnScreen(QSize screen);

 signals:
  // The user asked for the notices (a click on the notices link).
  void noticesRequested();

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QLabel* m_artwork;
  QLabel* m_titleLabel;
  QLabel* m_versionLabel;
  QPlainTextEdit* m_contactText;
  QLabel* m_noticesLink;
  QPushButton* m_okButton;
};
