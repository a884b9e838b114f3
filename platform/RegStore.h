#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The settings "registry key" on Linux: one text file in regedit's export format,
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\Software\Halvex\HalvexStream]
//   "platines"="192.168.1.10"
//   "priority"=dword:00000000
//
// so that a user coming from Windows can drop in what regedit exported (UTF-16 LE with a
// byte-order mark) and find their settings. Read as UTF-16 (with BOM), UTF-8 (with or without
// BOM) or, for the old "REGEDIT4" header, Windows-1252; always written as UTF-8.
//
// Value names compare without regard to case, as in the registry; a value keeps the spelling
// and the place it had when first created. Strings and numbers are kept apart: reading a
// string where a number is expected fails like a missing value. Values of other registry types
// (hex:..., hex(7):...) and other keys' sections are kept unchanged when the file is rewritten.
// Names and texts are Windows-1252 in memory.
//
// One object per use, on one thread. Nothing reaches the disk before save().
class TRegStore {
 public:
  static constexpr const char* Header = "Windows Registry Editor Version 5.00";
  static constexpr const char* KeyName = "HKEY_CURRENT_USER\\Software\\Halvex\\HalvexStream";

  enum class EType { String, Dword, Other };

  struct TValue {
    std::string name;  // Windows-1252; "" is the key's default value ("@")
    EType type = EType::String;
    std::string text;  // String: the text; Other: the data as written after "=", e.g. hex:01,02
    std::uint32_t number = 0;
  };

  // What a file holds: our key's values in file order, the lines of other sections kept as
  // they were, and the 1-based numbers of the lines that could not be understood.
  struct TContent {
    std::vector<TValue> values;
    std::vector<std::string> foreignLines;  // UTF-8
    std::vector<int> damagedLines;
  };

  explicit TRegStore(std::string path);

  // Opens with create, as the registry does: makes the folder (0700) when it is missing and
  // reads the file when there is one. A symbolic link in place of the file is not ours and is
  // neither read nor followed: the store starts empty and save() replaces the link. False when
  // the folder cannot be made or the file cannot be read; the store is then empty and closed.
  bool open();
  bool isOpen() const { return m_open; }
  // True when open() found a symbolic link in the file's place and left it alone.
  bool ignoredLink() const { return m_ignoredLink; }

  // True when the last open() met lines it could not understand. Their values are missing;
  // the caller should not rewrite the file on its own account (the user may still mend it).
  bool damaged() const { return !m_content.damagedLines.empty(); }
  const std::vector<int>& damagedLines() const { return m_content.damagedLines; }

  bool exists(const std::string& name) const;
  // Nothing when the value is missing or of another type.
  std::optional<std::string> readString(const std::string& name) const;
  std::optional<std::uint32_t> readDword(const std::string& name) const;
  // Creates the value at the end, or replaces an existing one (any type) in place.
  void writeString(const std::string& name, const std::string& text);
  void writeDword(const std::string& name, std::uint32_t number);
  // True when there was such a value.
  bool deleteValue(const std::string& name);
  // Names in file order.
  std::vector<std::string> valueNames() const;

  // Writes the whole store to its file by atomic replacement. False, with lastError() set,
  // when the store is not open or the file could not be replaced (the old file then stays).
  bool save();
  const std::string& lastError() const { return m_lastError; }
  const std::string& path() const { return m_path; }

  // The file format on its own (no I/O), for tests and fuzzing.
  static TContent parse(const std::string& fileBytes);
  static std::string format(const TContent& content);

 private:
  TValue* find(const std::string& name);
  const TValue* find(const std::string& name) const;
  TValue& slot(const std::string& name);

  std::string m_path;
  bool m_open = false;
  bool m_ignoredLink = false;
  TContent m_content;
  std::string m_lastError;
};
