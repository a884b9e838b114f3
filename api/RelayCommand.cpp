#include "api/RelayCommand.h"

#include "api/ApiWorker.h"
#include "base/LogSink.h"
#include "base/Text.h"
#include "base/Vigenere.h"
#include "platform/Dialogs.h"

std::string buildJsonObject(const std::vector<std::string>& keys,
                            const std::vector<std::string>& values) {
  std::string out = "{";
  for (std::size_t i = 0; i < keys.size() && i < values.size(); ++i) {
    if (i > 0) out += ',';
    out += "\"" + keys[i] + "\":\"" + values[i] + "\"";
  }
  out += "}";
  return out;
}

TRelayPlan planRelay(const TAppSettings& settings, bool tlsAvailable, bool streamWanted,
                     const std::string& watchedAddress, const TUiTexts& texts) {
  TRelayPlan plan;
  std::vector<std::string> entries = splitFields(settings.platines, ';');
  if (!streamWanted && settings.platines.empty()) {
    plan.kind = TRelayPlan::EKind::NoAddress;
    plan.message = kNoStoredAddress;
    return plan;
  }
  std::string target;
  if (streamWanted) {
    target = watchedAddress;
  } else if (settings.priority >= 0 &&
             static_cast<std::size_t>(settings.priority) < entries.size()) {
    target = entries[static_cast<std::size_t>(settings.priority)];
  }
  if (target.empty()) {
    plan.kind = TRelayPlan::EKind::NoPriorityAddress;
    plan.message = texts.msgNoPriorityAddress;
    debugLog("Relay: no panel at priority " + std::to_string(settings.priority) + ", nothing sent");
    return plan;
  }
  plan.request.address = target;
  plan.request.command = "remote";
  plan.request.payload = buildJsonObject({"code"}, {decipherString(settings.codeGache)});
  plan.request.settings = TApiSettings::from(settings, tlsAvailable);
  return plan;
}

TRelayOutcome relayOutcome(const TApiResult& result) {
  if (result.ok) return {ERelayState::Success, result.response};
  std::string reason = !result.error.empty() ? result.error : "not sent";
  return {ERelayState::Failure, reason};
}

TRelayCommand::TRelayCommand(TApiWorker& worker, IDialogs& dialogs)
    : m_worker(worker), m_dialogs(dialogs) {}

void TRelayCommand::setOnOutcome(std::function<void(const TRelayOutcome&)> onOutcome) {
  m_onOutcome = std::move(onOutcome);
}

void TRelayCommand::click(const TAppSettings& settings, bool tlsAvailable, bool streamWanted,
                          const std::string& watchedAddress, const TUiTexts& texts) {
  TRelayPlan plan = planRelay(settings, tlsAvailable, streamWanted, watchedAddress, texts);
  if (plan.kind != TRelayPlan::EKind::Send) {
    m_dialogs.message(plan.message, EDialogIcon::Warning);
    return;
  }
  ++m_pending;
  if (m_onOutcome) m_onOutcome({ERelayState::Busy, {}});
  m_worker.request(std::move(plan.request), [this](const TApiResult& r) { onResult(r); });
}

void TRelayCommand::onResult(const TApiResult& result) {
  if (!result.response.empty()) debugLog(result.response);
  if (m_pending > 0) --m_pending;
  if (m_pending > 0) return;  // a later click is still on its way: stay busy
  if (m_onOutcome) m_onOutcome(relayOutcome(result));
}
