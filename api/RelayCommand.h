#pragma once

#include <functional>
#include <string>
#include <vector>

#include "api/ApiRequest.h"
#include "core/AppSettings.h"
#include "core/UiTexts.h"

class IDialogs;
class TApiWorker;

// A flat JSON object: {"k1":"v1","k2":"v2"} with keys and values inserted unchanged, without
// escaping and without white space. The lists have equal lengths.
std::string buildJsonObject(const std::vector<std::string>& keys,
                            const std::vector<std::string>& values);

// Shown in every language when there is nowhere to send the command (Windows-1252).
inline constexpr const char* kNoStoredAddress =
    "Aucune adresse de pr\xE9"
    "dilection n'est enregistr\xE9"
    "e.";

// What a relay click leads to, decided from a copy of the settings taken at the click.
struct TRelayPlan {
  enum class EKind { Send, NoAddress, NoPriorityAddress };
  EKind kind = EKind::Send;
  std::string message;  // the warning to show when nothing is sent
  TApiRequest request;  // the "remote" command, when sent
};

// The target is the watched panel while a stream is wanted, else the entry `priority` of
// `platines`. Nothing is sent when no address is stored, nor when `priority` designates no
// entry (or an empty one).
TRelayPlan planRelay(const TAppSettings& settings, bool tlsAvailable, bool streamWanted,
                     const std::string& watchedAddress, const TUiTexts& texts);

// What the relay button shows.
enum class ERelayState { Busy, Success, Failure };
struct TRelayOutcome {
  ERelayState state = ERelayState::Busy;
  std::string detail;  // Success: the panel's answer; Failure: the status line or the error
};
// How long the button shows a success or a failure before it is plain again.
inline constexpr int kRelayOutcomeShownMs = 3000;

// Success only for a final 2xx answer; anything else is a failure with its reason.
TRelayOutcome relayOutcome(const TApiResult& result);

// The relay button's logic. Clicks while a command runs are queued on the worker and run in
// turn; the button stays busy until the last one has answered, whose outcome it then shows.
// Called on the UI thread only. Shut the worker down before destroying this object: a result
// still queued for it would otherwise arrive here.
class TRelayCommand {
 public:
  TRelayCommand(TApiWorker& worker, IDialogs& dialogs);

  // Called with Busy when a command goes out, then with each command's outcome.
  void setOnOutcome(std::function<void(const TRelayOutcome&)> onOutcome);

  // One click: shows the warning when there is no target (the click handler is no socket or
  // timer handler, so the box may open here), else queues the command.
  void click(const TAppSettings& settings, bool tlsAvailable, bool streamWanted,
             const std::string& watchedAddress, const TUiTexts& texts);

  int pending() const { return m_pending; }

 private:
  void onResult(const TApiResult& result);

  TApiWorker& m_worker;
  IDialogs& m_dialogs;
  std::function<void(const TRelayOutcome&)> m_onOutcome;
  int m_pending = 0;
};
