#pragma once

#include <functional>
#include <optional>
#include <string>

#include "net/AdapterInfo.h"
#include "platform/Dialogs.h"
#include "platform/NetInterfaces.h"

// The two start-up decisions about the network. UI thread only; the dialogs are modal.

// False for the addresses that mean the host has no network: "127.0.0.1" and "0.0.0.0".
bool isUsableHostIP(const std::string& hostIP);

// Sets state.HostIP from getHostIP. When it is not usable, calls releaseTimers, shows the error
// box "Ostrel Stream: Network error" and returns false: the caller then ends the program and
// starts nothing else. Returns true otherwise; the caller starts the discovery and watchdog timers.
bool hostAddressCheck(const INetInterfaces& net, TNetworkState& state, IDialogs& dialogs,
                      const std::function<void()>& releaseTimers);

enum class EInterfaceCheck {
  Unchanged,             // nothing selected and a single interface
  Narrowed,              // the selected interface is usable: the lists hold it alone
  InterfaceUnavailable,  // the selected interface is down or unknown: timers released
  MultipleInterfaces,    // nothing selected and several interfaces: timers released
};

// The check after the settings and the texts of the chosen language are loaded.
// interfaceSelected is the setting of that name. A usable selection narrows
// InterfaceAddresses and BroadcastAddresses to it and makes it HostIP. A selection that is down
// or not listed, or no selection with MultipleInterfaces set, calls releaseTimers (the four
// timers stay off for the rest of the run) and then shows msgInterfaceUnavailable (warning
// box) or msgMultipleInterfaces (plain box) from UiTexts.
EInterfaceCheck interfaceCheck(const std::string& interfaceSelected, TNetworkState& state,
                               IDialogs& dialogs, const std::function<void()>& releaseTimers);

// The first start's choice, when no interface is selected yet: the host's one usable interface
// (listed, not down, not loop-back 127.0.0.0/8, counted once), or nothing when there is none or
// several.
std::optional<std::string> soleInterface(const TNetworkState& state);
