#include "platform/RegStore.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "base/Text.h"
#include "platform/AtomicFile.h"

namespace {

// Far above any real settings file; only stops a stray huge file from being read into memory.
constexpr std::size_t kMaxFileSize = 16u << 20;
// A temporary copy this old cannot belong to a save still in progress.
constexpr std::chrono::seconds kStaleTemporaryAge{600};

// UTF-16 code units to UTF-8; unpaired surrogates become U+FFFD.
std::string utf16ToUtf8(const std::vector<char16_t>& units) {
  std::string out;
  out.reserve(units.size());
  for (std::size_t i = 0; i < units.size(); ++i) {
    char32_t u = units[i];
    if (u >= 0xD800 && u < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] < 0xE000) {
      u = 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    } else if (u >= 0xD800 && u < 0xE000) {
      u = 0xFFFD;
    }
    appendUtf8(out, u);
  }
  return out;
}

std::vector<char16_t> bytesToUnits(const std::string& bytes, std::size_t from, bool bigEndian) {
  std::vector<char16_t> units;
  units.reserve((bytes.size() - from) / 2);
  for (std::size_t i = from; i + 1 < bytes.size(); i += 2) {
    auto a = static_cast<unsigned char>(bytes[i]);
    auto b = static_cast<unsigned char>(bytes[i + 1]);
    units.push_back(static_cast<char16_t>(bigEndian ? (a << 8 | b) : (b << 8 | a)));
  }
  return units;
}

// UTF-8 to UTF-16 code units; the input comes from cp1252ToUtf8, so it is well formed.
std::vector<char16_t> utf8ToUtf16(const std::string& text) {
  std::vector<char16_t> units;
  for (std::size_t i = 0; i < text.size();) {
    auto b = static_cast<unsigned char>(text[i]);
    char32_t cp = b;
    std::size_t len = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : 4;
    if (len > 1) cp = b & (0x7F >> len);
    for (std::size_t k = 1; k < len && i + k < text.size(); ++k)
      cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    i += len;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      units.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      units.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      units.push_back(static_cast<char16_t>(cp));
    }
  }
  return units;
}

// The file's text as UTF-8, whatever regedit or we wrote.
std::string decodeFile(const std::string& bytes) {
  auto startsWithBytes = [&](const char* prefix, std::size_t n) {
    return bytes.size() >= n && std::memcmp(bytes.data(), prefix, n) == 0;
  };
  if (startsWithBytes("\xFF\xFE", 2)) return utf16ToUtf8(bytesToUnits(bytes, 2, false));
  if (startsWithBytes("\xFE\xFF", 2)) return utf16ToUtf8(bytesToUnits(bytes, 2, true));
  if (startsWithBytes("\xEF\xBB\xBF", 3)) return bytes.substr(3);
  // The old regedit format is in the ANSI code page.
  if (startsWithBytes("REGEDIT4", 8)) return cp1252ToUtf8(bytes);
  return bytes;
}

std::string trimBlanks(const std::string& text) {
  std::size_t b = 0;
  std::size_t e = text.size();
  while (b < e && (text[b] == ' ' || text[b] == '\t')) ++b;
  while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t')) --e;
  return text.substr(b, e - b);
}

bool equalsNoCase(const std::string& a, const std::string& b) {
  return lowerAscii(a) == lowerAscii(b);
}

bool isHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c - 'A' + 10;
}

// A quoted text starting at text[pos] == '"', with regedit's escapes \\ and \". On success
// pos is just past the closing quote.
std::optional<std::string> readQuoted(const std::string& text, std::size_t& pos) {
  std::string out;
  for (std::size_t i = pos + 1; i < text.size(); ++i) {
    char c = text[i];
    if (c == '"') {
      pos = i + 1;
      return out;
    }
    if (c == '\\' && i + 1 < text.size() && (text[i + 1] == '\\' || text[i + 1] == '"')) {
      out += text[++i];
      continue;
    }
    out += c;
  }
  return std::nullopt;
}

