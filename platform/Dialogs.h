#pragma once

#include <deque>
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
  // Returns the text in the field when confirmed, the initial text when cancelled.
  virtual std::string inputBox(const std::string& title, const std::string& prompt,
                               const std::string& initial) = 0;
};

// Records every dialog and answers from a queue (Ok/Yes when the queue is empty).
class TRecordingDialogs final : public IDialogs {
 public:
  struct TShown {
    std::string text;
    EDialogIcon icon;
    EDialogButtons buttons;
  };
  std::vector<TShown> shown;
  std::deque<EDialogResult> answers;
  std::deque<std::string> inputs;  // answers to input boxes; empty = cancelled
  std::vector<std::string> inputTitles;

  EDialogResult message(const std::string& text, EDialogIcon icon,
                        EDialogButtons buttons) override {
    shown.push_back({text, icon, buttons});
    if (!answers.empty()) {
      EDialogResult r = answers.front();
      answers.pop_front();
      return r;
    }
    return buttons == EDialogButtons::Ok ? EDialogResult::Ok : EDialogResult::Yes;
  }
  std::string inputBox(const std::string& title, const std::string& /*prompt*/,
                       const std::string& initial) override {
    inputTitles.push_back(title);
    if (inputs.empty()) return initial;
    std::string r = inputs.front();
    inputs.pop_front();
    return r;
  }
};
