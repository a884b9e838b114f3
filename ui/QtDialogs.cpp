#include "ui/QtDialogs.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <cstdio>

#include "base/Text.h"

namespace {

QString fromAnsi(const std::string& text) { return QString::fromStdString(cp1252ToUtf8(text)); }

}  // namespace

EDialogResult TQtDialogs::message(const std::string& text, EDialogIcon icon,
                                  EDialogButtons buttons) {
  std::fprintf(stderr, "%s\n", cp1252ToUtf8(text).c_str());
  std::fflush(stderr);
  QMessageBox box(m_parent);
  box.setWindowTitle(QApplication::applicationName());
  box.setText(fromAnsi(text));
  switch (icon) {
    case EDialogIcon::Information:
      box.setIcon(QMessageBox::Information);
      break;
    case EDialogIcon::Warning:
      box.setIcon(QMessageBox::Warning);
      break;
    case EDialogIcon::Error:
      box.setIcon(QMessageBox::Critical);
      break;
    case EDialogIcon::Question:
      box.setIcon(QMessageBox::Question);
      break;
    case EDialogIcon::None:
      box.setIcon(QMessageBox::NoIcon);
      break;
  }
  switch (buttons) {
    case EDialogButtons::Ok:
      box.setStandardButtons(QMessageBox::Ok);
      break;
    case EDialogButtons::YesNo:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      break;
    case EDialogButtons::YesNoCancel:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      break;
  }
  switch (box.exec()) {
    case QMessageBox::Yes:
      return EDialogResult::Yes;
    case QMessageBox::No:
      return EDialogResult::No;
    case QMessageBox::Cancel:
      return EDialogResult::Cancel;
    default:
      return buttons == EDialogButtons::Ok ? EDialogResult::Ok : EDialogResult::Cancel;
  }
}

std::optional<std::string> TQtDialogs::inputBox(const std::string& title, const std::string& prompt,
                                                const std::string& initial) {
  bool ok = false;
  QString value = QInputDialog::getText(m_parent, fromAnsi(title), fromAnsi(prompt),
                                        QLineEdit::Normal, fromAnsi(initial), &ok);
  if (!ok) return std::nullopt;
  return utf8ToCp1252(value.toStdString());
}
