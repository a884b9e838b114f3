// Arbitrary bytes as one message received on port 2201: unscramble, split, dispatch.
#include <QCoreApplication>
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/Vigenere.h"
#include "core/AppSettings.h"
#include "signalling/Listener.h"

namespace {

class TFuzzHost : public IListenerHost {
 public:
  void admitCall(const std::vector<std::string>& fields, const std::string&) override {
    // Admission relies on these two promises of the listener.
    if (fields.size() < 4 || fields[0] != "start") __builtin_trap();
    for (std::size_t i = 4; i < fields.size() && i < 6; ++i)
      if (fields[i].find('+') != std::string::npos) __builtin_trap();
  }
  void minimizeMainWindow() override {}
  std::string decoderAddress() const override { return "192.168.1.50"; }
  void stopStream() override {}
  std::string hostIP() const override { return "192.168.1.20"; }
  void addSniffedIP(const std::string& address) override {
    if (address.empty()) __builtin_trap();
  }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  static QCoreApplication app(*argc, *argv);
  loadCipherTable();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static TFuzzHost host;
  static TAppSettings settings;
  static TNotificationListener listener(host, settings);
  std::string text(reinterpret_cast<const char*>(data), size);
  settings.startMinimized = size % 2;
  // Messages reach the handling unscrambled by one pass: feed both the raw bytes and bytes
  // that unscramble to the raw text, so that commands are reached.
  listener.handleMessage(text, "192.168.1.50", nullptr);
  listener.handleMessage(cipherPass(text), "192.168.1.50", nullptr);
  return 0;
}
