#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>

// Replaces a file by renaming a complete new copy over it, so that a reader, or the next start
// after a crash or a power cut, finds either the old content or the new one, never a mix and
// never an empty file. The new copy is created beside the target exclusively, without following
// links and with mode 0600, so nobody can plant a file or a link for us to write through.
// One writer per object; not shared between threads.
class TAtomicWriter {
 public:
  // Creates the temporary file in the target's folder. ok() tells whether that worked.
  explicit TAtomicWriter(std::string target);
  // Removes the temporary file unless commit() succeeded.
  ~TAtomicWriter();
  TAtomicWriter(const TAtomicWriter&) = delete;
  TAtomicWriter& operator=(const TAtomicWriter&) = delete;

  bool ok() const { return m_fd >= 0 && m_error.empty(); }
  // Why the last step failed, for the log.
  const std::string& error() const { return m_error; }

  bool write(const char* data, std::size_t size);
  // Gives the copy its final mode, flushes it to disk, renames it over the target (a link at
  // the target is replaced, never followed) and flushes the folder.
  bool commit(mode_t mode = 0600);

 private:
  void fail(const std::string& what);
  std::string m_target;
  std::string m_tempPath;
  int m_fd = -1;
  bool m_committed = false;
  std::string m_error;
};

// The whole content in one replacement. False with *error set when it could not be done; the
// target is then unchanged.
bool writeFileAtomically(const std::string& target, const std::string& content, mode_t mode,
                         std::string* error = nullptr);

// Copies a file over the target by the same replacement (a running program can be replaced
// this way, where writing into it in place fails). A source that is the target itself is left
// alone and counts as copied.
bool copyFileAtomically(const std::string& source, const std::string& target, mode_t mode,
                        std::string* error = nullptr);

// Creates the folder and any missing parents, each with mode 0700. True when it exists as a
// folder afterwards.
bool makeFolders(const std::string& path);

// Removes temporary copies of this target left by a process that died mid-replacement, when
// they are older than maxAge (a younger one may belong to a replacement still in progress).
void removeStaleTemporaries(const std::string& target, std::chrono::seconds maxAge);

// The name prefix of the target's temporary copies (for tests and the clean-up above).
std::string temporaryPrefix(const std::string& target);
