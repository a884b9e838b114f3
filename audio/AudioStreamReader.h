#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "audio/AudioBuffer.h"
#include "audio/AudioFormat.h"

// Where the reader takes its bytes from: the audio socket, or a test's or fuzzer's pieces.
class IAudioByteSource {
 public:
  virtual ~IAudioByteSource() = default;
  virtual std::int64_t bytesAvailable() const = 0;
  // Reads up to max bytes into data: the count read, or -1 when the read failed.
  virtual std::int64_t read(char* data, std::int64_t max) = 0;
};

// The reading of one audio connection: the format block (a 32-bit little-endian length and
// that many bytes), then raw PCM appended to the FIFO. Reads only what has arrived; a format
// block split over several arrivals is gathered until whole, since TCP keeps no boundaries.
// PCM goes straight into the FIFO in whole block alignments; a partial sample stays in the
// source for the next arrival. One instance per receiver, reset for every connection.
class TAudioStreamReader {
 public:
  // Longer format blocks are failed reads: a WAVEFORMATEX is 18 bytes plus its extra.
  static constexpr std::uint32_t MaxFormatBlock = 64 * 1024;

  enum class EResult {
    Nothing,      // nothing usable yet (or a partial format block kept)
    FormatReady,  // the format block is complete: format() holds what to play
    Pcm,          // bytes were appended to the FIFO
    Failed,       // a read failed or the block length is out of bounds
  };

  void reset();
  bool formatDone() const { return m_formatDone; }

  // One arrival. Completing the format block ends the call (the PCM that may follow is read at
  // the next one). queuedElsewhere: the bytes waiting on the device, for the FIFO's bound.
  EResult readAvailable(IAudioByteSource& source, TAudioBuffer& fifo,
                        std::size_t queuedElsewhere = 0);

  // The last complete format block, as received.
  const std::vector<char>& formatBlock() const { return m_block; }
  const TAudioFormat& format() const { return m_format; }
  bool formatUsed() const { return m_formatUsed; }
  // PCM bytes appended to the FIFO since the last reset (also those the FIFO's bound dropped).
  std::uint64_t pcmBytes() const { return m_pcmBytes; }

 private:
  EResult readFormat(IAudioByteSource& source);

  char m_length[4] = {};
  std::size_t m_lengthHave = 0;
  std::uint32_t m_blockLength = 0;
  std::vector<char> m_block;
  bool m_formatDone = false;
  TAudioFormat m_format;
  bool m_formatUsed = false;
  std::uint64_t m_pcmBytes = 0;
};
