#include "platform/WavFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/AtomicFile.h"
#include "platform/Recorder.h"

namespace {

void put16(std::string& out, std::uint16_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}

void put32(std::string& out, std::uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((v >> shift) & 0xFF);
}

}  // namespace

std::string wavFileBytes(const std::string& pcm) {
  const auto dataSize = static_cast<std::uint32_t>(pcm.size());
  const std::uint32_t pad = dataSize % 2;
  std::string out;
  out.reserve(kWavHeaderSize + pcm.size() + pad);
  out += "RIFF";
  put32(out, 4 + (8 + 16) + (8 + dataSize + pad));
  out += "WAVE";
  out += "fmt ";
  put32(out, 16);
  put16(out, 1);  // PCM
  put16(out, kRecordingChannels);
  put32(out, kRecordingSampleRate);
  put32(out, kRecordingBytesPerSecond);
  put16(out, kRecordingChannels * kRecordingBitsPerSample / 8);  // block align
  put16(out, kRecordingBitsPerSample);
  out += "data";
  put32(out, dataSize);
  out += pcm;
  if (pad != 0) out += '\0';
  return out;
}

// A new file beside the target, made exclusively (0600, so never through a link), renamed over
// it: a link planted at the path is replaced, not followed. No fsync: the file is sent at once
// and means nothing after a crash, and a flush on a busy disk would stall the window.
bool writeWavFile(const std::string& path, const std::string& pcm, std::string* error) {
  auto fail = [&](const std::string& what, int code) {
    if (error != nullptr) *error = what + ": " + std::strerror(code);
    return false;
  };
  const std::string bytes = wavFileBytes(pcm);
  // Only one message is written at a time, so any earlier copy was left by a killed program.
  removeStaleTemporaries(path, std::chrono::seconds(0));
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
  std::string temp = folder + "/" + temporaryPrefix(path) + "XXXXXX";
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return fail(path, errno);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int code = n < 0 ? errno : EIO;
      ::close(fd);
      ::unlink(temp.c_str());
      return fail(path, code);
    }
    done += static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0 || ::rename(temp.c_str(), path.c_str()) != 0) {
    const int code = errno;
    ::unlink(temp.c_str());
    return fail(path, code);
  }
  return true;
}

bool readFileNoFollow(const std::string& path, std::string* bytes, std::string* error) {
  auto fail = [&](int code) {
    if (error != nullptr) *error = path + ": " + std::strerror(code);
    return false;
  };
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return fail(errno);
  std::string out;
  char buffer[1 << 16];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      const int code = errno;
      ::close(fd);
      return fail(code);
    }
    if (got == 0) break;
    out.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(fd);
  *bytes = std::move(out);
  return true;
}
