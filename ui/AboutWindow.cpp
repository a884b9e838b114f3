#include "ui/AboutWindow.h"

#include <QKeyEvent>
#include <QPushButton>

#include "core/Version.h"

TAboutWindow::TAboutWindow(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      m_version(new QLabel(this)),
      m_memo(new QPlainTextEdit(this)) {
  setWindowTitle("About");
  setFont(QFont("Tahoma", 8));
  setFixedSize(314, 331);
  auto* title = new QLabel("Ostrel Stream", this);
  title->setGeometry(8, 8, 298, 32);
  title->setStyleSheet("font: bold 25px 'Arial'; color: grey;");
  m_version->setText(QString::fromStdString("version " + FileVersionText()));
  m_version->setGeometry(109, 44, 197, 16);
  m_version->setAlignment(Qt::AlignRight);
  m_memo->setGeometry(7, 144, 298, 117);
  m_memo->setReadOnly(true);
  m_memo->setFrameShape(QFrame::NoFrame);
  auto* ok = new QPushButton("OK", this);
  ok->setGeometry(224, 298, 82, 25);
  connect(ok, &QPushButton::clicked, this, &QWidget::hide);
}

void TAboutWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    hide();
    return;
  }
  QWidget::keyPressEvent(event);
}
