#pragma once

#include <optional>
#include <string>
#include <vector>

enum class EDialogIcon { None, Information, Warning, Error, Question };
enum class EDialogButtons { Ok, YesNo, YesNoCancel };
enum class EDialogResult { Ok, Yes, No, Cancel };

// Every message box, question and input box goes through this one service, so that tests can
// read what the user would have been shown and answer it. Texts are Windows-1252.
// Called on the UI thread only; the calls are modal.
class IDialogs {
 public:
  virtual ~IDialogs() = default;
  virtual EDialogResult message(const std::string& text, EDialogIcon icon,
                                EDialogButtons buttons = EDialogButtons::Ok) = 0;
  // Returns the text in the field when confirmed, nothing when cancelled.
  virtual std::optional<std::string> inputBox(const std::string& title, const std::string& prompt,
                                              const std::string& initial) = 0;
};
