// Plays arbitrary bytes as a panel's reply to the MJPEG client's reading: the reply header and
// its Content-Type decision, then the body's lines, Content-Length announcements and frames.
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "video/JpegImage.h"
#include "video/MJPEGDecoder.h"
#include "video/MJPEGDecoderThread.h"

namespace {

// The reply from memory, handed out in pieces of a size the input chooses, so that lines and
// frames are split across reads in every way.
class TMemorySource final : public IMJPEGSource {
 public:
  TMemorySource(const std::uint8_t* data, std::size_t size, std::size_t piece)
      : m_data(data), m_size(size), m_piece(piece) {}

  long read(unsigned char* data, std::size_t size) override {
    if (m_at == m_size) {
      m_down = true;
      return 0;
    }
    std::size_t n = std::min({size, m_piece, m_size - m_at});
    std::copy(m_data + m_at, m_data + m_at + n, data);
    m_at += n;
    return static_cast<long>(n);
  }
  bool connected() const override { return !m_down; }

 private:
  const std::uint8_t* m_data;
  std::size_t m_size;
  std::size_t m_piece;
  std::size_t m_at = 0;
  bool m_down = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::size_t piece = 1 + data[0] % 64 * 97;  // 1 .. 6112 bytes per read
  TMemorySource source(data + 1, size - 1, piece);
  TMJPEGLineReader reader(source);

  std::vector<std::string> header;
  if (!TMJPEGDecoder::readReplyHeader(reader, header)) return 0;
  // The body is read whatever the decision, so that it is reached without guessing the type.
  (void)TMJPEGDecoder::acceptsContentType(TMJPEGDecoder::contentTypeValue(header));

  std::atomic<bool> stop{false};
  int statuses = 0;
  readMJPEGBody(reader, stop, [&](TMJPEGPost post) {
    if (post.kind == TMJPEGPost::TKind::Status) {
      ++statuses;
      return;
    }
    if (post.frame->size() > MJPEGMaxFrame) __builtin_trap();
    // What the UI thread does with a frame: read its header only.
    TJPEGImage image;
    image.load(std::move(post.frame));
    if (!image.empty() &&
        (image.width() > TJPEGImage::MaxSide || image.height() > TJPEGImage::MaxSide))
      __builtin_trap();
  });
  // The loop always ends with exactly one status unless it was asked to stop.
  if (statuses != 1) __builtin_trap();
  return 0;
}
