#pragma once

#include <QTemporaryDir>
#include <string>

#include "base/Vigenere.h"
#include "core/AppSettings.h"
#include "core/Autostart.h"
#include "core/SettingsStore.h"
#include "platform/Paths.h"
#include "tests/support/FakeSettingsHost.h"
#include "tests/support/QtTestSupport.h"

// A settings record, its real store in a home of the test's own, the autostart entry there, and
// a recording station: what the settings logic and its window are built on in tests. The home's
// folders are in the environment; the API fields hold what loading the store gives.
struct TSettingsFixture {
  TSettingsFixture() {
    loadCipherTable();
    env.values["HOME"] = home();
    env.values["XDG_CONFIG_HOME"] = home() + "/config";
    env.values["XDG_DATA_HOME"] = home() + "/data";
    settings.APIAuthtype = "None";
    settings.APIMethod = "GET";
  }
  std::string home() const { return dir.path().toStdString(); }

  TCapturedLog captured;
  QTemporaryDir dir;
  TFakeEnv env;
  TPaths paths{env};
  TRecordingDialogs dialogs;
  TFakeSettingsHost host;
  TAppSettings settings;
  bool ssl = true;
  std::string storePath = home() + "/config/Halvex/HalvexStream.reg";
  TSettingsStore store{storePath, settings, ssl};
  TAutostart autostart{paths, dialogs, "/bin/true"};
};
