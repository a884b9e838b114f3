#include "tools/panel-sim/AudioServer.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <optional>

#include "tools/panel-sim/AudioSource.h"
#include "tools/panel-sim/Net.h"
#include "tools/panel-sim/SimLog.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// Audio goes out in 20 ms pieces, as a panel's codec frames do.
constexpr double ChunkSeconds = 0.020;
// A length no workstation should accept: 16 MiB of "format".
constexpr std::uint32_t OversizedLength = 16 * 1024 * 1024;

// A click: this much full-scale sound at the start of its chunk.
constexpr double ClickSeconds = 0.001;

// Puts a click into pcm when one of the clicks, every `every` frames from frame `every` on,
// falls into its frames [first, first + frames); returns the click's first frame within pcm,
// or -1 when there is none.
std::int64_t addClick(std::string& pcm, const TPcmFormat& format, std::uint64_t first,
                      std::uint64_t frames, std::uint64_t every) {
  if (every == 0 || frames == 0) return -1;
  const std::uint64_t next = std::max<std::uint64_t>(every, (first + every - 1) / every * every);
  if (next >= first + frames) return -1;
  const std::size_t align = format.blockAlign();
  const auto clickFrames = std::max<std::uint64_t>(1, std::llround(ClickSeconds * format.rate));
  const std::size_t begin = static_cast<std::size_t>(next - first) * align;
  const std::size_t end =
      std::min(pcm.size(), begin + static_cast<std::size_t>(clickFrames) * align);
  for (std::size_t i = begin; i < end; i += format.bits / 8) {
    if (format.bits == 8) {
      pcm[i] = static_cast<char>(0xFF);
    } else {
      pcm[i] = static_cast<char>(0xFF);
      pcm[i + 1] = static_cast<char>(0x7F);
    }
  }
  return static_cast<std::int64_t>(next - first);
}

std::int64_t monotonicMicros() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             steady_clock::now().time_since_epoch())
      .count();
}

std::string le32(std::uint32_t v) {
  std::string s;
  for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}

// The stream after the format block; returns why it ended. pcmBytes counts what was sent.
std::string stream(int fd, const std::string& who, const TAudioOptions& options,
                   const TStopSignal& stop, std::uint64_t& pcmBytes) {
  if (!options.noFormat) {
    const TPcmFormat format = options.wav ? options.wav->format : options.format;
    const std::string body = waveFormatEx(format);
    const std::string block =
        options.oversizedFormat ? le32(OversizedLength) + body : le32(18) + body;
    if (!sendAll(fd, block, stop.fd())) return "the client went away";
  }
  std::string heard;
  const bool ready =
      watchClient(fd, steady_clock::time_point::max(), stop.fd(), [&](const std::string& s) {
        heard += s;
        return heard.find("READY") != std::string::npos;
      });
  if (!ready) return stop.stopped() ? "stopped" : "the client went away before READY";
  logLine(who + " READY");

  const bool quiet = options.silence || options.clicksMs != 0;
  // A quiet room: far below a click, but never the digital silence a player may skip.
  constexpr double FloorHz = 440;
  constexpr double FloorPeak = 0.01;
  TAudioSource source = options.wav ? TAudioSource(*options.wav)
                        : options.clicksOverFloor
                            ? TAudioSource(options.format, FloorHz, FloorPeak)
                            : TAudioSource(options.format, quiet ? 0.0 : options.toneHz);
  const double rate = source.format().rate;
  const double speed = 1.0 + options.fastPercent / 100.0;
  const auto clickEvery = static_cast<std::uint64_t>(std::llround(options.clicksMs * rate / 1000));
  const auto start = steady_clock::now();
  std::uint64_t frames = 0;
  for (std::uint64_t chunk = 1;; ++chunk) {
    const auto due = static_cast<std::uint64_t>(std::llround(chunk * ChunkSeconds * rate));
    std::string pcm = source.next(due - frames);
    const std::int64_t click = addClick(pcm, source.format(), frames, due - frames, clickEvery);
    frames = due;
    bool last = false;
    if (options.closeAfter && pcmBytes + pcm.size() >= *options.closeAfter) {
      pcm.resize(static_cast<std::size_t>(*options.closeAfter - pcmBytes));
      last = true;
    }
    // A click's send time: its chunk's, plus where it lies in the chunk.
    if (click >= 0)
      logLine(who + " click " +
              std::to_string(monotonicMicros() + std::llround(click * 1e6 / rate)));
    if (!sendAll(fd, pcm, stop.fd())) return stop.stopped() ? "stopped" : "the client went away";
    pcmBytes += pcm.size();
    if (last) {
      finishConnection(fd, milliseconds(2000), stop.fd());
      return "closed after " + std::to_string(pcmBytes) + " bytes";
    }
    // The panel's clock: real time, or running fast by the given percentage.
    const auto next = start + std::chrono::duration_cast<steady_clock::duration>(
                                  std::chrono::duration<double>(chunk * ChunkSeconds / speed));
    if (!watchClient(fd, next, stop.fd()))
      return stop.stopped() ? "stopped" : "the client went away";
  }
}

}  // namespace

void serveAudioClient(TFd client, const sockaddr_in& peer, const TAudioOptions& options,
                      const TStopSignal& stop) {
  const std::string who = "audio: client " + endpointText(peer);
  logLine(who + " connected");
  std::uint64_t pcmBytes = 0;
  std::string reason;
  try {
    reason = stream(client.get(), who, options, stop, pcmBytes);
  } catch (const std::exception& e) {
    errorLine(who + ": " + e.what());
    reason = "error";
  }
  logLine(who + " disconnected after " + std::to_string(pcmBytes) + " bytes: " + reason);
}
