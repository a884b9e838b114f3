#include "platform/AtomicFile.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <ctime>
#include <vector>

namespace {

std::string folderOf(const std::string& path) {
  auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string baseOf(const std::string& path) {
  auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string errnoText(const std::string& what, int code) {
  return what + ": " + std::strerror(code);
}

std::string randomSuffix() {
  unsigned char bytes[6] = {};
  if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
    // Uniqueness comes from O_EXCL anyway; the randomness only avoids collisions.
    auto seed =
        static_cast<unsigned long>(std::time(nullptr)) ^ static_cast<unsigned long>(getpid());
    for (auto& b : bytes) {
      seed = seed * 6364136223846793005UL + 1442695040888963407UL;
      b = static_cast<unsigned char>(seed >> 33);
    }
  }
  static const char* kHex = "0123456789abcdef";
  std::string out;
  for (unsigned char b : bytes) {
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
  return out;
}

void fsyncFolder(const std::string& folder) {
  int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd < 0) return;
  // The rename is done; a failure here only weakens durability, so it is not reported.
  ::fsync(dfd);
  ::close(dfd);
}

}  // namespace

std::string temporaryPrefix(const std::string& target) { return "." + baseOf(target) + ".tmp-"; }

TAtomicWriter::TAtomicWriter(std::string target) : m_target(std::move(target)) {
  const std::string folder = folderOf(m_target);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = folder + "/" + temporaryPrefix(m_target) + randomSuffix();
    int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
      m_fd = fd;
      m_tempPath = std::move(candidate);
      return;
    }
    if (errno != EEXIST) {
      m_error = errnoText("cannot create " + candidate, errno);
      return;
    }
  }
  m_error = "cannot create a temporary file in " + folder;
}

TAtomicWriter::~TAtomicWriter() {
  if (m_fd >= 0) ::close(m_fd);
  if (!m_committed && !m_tempPath.empty()) ::unlink(m_tempPath.c_str());
}

void TAtomicWriter::fail(const std::string& what) {
  if (m_error.empty()) m_error = errnoText(what, errno);
}

bool TAtomicWriter::write(const char* data, std::size_t size) {
  if (!ok()) return false;
  while (size > 0) {
    ssize_t n = ::write(m_fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail("cannot write " + m_tempPath);
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool TAtomicWriter::commit(mode_t mode) {
  if (!ok()) return false;
  if (::fchmod(m_fd, mode) != 0) {
    fail("cannot set the mode of " + m_tempPath);
    return false;
  }
  if (::fsync(m_fd) != 0) {
    fail("cannot flush " + m_tempPath);
    return false;
  }
  int fd = m_fd;
  m_fd = -1;
  if (::close(fd) != 0) {
    fail("cannot close " + m_tempPath);
    return false;
  }
  if (::rename(m_tempPath.c_str(), m_target.c_str()) != 0) {
    fail("cannot rename over " + m_target);
    return false;
  }
  m_committed = true;
  fsyncFolder(folderOf(m_target));
  return true;
}

bool writeFileAtomically(const std::string& target, const std::string& content, mode_t mode,
                         std::string* error) {
  TAtomicWriter writer(target);
  bool done = writer.write(content.data(), content.size()) && writer.commit(mode);
  if (!done && error != nullptr) *error = writer.error();
  return done;
}

bool copyFileAtomically(const std::string& source, const std::string& target, mode_t mode,
                        std::string* error) {
  auto report = [&](const std::string& text) {
    if (error != nullptr) *error = text;
    return false;
  };
  int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return report(errnoText("cannot open " + source, errno));
  struct stat src {};
  struct stat dst {};
  if (::fstat(in, &src) == 0 && ::stat(target.c_str(), &dst) == 0 && src.st_dev == dst.st_dev &&
      src.st_ino == dst.st_ino) {
    // Copying a file onto itself would only risk destroying it.
    ::close(in);
    return true;
  }
  TAtomicWriter writer(target);
  std::vector<char> buffer(1 << 16);
  for (;;) {
    ssize_t n = ::read(in, buffer.data(), buffer.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      int code = errno;
      ::close(in);
      return report(errnoText("cannot read " + source, code));
    }
    if (n == 0) break;
    if (!writer.write(buffer.data(), static_cast<std::size_t>(n))) {
      ::close(in);
      return report(writer.error());
    }
  }
  ::close(in);
  if (!writer.commit(mode)) return report(writer.error());
  return true;
}

bool makeFolders(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  if (errno != ENOENT) return false;
  const std::string parent = folderOf(path);
  if (parent != path && !makeFolders(parent)) return false;
  if (::mkdir(path.c_str(), 0700) == 0) return true;
  return errno == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void removeStaleTemporaries(const std::string& target, std::chrono::seconds maxAge) {
  const std::string folder = folderOf(target);
  const std::string prefix = temporaryPrefix(target);
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return;
  const std::time_t now = std::time(nullptr);
  std::vector<std::string> stale;
  while (dirent* entry = ::readdir(dir)) {
    std::string name = entry->d_name;
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    struct stat st {};
    if (::fstatat(::dirfd(dir), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (!S_ISREG(st.st_mode) || st.st_uid != ::getuid()) continue;
    if (now - st.st_mtime >= maxAge.count()) stale.push_back(name);
  }
  for (const auto& name : stale) ::unlinkat(::dirfd(dir), name.c_str(), 0);
  ::closedir(dir);
}
