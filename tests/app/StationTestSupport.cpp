#include "tests/app/StationTestSupport.h"

TStationFixture::TStationFixture() {
  ensureQtApplication();
  std::string home = dir.path().toStdString();
  env.values = {{"HOME", home},
                {"TMP", captured.folder()},
                {"XDG_CONFIG_HOME", home + "/config"},
                {"XDG_DATA_HOME", home + "/data"}};
  net.ownNameAddresses = {"127.0.0.1"};
  TIfTable table;
  table.interfaces = {fakeIfRow(1, NetIfType::Loopback), fakeIfRow(2, NetIfType::Ethernet)};
  table.addresses = {{1, "127.0.0.1", "255.0.0.0"}, {2, "192.168.1.10", "255.255.255.0"}};
  net.table = table;
}

TStationFixture::~TStationFixture() = default;

void TStationFixture::chooseInterface(const std::string& address, const std::string& moreLines) {
  std::string folder = dir.path().toStdString() + "/config/Halvex";
  QDir().mkpath(QString::fromStdString(folder));
  std::ofstream(folder + "/HalvexStream.reg")
      << "Windows Registry Editor Version 5.00\r\n\r\n"
      << "[HKEY_CURRENT_USER\\Software\\Halvex\\HalvexStream]\r\n"
      << "\"interfaceSelected\"=\"" << address << "\"\r\n"
      << moreLines;
}

TStationServices TStationFixture::services(std::uint16_t listenerPort) {
  return TStationServices{captured.log(), dialogs, env, clock, net, settings, listenerPort};
}

std::vector<std::string> TStationFixture::dialogTexts() const {
  std::vector<std::string> out;
  for (const auto& shown : dialogs.shown) out.push_back(shown.text);
  return out;
}
