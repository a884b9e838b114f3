#include "platform/NetInterfaces.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QHostInfo>
#include <QNetworkInterface>
#include <algorithm>
#include <optional>
#include <regex>
#include <set>

namespace {

const TIfRow* rowOf(const TIfTable& table, std::uint32_t index) {
  for (const TIfRow& row : table.interfaces)
    if (row.index == index) return &row;
  return nullptr;
}

// The table read through getifaddrs agrees with Qt's independent view of the same host: index,
// name, status flags, loop-back type and every IPv4 address with its mask.
TEST(SystemNetInterfaces, TableMatchesTheHost) {
  const auto table = TSystemNetInterfaces().readTable();
  ASSERT_TRUE(table.has_value());
  ASSERT_FALSE(table->interfaces.empty()) << "every Linux host has at least the loop-back";

  for (const QNetworkInterface& iface : QNetworkInterface::allInterfaces()) {
    SCOPED_TRACE(iface.name().toStdString());
    const TIfRow* row = rowOf(*table, static_cast<std::uint32_t>(iface.index()));
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->description, iface.name().toStdString());
    const auto flags = iface.flags();
    EXPECT_EQ(row->adminStatus, flags.testFlag(QNetworkInterface::IsUp) ? IfAdminUp : IfAdminDown);
    EXPECT_EQ(row->operStatus,
              flags.testFlag(QNetworkInterface::IsRunning) ? IfOperUp : IfOperDown);
    EXPECT_EQ(row->type == NetIfType::Loopback, flags.testFlag(QNetworkInterface::IsLoopBack));

    for (const QNetworkAddressEntry& entry : iface.addressEntries()) {
      if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol) continue;
      const std::string address = entry.ip().toString().toStdString();
      const std::string mask = entry.netmask().toString().toStdString();
      const bool listed =
          std::any_of(table->addresses.begin(), table->addresses.end(), [&](const TIpAddrRow& a) {
            return a.index == row->index && a.address == address && a.mask == mask;
          });
      EXPECT_TRUE(listed) << address << "/" << mask;
    }
  }
}

TEST(SystemNetInterfaces, TableShape) {
  const auto table = TSystemNetInterfaces().readTable();
  ASSERT_TRUE(table.has_value());
  for (std::size_t i = 1; i < table->interfaces.size(); ++i)
    EXPECT_LT(table->interfaces[i - 1].index, table->interfaces[i].index) << "sorted, no repeat";
  for (std::size_t i = 1; i < table->addresses.size(); ++i)
    EXPECT_LE(table->addresses[i - 1].index, table->addresses[i].index) << "grouped by interface";

  const std::regex phys("([0-9a-f]{2}(-[0-9a-f]{2})*)?");
  for (const TIfRow& row : table->interfaces) {
    EXPECT_TRUE(std::regex_match(row.physAddress, phys)) << row.physAddress;
    if (row.type == NetIfType::Loopback) {
      EXPECT_EQ(row.physAddress, "");
    }
    EXPECT_LE(row.description.size(), 256u);
  }
  for (const TIpAddrRow& address : table->addresses) {
    EXPECT_NE(rowOf(*table, address.index), nullptr) << address.address;
    in_addr parsed{};
    EXPECT_EQ(::inet_pton(AF_INET, address.address.c_str(), &parsed), 1) << address.address;
    EXPECT_EQ(::inet_pton(AF_INET, address.mask.c_str(), &parsed), 1) << address.mask;
  }
}

// The own-name lookup gives what the system resolver gives, as dotted IPv4 texts, once each.
TEST(SystemNetInterfaces, OwnNameResolvesLikeTheSystemResolver) {
  // QHostInfo wants an application object for its lookup thread pool.
  int argc = 1;
  char name[] = "test_platform";
  char* argv[] = {name, nullptr};
  std::optional<QCoreApplication> app;
  if (QCoreApplication::instance() == nullptr) app.emplace(argc, argv);

  const auto resolved = TSystemNetInterfaces().resolveOwnName();
  const std::set<std::string> unique(resolved.begin(), resolved.end());
  EXPECT_EQ(unique.size(), resolved.size());

  std::set<std::string> expected;
  for (const QHostAddress& address : QHostInfo::fromName(QHostInfo::localHostName()).addresses())
    if (address.protocol() == QAbstractSocket::IPv4Protocol)
      expected.insert(address.toString().toStdString());
  EXPECT_EQ(unique, expected);
}

}  // namespace
