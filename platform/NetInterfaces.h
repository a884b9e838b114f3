#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The host's network interfaces as an interface table and an IPv4 address table, numbered the
// way the rest of the program expects them whatever the system calls them.

// Interface types.
namespace NetIfType {
constexpr std::uint32_t Other = 1;
constexpr std::uint32_t Ethernet = 6;
constexpr std::uint32_t Ppp = 23;
constexpr std::uint32_t Loopback = 24;
constexpr std::uint32_t Wireless = 71;
constexpr std::uint32_t Tunnel = 131;
}  // namespace NetIfType

// Administrative status: 1 when the interface is up (IFF_UP), 2 otherwise.
constexpr std::uint32_t IfAdminUp = 1;
constexpr std::uint32_t IfAdminDown = 2;
// Operational status: 1 when the interface is running (IFF_RUNNING), 0 otherwise.
constexpr std::uint32_t IfOperUp = 1;
constexpr std::uint32_t IfOperDown = 0;

// Traffic counters, truncated to 32 bits as the table keeps them.
struct TIfCounters {
  std::uint32_t inUcastPkts = 0;
  std::uint32_t inNUcastPkts = 0;
  std::uint32_t inDiscards = 0;
  std::uint32_t inErrors = 0;
  std::uint32_t inUnknownProtos = 0;
  std::uint32_t outUcastPkts = 0;
  std::uint32_t outNUcastPkts = 0;
  std::uint32_t outDiscards = 0;
  std::uint32_t outErrors = 0;
  std::uint32_t outQLen = 0;
};

// One row of the interface table.
struct TIfRow {
  std::uint32_t index = 0;
  std::uint32_t type = NetIfType::Other;
  std::uint32_t mtu = 0;
  double speed = 0;         // bits per second; 0 when the system does not know
  std::string physAddress;  // "00-1a-2b-3c-4d-5e"; empty when the interface has none
  std::uint32_t adminStatus = IfAdminDown;
  std::uint32_t operStatus = IfOperDown;
  TIfCounters counters;
  std::string description;  // the interface's name, at most 256 bytes
};

// One row of the IPv4 address table: an address of the interface `index`, dotted.
struct TIpAddrRow {
  std::uint32_t index = 0;
  std::string address;
  std::string mask;
};

struct TIfTable {
  std::vector<TIfRow> interfaces;     // sorted by index
  std::vector<TIpAddrRow> addresses;  // grouped by interface index, the system's order within one
};

// The interface listing and the resolution of the host's own name, behind a seam so that the
// inventory and its fallbacks can be given any table. Implementations hold no shared state:
// callable from any thread. Both calls may block (the resolver may ask DNS).
class INetInterfaces {
 public:
  virtual ~INetInterfaces() = default;
  // Nothing when the system cannot list its interfaces.
  virtual std::optional<TIfTable> readTable() const = 0;
  // The IPv4 addresses of the host's own name, dotted, in the resolver's order; empty when the
  // name cannot be had or does not resolve.
  virtual std::vector<std::string> resolveOwnName() const = 0;
};

// The running system: getifaddrs, /sys/class/net, gethostname and getaddrinfo.
class TSystemNetInterfaces final : public INetInterfaces {
 public:
  std::optional<TIfTable> readTable() const override;
  std::vector<std::string> resolveOwnName() const override;
};
