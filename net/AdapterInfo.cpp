#include "net/AdapterInfo.h"

#include <array>
#include <cstdio>
#include <map>
#include <utility>

#include "base/Text.h"
#include "core/DebugLog.h"

namespace {

// Four octets of a dotted IPv4 text; only plain decimal octets of up to three digits count.
std::array<unsigned, 4> octetsOf(const std::string& text) {
  if (splitFields(text, '.').size() != 4) throw EBadAddress("not an IPv4 address: " + text);
  std::array<unsigned, 4> octets{};
  for (int i = 0; i < 4; ++i) {
    const std::string field = extractField(text, '.', i);
    if (field.empty() || field.size() > 3) throw EBadAddress("not an IPv4 address: " + text);
    unsigned value = 0;
    for (char c : field) {
      if (c < '0' || c > '9') throw EBadAddress("not an IPv4 address: " + text);
      value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > 255) throw EBadAddress("not an IPv4 address: " + text);
    octets[static_cast<std::size_t>(i)] = value;
  }
  return octets;
}

bool isUsableAddress(const std::string& address) {
  try {
    auto octets = octetsOf(address);
    return octets[0] != 127 && octets != std::array<unsigned, 4>{0, 0, 0, 0};
  } catch (const EBadAddress&) {
    return false;
  }
}

// The host's own address when its name gives none: the first operational interface that is not
// the loop-back one, and its first address.
std::string firstInterfaceAddress(const INetInterfaces& net) {
  const auto table = net.readTable();
  if (!table) return {};
  for (const TIfRow& row : table->interfaces) {
    if (row.operStatus < IfOperUp || row.type == NetIfType::Loopback) continue;
    for (const TIpAddrRow& address : table->addresses)
      if (address.index == row.index && isUsableAddress(address.address)) return address.address;
  }
  return {};
}

std::string indexKey(std::uint32_t index) {
  std::array<char, 16> key{};
  std::snprintf(key.data(), key.size(), "0x%8.8x", index);
  return key.data();
}

}  // namespace

std::string getHostIP(const INetInterfaces& net) {
  for (const std::string& address : net.resolveOwnName())
    if (isUsableAddress(address)) return address;
  std::string fallback = firstInterfaceAddress(net);
  return fallback.empty() ? "0.0.0.0" : fallback;
}

TAdapterTables fetchAdapters(const INetInterfaces& net) {
  TAdapterTables result;
  const auto table = net.readTable();
  if (!table || table->interfaces.empty() || table->addresses.empty()) return result;

  try {
    // The first address and mask of each interface, by the interface's key.
    std::map<std::string, std::pair<std::string, std::string>> firstAddress;
    for (const TIpAddrRow& row : table->addresses) {
      firstAddress.try_emplace(indexKey(row.index), row.address, row.mask);
      zRealAddressesList record;
      record.Index = row.index;
      record.Address = row.address;
      record.Mask = row.mask;
      record.Broadcast = broadcastOf(row.address, row.mask);
      result.addresses.push_back(std::move(record));
    }
    for (const TIfRow& row : table->interfaces) {
      TAdapterInfo info;
      info.Index = row.index;
      info.Type = row.type;
      info.Mtu = row.mtu;
      info.Speed = row.speed;
      info.PhysAddress = row.physAddress;
      info.AdminStatus = row.adminStatus;
      info.OperStatus = row.operStatus;
      info.Counters = row.counters;
      info.Description = row.description.substr(0, row.description.find('\0')).substr(0, 256);
      if (auto found = firstAddress.find(indexKey(row.index)); found != firstAddress.end()) {
        info.Address = found->second.first;
        info.Mask = found->second.second;
      }
      for (zRealAddressesList& record : result.addresses)
        if (record.Index == row.index) record.State = adminStatusName(row.adminStatus);
      result.adapters.push_back(std::move(info));
    }
  } catch (const std::exception&) {
    return TAdapterTables{};
  }
  result.ok = true;
  return result;
}

std::string broadcastOf(const std::string& address, const std::string& mask) {
  const auto a = octetsOf(address);
  const auto m = octetsOf(mask);
  std::string out;
  for (std::size_t i = 0; i < 4; ++i) {
    if (i > 0) out += '.';
    out += std::to_string(a[i] | (~m[i] & 0xFFu));
  }
  return out;
}

std::string adminStatusName(std::uint32_t code) {
  switch (code) {
    case 1:
      return "UP";
    case 2:
      return "DOWN";
    case 3:
      return "TESTING";
    default:
      return "UNKNOWN";
  }
}

std::string extractField(const std::string& text, char delimiter, int n) {
  const auto fields = splitFields(text, delimiter);
  if (n < 0 || static_cast<std::size_t>(n) >= fields.size())
    throw EFieldMissing("no field " + std::to_string(n) + " in \"" + text + "\"");
  return fields[static_cast<std::size_t>(n)];
}

void runInterfaceInventory(const INetInterfaces& net, TNetworkState& state) {
  state.InterfaceAddresses.clear();
  state.BroadcastAddresses.clear();
  state.DownInterfaces.clear();
  state.MultipleInterfaces = false;

  debugLog("Starting network adapters info fetching....");
  // Built aside and handed over only when the whole pass went through, so that a failure
  // half-way leaves the lists empty rather than half filled.
  TNetworkState found;
  try {
    const TAdapterTables tables = fetchAdapters(net);
    if (!tables.ok) {
      debugLog("\r\n*** Error retrieving adapter information");
      return;
    }
    for (const TAdapterInfo& adapter : tables.adapters) {
      if (adapter.OperStatus < 1 || adapter.Address.empty() || adapter.Mask.empty()) continue;
      debugLog("****************");
      for (const zRealAddressesList& record : tables.addresses) {
        if (record.Index != adapter.Index || record.Address.empty() || record.Mask.empty())
          continue;
        debugLog("addr:" + record.Address);
        debugLog("mask:" + record.Mask);
        debugLog("cast:" + record.Broadcast);
        debugLog("etat:" + record.State);
        if (record.State == "DOWN") found.DownInterfaces.push_back(record.Address);
        // Compared before the loop-back address is left out, so an operational loop-back
        // interface counts as one more interface.
        if (record.Address != state.HostIP) {
          debugLog("Warning, multiple interfaces may cause trouble.");
          found.MultipleInterfaces = true;
        }
        if (record.Address != "127.0.0.1") {
          found.BroadcastAddresses.push_back(record.Broadcast);
          found.InterfaceAddresses.push_back(record.Address);
        }
      }
    }
  } catch (const std::exception& e) {
    debugLog(e.what());
    return;
  }
  state.InterfaceAddresses = std::move(found.InterfaceAddresses);
  state.BroadcastAddresses = std::move(found.BroadcastAddresses);
  state.DownInterfaces = std::move(found.DownInterfaces);
  state.MultipleInterfaces = found.MultipleInterfaces;
}