std::string quote(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

// "hex:..." or "hex(N):..." with its byte list; the list's bytes go to *bytes.
bool parseHex(const std::string& data, std::string* kind, std::string* bytes) {
  auto colon = data.find(':');
  if (colon == std::string::npos) return false;
  std::string head = data.substr(0, colon);
  if (head != "hex") {
    if (head.size() < 6 || head.compare(0, 4, "hex(") != 0 || head.back() != ')') return false;
    for (std::size_t i = 4; i + 1 < head.size(); ++i)
      if (!isHexDigit(head[i])) return false;
  }
  *kind = head;
  std::string list = trimBlanks(data.substr(colon + 1));
  if (list.empty()) return true;
  for (const std::string& piece : splitFields(list, ',')) {
    std::string digits = trimBlanks(piece);
    if (digits.empty() || digits.size() > 2 || !isHexDigit(digits[0]) ||
        (digits.size() == 2 && !isHexDigit(digits[1])))
      return false;
    int v = hexValue(digits[0]);
    if (digits.size() == 2) v = v * 16 + hexValue(digits[1]);
    *bytes += static_cast<char>(v);
  }
  return true;
}

std::string hexList(const std::string& bytes) {
  static const char* kHex = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0) out += ',';
    auto b = static_cast<unsigned char>(bytes[i]);
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
  return out;
}

enum class ESection { None, Ours, Foreign, Broken };

struct TParsedLine {
  bool ok = false;
  bool deletion = false;  // "name"=-
  TRegStore::TValue value;
};

TParsedLine parseValueLine(const std::string& line) {
  TParsedLine result;
  std::size_t pos = 0;
  std::string name;
  if (line[0] == '"') {
    auto quoted = readQuoted(line, pos);
    if (!quoted) return result;
    name = *quoted;
  } else if (line[0] == '@') {
    pos = 1;
  } else {
    return result;
  }
  while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
  if (pos >= line.size() || line[pos] != '=') return result;
  std::string data = trimBlanks(line.substr(pos + 1));
  TRegStore::TValue value;
  value.name = utf8ToCp1252(name);
  if (data == "-") {
    result.ok = true;
    result.deletion = true;
    result.value = value;
    return result;
  }
  if (!data.empty() && data[0] == '"') {
    std::size_t end = 0;
    auto text = readQuoted(data, end);
    if (!text || !trimBlanks(data.substr(end)).empty()) return result;
    value.type = TRegStore::EType::String;
    value.text = utf8ToCp1252(*text);
  } else if (data.compare(0, 6, "dword:") == 0) {
    std::string digits = data.substr(6);
    if (digits.empty() || digits.size() > 8) return result;
    std::uint32_t n = 0;
    for (char c : digits) {
      if (!isHexDigit(c)) return result;
      n = n * 16 + static_cast<std::uint32_t>(hexValue(c));
    }
    value.type = TRegStore::EType::Dword;
    value.number = n;
  } else if (data.compare(0, 3, "hex") == 0) {
    std::string kind;
    std::string bytes;
    if (!parseHex(data, &kind, &bytes)) return result;
    if (kind == "hex(1)") {
      // A plain string written in hex: UTF-16 LE up to its terminating NUL.
      if (bytes.size() % 2 != 0) return result;
      auto units = bytesToUnits(bytes, 0, false);
      std::size_t n = 0;
      while (n < units.size() && units[n] != 0) ++n;
      units.resize(n);
      value.type = TRegStore::EType::String;
      value.text = utf8ToCp1252(utf16ToUtf8(units));
    } else {
      value.type = TRegStore::EType::Other;
      value.text = kind + ":" + hexList(bytes);
    }
  } else {
    return result;
  }
  result.ok = true;
  result.value = std::move(value);
  return result;
}

