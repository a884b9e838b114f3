#pragma once

// Test doubles of the platform seams: a clock moved by hand, a fixed environment, a fixed
// interface table, and dialogs that record what the user would have been shown.
#include <chrono>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/Env.h"
#include "platform/NetInterfaces.h"

// A clock the test moves by hand.
class TFakeClock final : public IClock {
 public:
  std::chrono::steady_clock::time_point steady{};
  TLocalTime local{2026, 6, 15, 12, 0, 0};
  std::chrono::steady_clock::time_point steadyNow() const override { return steady; }
  TLocalTime localNow() const override { return local; }
  void advance(std::chrono::steady_clock::duration by) { steady += by; }
};

// A fixed environment for tests.
class TFakeEnv final : public IEnv {
 public:
  std::map<std::string, std::string> values;
  std::optional<std::string> get(const std::string& name) const override {
    auto it = values.find(name);
    if (it == values.end()) return std::nullopt;
    return it->second;
  }
};

// A row of a fake interface table, up and running unless told otherwise.
inline TIfRow fakeIfRow(std::uint32_t index, std::uint32_t type, std::uint32_t admin = IfAdminUp,
                        std::uint32_t oper = IfOperUp) {
  TIfRow row;
  row.index = index;
  row.type = type;
  row.adminStatus = admin;
  row.operStatus = oper;
  row.description = "if" + std::to_string(index);
  return row;
}

// A fixed answer for tests.
class TFakeNetInterfaces final : public INetInterfaces {
 public:
  std::optional<TIfTable> table;
  std::vector<std::string> ownNameAddresses;
  std::optional<TIfTable> readTable() const override { return table; }
  std::vector<std::string> resolveOwnName() const override { return ownNameAddresses; }
};

// Records every dialog and answers from a queue (Ok/Yes when the queue is empty).
class TRecordingDialogs : public IDialogs {
 public:
  struct TShown {
    std::string text;
    EDialogIcon icon;
    EDialogButtons buttons;
  };
  std::vector<TShown> shown;
  std::deque<EDialogResult> answers;
  struct TInput {
    std::string title, prompt, initial;
  };
  // Answers to input boxes, in order; nothing (or an empty queue) cancels the box.
  std::deque<std::optional<std::string>> typed;
  std::vector<TInput> inputs;

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
  std::optional<std::string> inputBox(const std::string& title, const std::string& prompt,
                                      const std::string& initial) override {
    inputs.push_back({title, prompt, initial});
    if (typed.empty()) return std::nullopt;
    std::optional<std::string> r = typed.front();
    typed.pop_front();
    return r;
  }
};
