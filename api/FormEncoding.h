#pragma once

#include <string>

// The byte encodings the panels expect in API requests. Texts are Windows-1252 bytes.

// The payload's form encoding: bytes up to the first zero byte; A-Z a-z 0-9 and ! $ ' ( ) * - .
// @ _ are copied, a space becomes "+", every other byte becomes "%" and two lower-case hex digits.
std::string formEncode(const std::string& text);

// The encoding of one POST form field: the text after the first "=" is re-encoded, where
// * # % < > space [ ] and every byte below 33 or above 128 become "%" and two upper-case hex
// digits; everything else (the name included) is copied.
std::string fieldEncode(const std::string& field);

// Credentials inserted into a GET query as they are, so "&", "=" and "#" keep their effect in
// the URL; only the bytes no URL may hold (space, control characters, bytes of 128 and more)
// are percent-encoded, otherwise the HTTP library would refuse the whole request.
std::string urlVerbatim(const std::string& text);

// True when the text holds CR, LF or NUL, which must never reach a header or a request line.
bool hasLineBreakOrNul(const std::string& text);
