#include "ui/NoticesWindow.h"

#include <QFile>
#include <QShowEvent>
#include <QVBoxLayout>

#include "base/Text.h"
#include "core/AboutText.h"

// The licence texts are a resource of this static library: registered by hand, since nothing
// else in the program refers to it, and once.
static void registerLicences() { Q_INIT_RESOURCE(licences); }
static void initLicenceResources() {
  static const bool registered = (registerLicences(), true);
  (void)registered;
}

namespace {

// Each library the program links and ships, its licences, and the texts that say so: the
// Debian copyright file of the package it comes from, and the full licence texts it points to.
struct TNotice {
  const char* heading;
  std::initializer_list<const char*> files;
};

const TNotice kNotices[] = {
    {"Qt 6 (Core, Gui, Widgets, Network, Multimedia): GNU Lesser General Public License "
     "version 3",
     {"qt6-base-copyright", "qt6-multimedia-copyright", "LGPL-3", "GPL-3"}},
    {"libcurl: curl licence", {"curl-copyright"}},
    {"OpenSSL 3: Apache License 2.0", {"openssl-copyright", "Apache-2.0"}},
    {"libjpeg-turbo: IJG licence, BSD-3-Clause licence and zlib licence",
     {"libjpeg-turbo-copyright"}},
};

QString resourceText(const char* name) {
  QFile file(QString(":/licences/") + name);
  if (!file.open(QIODevice::ReadOnly)) return QString();
  return QString::fromUtf8(file.readAll());
}

}  // namespace

TNoticesWindow::TNoticesWindow(QWidget* parent)
    : QWidget(parent, Qt::Window), m_noticesText(new QPlainTextEdit(this)) {
  initLicenceResources();
  setWindowTitle("License");
  setFont(QFont("Tahoma", 8));
  setMinimumSize(320, 240);
  resize(635, 299);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(10, 10, 10, 10);
  layout->addWidget(m_noticesText);
  m_noticesText->setObjectName("noticesText");
  m_noticesText->setReadOnly(true);
  m_noticesText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  QPalette face = m_noticesText->palette();
  face.setColor(QPalette::Base, face.color(QPalette::Button));
  m_noticesText->setPalette(face);
}

void TNoticesWindow::open() {
  if (!isVisible()) show();
  raise();
  activateWindow();
}

QString TNoticesWindow::noticesText() {
  initLicenceResources();
  const QString rule(72, QChar('='));
  QString text = QString::fromStdString(cp1252ToUtf8(legalNoticeLine())) + "\n\n";
  for (const TNotice& notice : kNotices) {
    text += rule + "\n" + notice.heading + "\n" + rule + "\n\n";
    for (const char* file : notice.files) text += resourceText(file) + "\n";
  }
  return text;
}

void TNoticesWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (event->spontaneous()) return;
  // Replaced, not appended to.
  m_noticesText->setPlainText(noticesText());
  m_noticesText->moveCursor(QTextCursor::Start);
}
