#include "platform/NetInterfaces.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_link.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netdb.h>
#include <netpacket/packet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

namespace {

std::string dotted(const sockaddr* address) {
  if (address == nullptr || address->sa_family != AF_INET) return "0.0.0.0";
  std::array<char, INET_ADDRSTRLEN> text{};
  const auto* in = reinterpret_cast<const sockaddr_in*>(address);
  if (::inet_ntop(AF_INET, &in->sin_addr, text.data(), text.size()) == nullptr) return "0.0.0.0";
  return text.data();
}

// An address label such as "eth0:1" belongs to the interface "eth0".
std::string baseName(const std::string& name) { return name.substr(0, name.find(':')); }

std::filesystem::path sysFile(const std::string& name, const char* leaf) {
  return std::filesystem::path("/sys/class/net") / name / leaf;
}

// A number from a /sys file; nothing when it is missing or unreadable (speed of a link that is
// down reads as an error).
std::optional<long long> readSysNumber(const std::string& name, const char* leaf) {
  std::ifstream in(sysFile(name, leaf));
  long long value = 0;
  if (!(in >> value)) return std::nullopt;
  return value;
}

std::uint32_t typeOfHardware(unsigned hardwareType, const std::string& name) {
  std::error_code ec;
  switch (hardwareType) {
    case ARPHRD_ETHER:
      return std::filesystem::exists(sysFile(name, "wireless"), ec) ? NetIfType::Wireless
                                                                    : NetIfType::Ethernet;
    case ARPHRD_LOOPBACK:
      return NetIfType::Loopback;
    case ARPHRD_PPP:
      return NetIfType::Ppp;
    case ARPHRD_TUNNEL:
    case ARPHRD_TUNNEL6:
    case ARPHRD_SIT:
    case ARPHRD_IPGRE:
    case ARPHRD_NONE:
      return NetIfType::Tunnel;
    default:
      return NetIfType::Other;
  }
}

std::string physAddressText(const unsigned char* bytes, std::size_t length) {
  // The loop-back device reports six zero bytes: no address, as far as anyone is concerned.
  if (std::all_of(bytes, bytes + length, [](unsigned char b) { return b == 0; })) return {};
  std::string text;
  for (std::size_t i = 0; i < length; ++i) {
    std::array<char, 4> part{};
    std::snprintf(part.data(), part.size(), "%02x", bytes[i]);
    if (i > 0) text += '-';
    text += part.data();
  }
  return text;
}

TIfCounters countersOf(const rtnl_link_stats& stats) {
  TIfCounters c;
  c.inNUcastPkts = stats.multicast;
  c.inUcastPkts = stats.rx_packets - std::min(stats.rx_packets, stats.multicast);
  c.inDiscards = stats.rx_dropped;
  c.inErrors = stats.rx_errors;
  c.outUcastPkts = stats.tx_packets;
  c.outDiscards = stats.tx_dropped;
  c.outErrors = stats.tx_errors;
  return c;
}

struct TIfaddrsDeleter {
  void operator()(ifaddrs* list) const { ::freeifaddrs(list); }
};

struct TAddrInfoDeleter {
  void operator()(addrinfo* list) const { ::freeaddrinfo(list); }
};

}  // namespace

std::optional<TIfTable> TSystemNetInterfaces::readTable() const {
  ifaddrs* raw = nullptr;
  if (::getifaddrs(&raw) != 0) return std::nullopt;
  std::unique_ptr<ifaddrs, TIfaddrsDeleter> list(raw);

  std::map<std::uint32_t, TIfRow> rows;
  std::vector<TIpAddrRow> addresses;
  for (const ifaddrs* entry = list.get(); entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_name == nullptr) continue;
    const std::string name = baseName(entry->ifa_name);
    const unsigned index = ::if_nametoindex(name.c_str());
    if (index == 0) continue;  // gone since the listing was taken

    TIfRow& row = rows[index];
    if (row.index == 0) {
      row.index = index;
      row.description = name.substr(0, 256);
      if (auto mtu = readSysNumber(name, "mtu"); mtu && *mtu > 0)
        row.mtu = static_cast<std::uint32_t>(*mtu);
      if (auto speed = readSysNumber(name, "speed"); speed && *speed > 0)
        row.speed = static_cast<double>(*speed) * 1e6;
      if (auto type = readSysNumber(name, "type"))
        row.type = typeOfHardware(static_cast<unsigned>(*type), name);
    }
    // Every entry of one interface, labels included, carries the interface's flags.
    row.adminStatus = (entry->ifa_flags & IFF_UP) ? IfAdminUp : IfAdminDown;
    row.operStatus = (entry->ifa_flags & IFF_RUNNING) ? IfOperUp : IfOperDown;

    if (entry->ifa_addr == nullptr) continue;
    if (entry->ifa_addr->sa_family == AF_PACKET) {
      const auto* link = reinterpret_cast<const sockaddr_ll*>(entry->ifa_addr);
      row.type = typeOfHardware(link->sll_hatype, name);
      row.physAddress = physAddressText(link->sll_addr, std::min<std::size_t>(link->sll_halen, 8));
      if (entry->ifa_data != nullptr)
        row.counters = countersOf(*static_cast<const rtnl_link_stats*>(entry->ifa_data));
    } else if (entry->ifa_addr->sa_family == AF_INET) {
      addresses.push_back({index, dotted(entry->ifa_addr), dotted(entry->ifa_netmask)});
    }
  }

  TIfTable table;
  for (auto& [index, row] : rows) table.interfaces.push_back(std::move(row));
  std::stable_sort(addresses.begin(), addresses.end(),
                   [](const TIpAddrRow& a, const TIpAddrRow& b) { return a.index < b.index; });
  table.addresses = std::move(addresses);
  return table;
}

std::vector<std::string> TSystemNetInterfaces::resolveOwnName() const {
  std::array<char, 256> name{};
  if (::gethostname(name.data(), name.size() - 1) != 0) return {};
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;  // one entry per address rather than one per socket type
  addrinfo* raw = nullptr;
  if (::getaddrinfo(name.data(), nullptr, &hints, &raw) != 0) return {};
  std::unique_ptr<addrinfo, TAddrInfoDeleter> list(raw);
  std::vector<std::string> out;
  for (const addrinfo* entry = list.get(); entry != nullptr; entry = entry->ai_next) {
    std::string text = dotted(entry->ai_addr);
    if (std::find(out.begin(), out.end(), text) == out.end()) out.push_back(std::move(text));
  }
  return out;
}
