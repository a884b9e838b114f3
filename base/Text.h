#pragma once

#include <string>
#include <vector>

// Texts inside the program are 8-bit Windows-1252 strings; these helpers convert at the edges.

// The pieces between occurrences of a one-character delimiter. Empty pieces are kept; a text
// without the delimiter gives one piece; the empty text gives one empty piece.
std::vector<std::string> splitFields(const std::string& text, char delimiter);

// Joins pieces with a one-character delimiter (the inverse of splitFields).
std::string joinFields(const std::vector<std::string>& pieces, char delimiter);

// Appends one Unicode code point as UTF-8.
void appendUtf8(std::string& out, char32_t codePoint);

// Windows-1252 to UTF-8 and back. Characters with no Windows-1252 form become "?".
std::string cp1252ToUtf8(const std::string& text);
std::string utf8ToCp1252(const std::string& text);

// Lower-cases the letters A to Z only.
std::string lowerAscii(std::string text);

// Removes leading and trailing blanks and control characters (bytes up to 32).
std::string trimText(const std::string& text);

// True when the text starts with the prefix.
bool startsWith(const std::string& text, const std::string& prefix);
