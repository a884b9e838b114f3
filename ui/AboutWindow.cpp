#include "ui/AboutWindow.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <cmath>

#include "base/Text.h"
#include "core/AboutText.h"
#include "core/Version.h"
#include "ui/AboutArtwork.h"

namespace {

QString ansi(const std::string& text) { return QString::fromStdString(cp1252ToUtf8(text)); }

// What the notices link names: the libraries shipped with the program and their licences.
const char* const kLicenceLines[] = {
    "Qt 6: GNU LGPL 3, libcurl: curl licence",
    "OpenSSL 3: Apache License 2.0",
    "libjpeg-turbo: IJG, BSD-3-Clause, zlib",
};

// The title keeps its place and size unless the name would run off the window.
void fitTitle(QLabel* title, int room) {
  QFont font("Arial");
  font.setBold(true);
  for (int pixels = 25; pixels > 12; --pixels) {
    font.setPixelSize(pixels);
    if (QFontMetrics(font).horizontalAdvance(title->text()) <= room) break;
  }
  title->setFont(font);
}

}  // namespace

TAboutWindow::TAboutWindow(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      m_artwork(new QLabel(this)),
      m_titleLabel(new QLabel("Ostrel Stream", this)),
      m_versionLabel(new QLabel(this)),
      m_contactText(new QPlainTextEdit(this)),
      m_noticesLink(new QLabel(this)),
      m_okButton(new QPushButton("OK", this)) {
  setWindowTitle("About");
  setFont(QFont("Tahoma", 8));
  setFixedSize(ClientWidth, ClientHeight);

  m_artwork->setObjectName("artwork");
  m_artwork->setGeometry(0, 0, ClientWidth, ClientHeight);
  m_artwork->setPixmap(drawAboutArtwork(size()));

  m_titleLabel->setObjectName("titleLabel");
  m_titleLabel->setGeometry(147, 8, ClientWidth - 147 - 4, 32);
  m_titleLabel->setStyleSheet("color: grey;");
  fitTitle(m_titleLabel, m_titleLabel->width());

  m_versionLabel->setObjectName("versionLabel");
  m_versionLabel->setText(QString::fromStdString("version " + FileVersionText()));
  m_versionLabel->setGeometry(209, 44, ClientWidth - 8 - 209, 16);
  m_versionLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

  m_contactText->setObjectName("contactText");
  m_contactText->setGeometry(7, 144, 298, 117);
  m_contactText->setReadOnly(true);
  m_contactText->setFrameShape(QFrame::NoFrame);
  QPalette face = m_contactText->palette();
  face.setColor(QPalette::Base, face.color(QPalette::Window));
  m_contactText->setPalette(face);

  // One link over all its lines: a click anywhere on it, or Return once it has the focus.
  QString lines = ansi(legalNoticeLine()).toHtmlEscaped();
  for (const char* line : kLicenceLines) lines += "<br>" + QString(line).toHtmlEscaped();
  m_noticesLink->setObjectName("noticesLink");
  m_noticesLink->setText("<a href=\"notices\" style=\"color:#1d4f86; text-decoration:none\">" +
                         lines + "</a>");
  m_noticesLink->setTextFormat(Qt::RichText);
  m_noticesLink->setTextInteractionFlags(Qt::LinksAccessibleByMouse |
                                         Qt::LinksAccessibleByKeyboard);
  m_noticesLink->setCursor(Qt::PointingHandCursor);
  m_noticesLink->setGeometry(8, 271, 214, 56);
  m_noticesLink->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  m_noticesLink->setAccessibleName("License");
  connect(m_noticesLink, &QLabel::linkActivated, this, &TAboutWindow::noticesRequested);

  m_okButton->setObjectName("okButton");
  m_okButton->setGeometry(224, 298, 82, 25);
  m_okButton->setDefault(true);
  connect(m_okButton, &QPushButton::clicked, this, &QWidget::hide);

  setTabOrder(m_contactText, m_noticesLink);
  setTabOrder(m_noticesLink, m_okButton);
}

void TAboutWindow::open() {
  if (!isVisible()) show();
  raise();
  activateWindow();
}

QPoint TAboutWindow::placeOnScreen(QSize screen) {
  // nearbyint follows the default rounding mode, to nearest with halves to even.
  return QPoint(static_cast<int>(std::nearbyint((screen.width() - 320) / 2.0)),
                static_cast<int>(std::nearbyint((screen.height() - 320) / 2.0)));
}

void TAboutWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // Placed and filled when the program shows it, not when the window manager gives it back.
  if (event->spontaneous()) return;
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->geometry();
    move(area.topLeft() + placeOnScreen(area.size()));
  }
  // Replaced, not appended to: shown twice, the text is there once.
  m_contactText->setPlainText(ansi(aboutText()).replace("\r\n", "\n"));
  m_okButton->setFocus();
}

void TAboutWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    hide();
    return;
  }
  QWidget::keyPressEvent(event);
}
