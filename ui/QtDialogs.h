#pragma once

#include <QWidget>

#include "platform/Dialogs.h"

// The real dialogs: modal Qt message and input boxes titled with the application's title.
// Each message is also written to standard error, so that a message shown by a program started
// from a terminal or a service log can still be read there.
class TQtDialogs final : public IDialogs {
 public:
  explicit TQtDialogs(QWidget* parent = nullptr) : m_parent(parent) {}
  void setParent(QWidget* parent) { m_parent = parent; }
  EDialogResult message(const std::string& text, EDialogIcon icon, EDialogButtons buttons) override;
  std::optional<std::string> inputBox(const std::string& title, const std::string& prompt,
                                      const std::string& initial) override;

 private:
  QWidget* m_parent;
};
