// Arbitrary bytes as a panel's audio connection, arriving in arbitrary pieces: the format block
// then PCM, read by the receiver's own reader into the bounded FIFO.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "audio/AudioBuffer.h"
#include "audio/AudioStreamReader.h"

namespace {

// What has arrived on the "socket" and not been read yet.
class TArrived final : public IAudioByteSource {
 public:
  std::string bytes;
  std::int64_t bytesAvailable() const override { return static_cast<std::int64_t>(bytes.size()); }
  std::int64_t read(char* data, std::int64_t max) override {
    if (max < 0) __builtin_trap();
    const std::size_t n = std::min(bytes.size(), static_cast<std::size_t>(max));
    std::memcpy(data, bytes.data(), n);
    bytes.erase(0, n);
    return static_cast<std::int64_t>(n);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TArrived socket;
  TAudioBuffer fifo;
  TAudioStreamReader reader;
  std::size_t at = 0;
  while (at < size) {
    // Each piece: one byte giving its length (bit 7: the player takes everything first).
    const std::uint8_t control = data[at++];
    const std::size_t length = std::min<std::size_t>(control & 0x7F, size - at);
    socket.bytes.append(reinterpret_cast<const char*>(data + at), length);
    at += length;
    if (control & 0x80) {
      void* block = nullptr;
      std::size_t taken = 0;
      if (fifo.TakeAll(block, taken)) {
        if (taken == 0) __builtin_trap();
        std::free(block);
      }
    }
    const auto result = reader.readAvailable(socket, fifo, control & 0x40 ? 1000 : 0);
    if (result == TAudioStreamReader::EResult::Failed) return 0;
    if (result == TAudioStreamReader::EResult::FormatReady) {
      const TAudioFormat& f = reader.format();
      if (f.pcmFormatId < 1 || f.pcmFormatId > 20 || f.blockAlign == 0) __builtin_trap();
      if (reader.formatBlock().size() > TAudioStreamReader::MaxFormatBlock) __builtin_trap();
      fifo.setBound(f.bytesPerSec(), f.blockAlign);
    }
    if (reader.formatDone()) {
      const std::size_t align = reader.format().blockAlign;
      // Whole samples only, never more than one second waiting.
      if (fifo.size() % align != 0 || fifo.size() > reader.format().bytesPerSec()) __builtin_trap();
    }
  }
  return 0;
}
