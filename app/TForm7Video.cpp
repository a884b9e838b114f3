// The main window as the video parts see it: the caption, the picture, the controls around
// it, full screen, always on top and bringing the window to the user.
#include <QApplication>
#include <QScreen>

#include "TForm7.h"
#include "core/Text.h"

namespace {

QString ansi(const std::string& text) { return QString::fromStdString(cp1252ToUtf8(text)); }

}  // namespace

QWidget* TForm7::control(EVideoControl which) const {
  switch (which) {
    case EVideoControl::Label1:
      return Label1;
    case EVideoControl::Image1:
      return Image1;
    case EVideoControl::Image3:
      return Image3;
    case EVideoControl::Image6:
      return Image6;
    case EVideoControl::SpeedButton1:
      return SpeedButton1;
    case EVideoControl::SpeedButton2:
      return SpeedButton2;
    case EVideoControl::SpeedButton3:
      return SpeedButton3;
    case EVideoControl::SpeedButton4:
      return SpeedButton4;
    case EVideoControl::SpeedButton5:
      return SpeedButton5;
    case EVideoControl::SpeedButton6:
      return SpeedButton6;
    case EVideoControl::SpeedButton7:
      return SpeedButton7;
    case EVideoControl::pbLevel:
      return pbLevel;
  }
  return nullptr;
}

void TForm7::setCaption(const std::string& text) {
  Label1->setText(ansi(text));
  Label1->adjustSize();
}

void TForm7::setControlVisible(EVideoControl which, bool visible) {
  control(which)->setVisible(visible);
  // The caption sits over the video.
  if (which == EVideoControl::Label1 && visible) Label1->raise();
}

void TForm7::setControlEnabled(EVideoControl which, bool enabled) {
  control(which)->setEnabled(enabled);
}

void TForm7::setPicture(TBytes jpeg) { Image1->setPicture(std::move(jpeg)); }

TWindowPos TForm7::windowPosition() const { return {x(), y()}; }

void TForm7::showFullScreenGeometry() {
  setMinimumSize(0, 0);
  setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  setWindowFlag(Qt::FramelessWindowHint, true);
  QRect screenArea = screen() != nullptr ? screen()->geometry() : QRect(0, 0, 1024, 768);
  setGeometry(0, 0, screenArea.width(), screenArea.height());
  show();
  QSize client = centralWidget()->size();
  Image2->setGeometry(0, 0, client.width(), client.height());
  Image1->setGeometry(0, 0, client.width(), client.height());
  Label1->raise();
}

void TForm7::showNormalGeometry(TWindowPos position) {
  setWindowFlag(Qt::FramelessWindowHint, false);
  setFixedSize(435, 380);
  Image2->setGeometry(0, 8, width(), 258);
  Image1->setGeometry(9, 8, 402, 258);
  show();
  move(position.left, position.top);
  Label1->raise();
}

void TForm7::setTopmost(bool on) {
  bool visible = isVisible();
  QPoint position = pos();
  setWindowFlag(Qt::WindowStaysOnTopHint, on);
  // Changing a window flag hides the window; put it back as it was, where it was.
  if (visible) {
    show();
    move(position);
  }
  Image3->setPixmap(on ? m_pinOn : m_pinOff);
}

// The live audio connection is not part of the program yet.
bool TForm7::audioConnectionActive() const { return false; }

std::string TForm7::windowCaption() const { return utf8ToCp1252(windowTitle().toStdString()); }

void TForm7::restoreApplication() {
  if (isMinimized()) showNormal();
}

namespace {

QWidget* findTopLevel(const std::string& caption) {
  QString wanted = ansi(caption);
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (widget->isWindow() && widget->windowTitle() == wanted) return widget;
  return nullptr;
}

}  // namespace

IVideoWindow::ETopLevel TForm7::topLevelWindow(const std::string& caption) const {
  QWidget* widget = findTopLevel(caption);
  if (widget == nullptr) return ETopLevel::Missing;
  return widget->isMinimized() ? ETopLevel::Minimised : ETopLevel::Shown;
}

void TForm7::restoreTopLevel(const std::string& caption) {
  if (QWidget* widget = findTopLevel(caption)) widget->showNormal();
}

void TForm7::bringToFront(const std::string& caption) {
  if (QWidget* widget = findTopLevel(caption)) {
    widget->raise();
    widget->activateWindow();
  }
}
