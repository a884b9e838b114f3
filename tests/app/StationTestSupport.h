#pragma once

#include <QDir>
#include <QTemporaryDir>
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/Station.h"
#include "core/AppSettings.h"
#include "tests/support/QtTestSupport.h"

// What the station is started with in tests: a fake environment, clock, dialogs and interface
// table (loopback and one Ethernet interface, 192.168.1.10, the host's name resolving to
// loopback only), a settings file in a fresh home folder, and free ports.
class TStationFixture {
 public:
  TStationFixture();
  ~TStationFixture();

  // The settings a user would have saved: the one Ethernet interface chosen, and any further
  // lines of the settings file.
  void chooseInterface(const std::string& address, const std::string& moreLines = "");
  TStationServices services(std::uint16_t listenerPort = 0);
  std::vector<std::string> dialogTexts() const;

  QTemporaryDir dir;
  TCapturedLog captured;
  TFakeEnv env;
  TFakeClock& clock = captured.clock;
  TRecordingDialogs dialogs;
  TFakeNetInterfaces net;
  TAppSettings settings;
};