// A text that would not stay on one line (or would be cut at a NUL) is written as hex(1),
// regedit's spelling of a plain string in bytes, so no value can ever inject a line.
bool needsHex(const std::string& text) {
  return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

std::string formatData(const TRegStore::TValue& value) {
  switch (value.type) {
    case TRegStore::EType::Dword: {
      char buffer[16];
      std::snprintf(buffer, sizeof buffer, "dword:%08x", value.number);
      return buffer;
    }
    case TRegStore::EType::Other:
      return value.text;
    case TRegStore::EType::String:
      break;
  }
  std::string utf8 = cp1252ToUtf8(value.text);
  if (!needsHex(value.text)) return quote(utf8);
  std::string bytes;
  for (char16_t u : utf8ToUtf16(utf8)) {
    bytes += static_cast<char>(u & 0xFF);
    bytes += static_cast<char>(u >> 8);
  }
  bytes += std::string(2, '\0');
  return "hex(1):" + hexList(bytes);
}

}  // namespace

TRegStore::TContent TRegStore::parse(const std::string& fileBytes) {
  TContent content;
  const std::string text = decodeFile(fileBytes);
  std::vector<std::string> lines = splitFields(text, '\n');
  // The newline that ends the last line does not start another one.
  if (lines.size() > 1 && lines.back().empty()) lines.pop_back();
  // Every carriage return ending a line goes, not only the one of CR LF: a line of another
  // section ending in a stray one would otherwise lose it at the first save and change.
  for (auto& line : lines)
    while (!line.empty() && line.back() == '\r') line.pop_back();

  auto addValue = [&](TValue value) {
    for (auto& existing : content.values) {
      if (equalsNoCase(existing.name, value.name)) {
        // A later line for the same name wins, as when regedit imports the file.
        existing.type = value.type;
        existing.text = std::move(value.text);
        existing.number = value.number;
        return;
      }
    }
    content.values.push_back(std::move(value));
  };

  ESection section = ESection::None;
  bool headerSeen = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const int lineNumber = static_cast<int>(i) + 1;
    const std::string& raw = lines[i];
    std::string line = trimBlanks(raw);
    if (!headerSeen) {
      if (line.empty()) continue;
      headerSeen = true;
      if (line == Header || line == "REGEDIT4") continue;
      // A file written by hand may lack the header; its first line is then read like any
      // other, so that a section line there still opens our key.
    }
    if (line.empty() || line[0] == ';') {
      if (section == ESection::Foreign) content.foreignLines.push_back(raw);
      continue;
    }
    if (line[0] == '[') {
      if (line.back() != ']') {
        section = ESection::Broken;
        content.damagedLines.push_back(lineNumber);
        continue;
      }
      if (equalsNoCase(line.substr(1, line.size() - 2), KeyName)) {
        section = ESection::Ours;
      } else {
        section = ESection::Foreign;
        content.foreignLines.push_back(raw);
      }
      continue;
    }
    // A hex list may go on over several lines, each but the last ending in "\".
    std::string logical = line;
    std::size_t last = i;
    while (logical.back() == '\\' && logical.find("=hex") != std::string::npos &&
           last + 1 < lines.size()) {
      logical.pop_back();
      logical += trimBlanks(lines[++last]);
      if (logical.empty()) break;
    }
    if (section == ESection::Foreign) {
      for (std::size_t k = i; k <= last; ++k) content.foreignLines.push_back(lines[k]);
      i = last;
      continue;
    }
    if (section != ESection::Ours) {
      content.damagedLines.push_back(lineNumber);
      i = last;
      continue;
    }
    TParsedLine parsed = parseValueLine(logical);
    if (!parsed.ok) {
      content.damagedLines.push_back(lineNumber);
    } else if (parsed.deletion) {
      std::erase_if(content.values,
                    [&](const TValue& v) { return equalsNoCase(v.name, parsed.value.name); });
    } else {
      addValue(std::move(parsed.value));
    }
    i = last;
  }
  return content;
}

