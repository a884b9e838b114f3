// Opens the live player on the Qt output once and says what happened, for the test that runs it
// without a sound server (in a process of its own: Qt keeps the devices it found).
#include <QCoreApplication>
#include <cstdio>
#include <string>

#include "audio/wave/WavePlayers.h"
#include "platform/QtWaveOut.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  TQtWaveOutSystem system;
  TLiveAudioPlayer player(system);
  player.setBufferInternally(false);
  std::string error = "none";
  player.OnError = [&](TWaveAudioIO& sender) {
    error = std::to_string(sender.LastError()) + " " + sender.GetErrorText(sender.LastError());
    sender.setActive(false);
  };
  player.setActive(true);
  std::printf("devices=%u\nerror=%s\nactive=%d\n", player.GetDeviceCount(), error.c_str(),
              player.Active() ? 1 : 0);
  return 0;
}
