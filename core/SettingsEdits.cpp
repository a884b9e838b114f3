#include "core/SettingsEdits.h"

#include <algorithm>

#include "base/Text.h"

namespace {

std::string withoutChars(std::string text, const std::string& chars) {
  text.erase(std::remove_if(text.begin(), text.end(),
                            [&](char c) { return chars.find(c) != std::string::npos; }),
             text.end());
  return text;
}

bool containsIgnoringCase(const std::vector<std::string>& list, const std::string& text) {
  const std::string wanted = lowerAscii(text);
  return std::any_of(list.begin(), list.end(),
                     [&](const std::string& item) { return lowerAscii(item) == wanted; });
}

bool needsQuotes(const std::string& identity) {
  return std::any_of(identity.begin(), identity.end(), [](char c) {
    return static_cast<unsigned char>(c) <= 32 || c == '"' || c == ';';
  });
}

}  // namespace

TNormalisedAddresses normaliseAddresses(const std::string& fieldText,
                                        const std::string& favourite) {
  // The field may hold Windows or Unix line breaks; neither belongs in an address.
  const std::string flat = withoutChars(fieldText, "\r\n ");
  std::vector<std::string> kept;
  for (const std::string& entry : splitFields(flat, ';'))
    if (splitFields(entry, '.').size() == 4 && !trimText(entry).empty())
      kept.push_back(trimText(entry));

  TNormalisedAddresses result;
  result.entries = kept;
  result.text = trimText(joinFields(kept, ';'));
  const auto found = std::find(kept.begin(), kept.end(), favourite);
  result.favouriteIndex = found == kept.end() ? 0 : static_cast<int>(found - kept.begin());
  return result;
}

std::vector<std::string> mergeDetectedAddresses(const std::string& storedAddresses,
                                                const std::string& detectedText) {
  std::vector<std::string> merged = splitFields(storedAddresses, ';');
  for (const std::string& detected : splitFields(detectedText, ';'))
    if (!containsIgnoringCase(merged, detected)) merged.push_back(detected);
  merged.erase(std::remove(merged.begin(), merged.end(), std::string()), merged.end());
  return merged;
}

bool isStrikeCodeValid(const std::string& code) {
  return std::all_of(code.begin(), code.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string joinCallingList(const std::vector<std::string>& identities) {
  if (identities.size() == 1 && identities.front().empty()) return "\"\"";
  std::string out;
  for (std::size_t i = 0; i < identities.size(); ++i) {
    if (i > 0) out += ';';
    const std::string& identity = identities[i];
    if (!needsQuotes(identity)) {
      out += identity;
      continue;
    }
    out += '"';
    for (char c : identity) {
      if (c == '"') out += '"';
      out += c;
    }
    out += '"';
  }
  return out;
}

std::vector<std::string> splitCallingList(const std::string& stored) {
  std::vector<std::string> identities;
  std::string current;
  bool quoted = false;
  for (std::size_t i = 0; i < stored.size(); ++i) {
    const char c = stored[i];
    if (quoted) {
      if (c == '"' && i + 1 < stored.size() && stored[i + 1] == '"') {
        current += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        current += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ';') {
      identities.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  identities.push_back(current);
  return identities;
}

std::optional<std::string> callingIdentityToAdd(const std::string& typed,
                                                const std::vector<std::string>& list) {
  if (typed.empty()) return std::nullopt;
  std::string identity = withoutChars(typed, ";");
  if (containsIgnoringCase(list, identity)) return std::nullopt;
  return identity;
}

int languageIndex(const std::string& code) {
  static const std::vector<std::string> codes = {"FR", "EN", "DE", "ES", "PT"};
  const auto found = std::find(codes.begin(), codes.end(), code);
  return found == codes.end() ? 0 : static_cast<int>(found - codes.begin());
}

std::string languageCode(const std::string& entryText) {
  if (entryText == "English") return "EN";
  if (entryText == "Deutsch") return "DE";
  if (entryText == "Espa\xF1ol") return "ES";
  if (entryText == "Portugu\xEAs") return "PT";
  return "FR";
}

const std::vector<std::string>& languageEntries() {
  static const std::vector<std::string> entries = {
      "Fran\xE7"
      "ais",
      "English"};
  return entries;
}

std::vector<std::string> interfaceChoices(const std::optional<TIfTable>& table) {
  std::vector<std::string> choices;
  if (!table) return choices;
  for (const TIpAddrRow& row : table->addresses) {
    if (row.address.empty() || startsWith(row.address, "127.")) continue;
    if (std::find(choices.begin(), choices.end(), row.address) == choices.end())
      choices.push_back(row.address);
  }
  return choices;
}
