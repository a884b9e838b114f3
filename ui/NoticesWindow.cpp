#include "ui/NoticesWindow.h"

#include <QVBoxLayout>

TNoticesWindow::TNoticesWindow(QWidget* parent)
    : QWidget(parent, Qt::Window), m_text(new QTextEdit(this)) {
  setWindowTitle("License");
  setFont(QFont("Tahoma", 8));
  setMinimumSize(320, 240);
  resize(635, 299);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(10, 10, 10, 10);
  layout->addWidget(m_text);
  m_text->setReadOnly(true);
}
