#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/NetInterfaces.h"

// The small rules of the settings window that need no window: reading the address field, the
// calling identities, the strike code, the language list and the interface choices. Texts are
// Windows-1252.

// The address field as Apply stores it.
struct TNormalisedAddresses {
  std::string text;                  // entries joined with ";", no trailing ";"
  std::vector<std::string> entries;  // the favourite drop-down's entries, in order
  int favouriteIndex = 0;
};

// Line breaks and spaces are removed, then every entry that is not four "."-separated parts
// is dropped. The favourite is the entry equal to `favourite` (letter case counts); when none
// is, the first entry, so that a single address is also the favourite.
TNormalisedAddresses normaliseAddresses(const std::string& fieldText, const std::string& favourite);

// The stored addresses followed by each detected one not already among them (letter case
// ignored); empty entries are left out.
std::vector<std::string> mergeDetectedAddresses(const std::string& storedAddresses,
                                                const std::string& detectedText);

// Empty, or digits only.
bool isStrikeCodeValid(const std::string& code);

// The calling identities as stored: joined with ";", an identity holding a blank, a control
// character, a double quote or ";" enclosed in double quotes with inner quotes doubled.
std::string joinCallingList(const std::vector<std::string>& identities);

// The stored calling identities read back for the window: the inverse of joinCallingList, so
// that an identity shown and applied again is stored as it was.
std::vector<std::string> splitCallingList(const std::string& stored);

// What adding the typed identity puts into the list: its text without any ";", or nothing when
// the field is empty or the list already holds it (letter case ignored).
std::optional<std::string> callingIdentityToAdd(const std::string& typed,
                                                const std::vector<std::string>& list);

// The language drop-down: "FR" 0, "EN" 1, "DE" 2, "ES" 3, "PT" 4, anything else 0. Only the
// first two have an entry, so the three others select nothing.
int languageIndex(const std::string& code);
// The code of an entry's text; "FR" for anything not known (no selection included).
std::string languageCode(const std::string& entryText);
// The entries the drop-down offers.
const std::vector<std::string>& languageEntries();

// The host's IPv4 interface addresses a user can choose from: every address of the table that
// is not loop-back (127.0.0.0/8), once, in table order.
std::vector<std::string> interfaceChoices(const std::optional<TIfTable>& table);
