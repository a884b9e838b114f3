#include "tools/panel-sim/RequestLog.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "tools/panel-sim/HttpRequest.h"
#include "tools/panel-sim/SimLog.h"

TRequestLog::TRequestLog(const std::string& path) {
  if (path.empty()) return;
  m_file = std::fopen(path.c_str(), "wb");
  if (!m_file)
    throw std::runtime_error("cannot write the requests to " + path + ": " + std::strerror(errno));
}

TRequestLog::~TRequestLog() {
  if (m_file) std::fclose(m_file);
}

unsigned long TRequestLog::nextNumber() {
  std::lock_guard lock(m_mutex);
  return ++m_count;
}

void TRequestLog::write(unsigned long number, const std::string& summary, const std::string& head,
                        const std::string& body) {
  std::string block = summary + "\n";
  // The head with LF line ends, whatever the client used, up to its empty line.
  for (const std::string& line : headLines(head)) block += line + "\n";
  block += "\n" + body + "\napi: end of request " + std::to_string(number);
  if (!m_file) {
    logLine(block);
    return;
  }
  std::lock_guard lock(m_mutex);
  std::fwrite(block.data(), 1, block.size(), m_file);
  std::fputc('\n', m_file);
  std::fflush(m_file);
}
