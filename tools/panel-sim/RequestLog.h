#pragma once

#include <cstdio>
#include <mutex>
#include <string>

// Where the API writes every request it received, one block each, so that a test or a person
// can see exactly what arrived. Shared by every client thread of the API port.
class TRequestLog {
 public:
  // Empty path: the blocks go to stdout among the other lines. Otherwise the file is created
  // (emptied if it exists). Throws std::runtime_error when it cannot be.
  explicit TRequestLog(const std::string& path);
  ~TRequestLog();
  TRequestLog(const TRequestLog&) = delete;
  TRequestLog& operator=(const TRequestLog&) = delete;

  // The next request's number, from 1. Any thread.
  unsigned long nextNumber();
  // Writes one block whole: the summary line, the head as received (each line ending in LF),
  // an empty line, the body, LF and "api: end of request N". Any thread.
  void write(unsigned long number, const std::string& summary, const std::string& head,
             const std::string& body);
  bool toFile() const { return m_file != nullptr; }

 private:
  std::mutex m_mutex;
  std::FILE* m_file = nullptr;
  unsigned long m_count = 0;
};
