#include "ui/DebugWindow.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

#include "base/Text.h"

TDebugWindow::TDebugWindow(TDebugLog& log, QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      m_log(log),
      m_memo(new QPlainTextEdit(this)) {
  setWindowTitle("Debug");
  setFont(QFont("Tahoma", 8));
  setFixedSize(573, 281);
  m_memo->setGeometry(8, 8, 557, 265);
  m_memo->setReadOnly(true);
  m_memo->setFont(QFont("Tahoma", 8));
  m_memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  m_memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
}

void TDebugWindow::placeBeside(const QWidget& mainWindow) {
  move(mainWindow.x() + mainWindow.frameGeometry().width(), mainWindow.y());
}

void TDebugWindow::ShowDebug() {
  TDebugLog::TSlice slice = m_log.entriesFrom(m_endShown);
  // Lines the log has dropped from its front leave the window too.
  while (m_firstShown < slice.first && m_firstShown < m_endShown) {
    QTextCursor cursor(m_memo->document()->firstBlock());
    cursor.select(QTextCursor::BlockUnderCursor);
    cursor.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    ++m_firstShown;
  }
  if (m_endShown < slice.first) m_firstShown = m_endShown = slice.first;
  for (const std::string& line : slice.lines) {
    m_memo->appendPlainText(QString::fromStdString(cp1252ToUtf8(line)));
    ++m_endShown;
    // While the user has clicked into the text to select or copy, the view stays put.
    if (!m_memo->hasFocus())
      m_memo->verticalScrollBar()->setValue(m_memo->verticalScrollBar()->maximum());
  }
}

void TDebugWindow::refreshFromLog() {
  if (!m_log.display()) return;
  ShowDebug();
  if (!isVisible()) {
    show();
    raise();
  }
}
