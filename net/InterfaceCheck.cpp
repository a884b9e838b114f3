#include "net/InterfaceCheck.h"

#include <algorithm>

#include "core/UiTexts.h"

namespace {

bool contains(const std::vector<std::string>& list, const std::string& text) {
  return std::find(list.begin(), list.end(), text) != list.end();
}

}  // namespace

bool isUsableHostIP(const std::string& hostIP) {
  return hostIP != "127.0.0.1" && hostIP != "0.0.0.0";
}

bool hostAddressCheck(const INetInterfaces& net, TNetworkState& state, IDialogs& dialogs,
                      const std::function<void()>& releaseTimers) {
  state.HostIP = getHostIP(net);
  if (isUsableHostIP(state.HostIP)) return true;
  if (releaseTimers) releaseTimers();
  dialogs.message("Ostrel Stream: Network error", EDialogIcon::Error, EDialogButtons::Ok);
  return false;
}

EInterfaceCheck interfaceCheck(const std::string& interfaceSelected, TNetworkState& state,
                               IDialogs& dialogs, const std::function<void()>& releaseTimers) {
  if (!interfaceSelected.empty()) {
    if (contains(state.DownInterfaces, interfaceSelected) ||
        !contains(state.InterfaceAddresses, interfaceSelected)) {
      if (releaseTimers) releaseTimers();
      dialogs.message(UiTexts.msgInterfaceUnavailable, EDialogIcon::Warning, EDialogButtons::Ok);
      return EInterfaceCheck::InterfaceUnavailable;
    }
    // The same address may be listed twice; the last one's broadcast address is kept.
    std::string broadcast;
    const std::size_t pairs =
        std::min(state.InterfaceAddresses.size(), state.BroadcastAddresses.size());
    for (std::size_t i = 0; i < pairs; ++i)
      if (state.InterfaceAddresses[i] == interfaceSelected) broadcast = state.BroadcastAddresses[i];
    state.InterfaceAddresses.assign(1, interfaceSelected);
    state.BroadcastAddresses.assign(1, broadcast);
    state.HostIP = interfaceSelected;
    return EInterfaceCheck::Narrowed;
  }
  if (state.MultipleInterfaces) {
    if (releaseTimers) releaseTimers();
    dialogs.message(UiTexts.msgMultipleInterfaces, EDialogIcon::None, EDialogButtons::Ok);
    return EInterfaceCheck::MultipleInterfaces;
  }
  return EInterfaceCheck::Unchanged;
}

std::optional<std::string> soleInterface(const TNetworkState& state) {
  std::optional<std::string> found;
  for (const std::string& address : state.InterfaceAddresses) {
    if (address.rfind("127.", 0) == 0 || contains(state.DownInterfaces, address)) continue;
    if (found && *found != address) return std::nullopt;
    found = address;
  }
  return found;
}
