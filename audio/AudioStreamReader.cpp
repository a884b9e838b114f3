#include "audio/AudioStreamReader.h"

#include <algorithm>

void TAudioStreamReader::reset() {
  m_lengthHave = 0;
  m_blockLength = 0;
  m_formatDone = false;
  m_pcmBytes = 0;
}

TAudioStreamReader::EResult TAudioStreamReader::readAvailable(IAudioByteSource& source,
                                                              TAudioBuffer& fifo,
                                                              std::size_t queuedElsewhere) {
  if (!m_formatDone) return readFormat(source);
  const std::int64_t available = source.bytesAvailable();
  if (available <= 0) return EResult::Nothing;
  const std::int64_t align = m_format.blockAlign;
  const std::int64_t whole = available - available % align;
  if (whole == 0) return EResult::Nothing;
  char* place = fifo.BeginAppend(static_cast<std::size_t>(whole));
  const std::int64_t got = source.read(place, whole);
  // A short read must not leave half a sample behind in the FIFO.
  const std::int64_t kept = got <= 0 ? 0 : got - got % align;
  fifo.EndAppend(static_cast<std::size_t>(kept), queuedElsewhere);
  if (got < 0) return EResult::Failed;
  m_pcmBytes += static_cast<std::uint64_t>(kept);
  return kept > 0 ? EResult::Pcm : EResult::Nothing;
}

TAudioStreamReader::EResult TAudioStreamReader::readFormat(IAudioByteSource& source) {
  if (m_lengthHave < sizeof m_length) {
    const std::int64_t available = source.bytesAvailable();
    const std::int64_t want = static_cast<std::int64_t>(sizeof m_length - m_lengthHave);
    const std::int64_t n = std::min(available, want);
    if (n <= 0) return EResult::Nothing;
    const std::int64_t got = source.read(m_length + m_lengthHave, n);
    if (got < 0) return EResult::Failed;
    m_lengthHave += static_cast<std::size_t>(got);
    if (m_lengthHave < sizeof m_length) return EResult::Nothing;
    m_blockLength = 0;
    for (std::size_t i = 0; i < sizeof m_length; ++i)
      m_blockLength |= static_cast<std::uint32_t>(static_cast<unsigned char>(m_length[i]))
                       << (8 * i);
    if (m_blockLength > MaxFormatBlock) {
      m_block.clear();
      return EResult::Failed;
    }
    m_block.clear();
    m_block.reserve(m_blockLength);
  }
  const std::size_t missing = m_blockLength - m_block.size();
  if (missing > 0) {
    const std::int64_t available = source.bytesAvailable();
    const std::int64_t n = std::min<std::int64_t>(available, static_cast<std::int64_t>(missing));
    if (n <= 0) return EResult::Nothing;
    const std::size_t had = m_block.size();
    m_block.resize(had + static_cast<std::size_t>(n));
    const std::int64_t got = source.read(m_block.data() + had, n);
    if (got < 0) {
      m_block.clear();
      return EResult::Failed;
    }
    m_block.resize(had + static_cast<std::size_t>(got));
    if (m_block.size() < m_blockLength) return EResult::Nothing;
  }
  const TFormatChoice choice = chooseAudioFormat(m_block);
  m_format = choice.format;
  m_formatUsed = choice.used;
  m_formatDone = true;
  return EResult::FormatReady;
}