std::string TRegStore::format(const TContent& content) {
  std::string out = std::string(Header) + "\n\n[" + KeyName + "]\n";
  for (const auto& value : content.values) {
    out += value.name.empty() ? std::string("@") : quote(cp1252ToUtf8(value.name));
    out += '=';
    out += formatData(value);
    out += '\n';
  }
  out += '\n';
  for (const auto& line : content.foreignLines) out += line + "\n";
  return out;
}

TRegStore::TRegStore(std::string path) : m_path(std::move(path)) {}

bool TRegStore::open() {
  m_open = false;
  m_ignoredLink = false;
  m_content = {};
  m_lastError.clear();
  auto slash = m_path.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !makeFolders(m_path.substr(0, slash))) {
    m_lastError = "cannot create the folder of " + m_path;
    return false;
  }
  // Non-blocking so that a FIFO put in our place cannot hang the start-up.
  int fd = ::open(m_path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) {
      m_open = true;
      return true;
    }
    if (errno == ELOOP) {
      struct stat st {};
      if (::lstat(m_path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        m_ignoredLink = true;
        m_open = true;
        return true;
      }
    }
    m_lastError = "cannot open " + m_path + ": " + std::strerror(errno);
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    m_lastError = m_path + " is not a regular file";
    return false;
  }
  std::string bytes;
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      m_lastError = "cannot read " + m_path + ": " + std::strerror(errno);
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
    if (bytes.size() > kMaxFileSize) {
      m_lastError = m_path + " is too large to be a settings file";
      ::close(fd);
      return false;
    }
  }
  ::close(fd);
  m_content = parse(bytes);
  m_open = true;
  return true;
}

TRegStore::TValue* TRegStore::find(const std::string& name) {
  for (auto& value : m_content.values)
    if (equalsNoCase(value.name, name)) return &value;
  return nullptr;
}

const TRegStore::TValue* TRegStore::find(const std::string& name) const {
  return const_cast<TRegStore*>(this)->find(name);
}

TRegStore::TValue& TRegStore::slot(const std::string& name) {
  if (TValue* value = find(name)) return *value;
  m_content.values.push_back(TValue{name, EType::String, {}, 0});
  return m_content.values.back();
}

bool TRegStore::exists(const std::string& name) const { return find(name) != nullptr; }

std::optional<std::string> TRegStore::readString(const std::string& name) const {
  const TValue* value = find(name);
  if (value == nullptr || value->type != EType::String) return std::nullopt;
  return value->text;
}

std::optional<std::uint32_t> TRegStore::readDword(const std::string& name) const {
  const TValue* value = find(name);
  if (value == nullptr || value->type != EType::Dword) return std::nullopt;
  return value->number;
}

void TRegStore::writeString(const std::string& name, const std::string& text) {
  TValue& value = slot(name);
  value.type = EType::String;
  value.text = text;
  value.number = 0;
}

void TRegStore::writeDword(const std::string& name, std::uint32_t number) {
  TValue& value = slot(name);
  value.type = EType::Dword;
  value.text.clear();
  value.number = number;
}

bool TRegStore::deleteValue(const std::string& name) {
  return std::erase_if(m_content.values,
                       [&](const TValue& v) { return equalsNoCase(v.name, name); }) > 0;
}

std::vector<std::string> TRegStore::valueNames() const {
  std::vector<std::string> names;
  for (const auto& value : m_content.values) names.push_back(value.name);
  return names;
}

bool TRegStore::save() {
  m_lastError.clear();
  if (!m_open) {
    m_lastError = "the store is not open";
    return false;
  }
  if (!writeFileAtomically(m_path, format(m_content), 0600, &m_lastError)) return false;
  m_content.damagedLines.clear();
  m_ignoredLink = false;
  removeStaleTemporaries(m_path, kStaleTemporaryAge);
  return true;
}
