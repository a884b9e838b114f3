#pragma once

#include <string>

// The voice message as a standard RIFF WAVE file: one "fmt " chunk (PCM, mono, 8-bit,
// 8000 Hz) and one "data" chunk holding the samples, padded to an even size as RIFF asks.
std::string wavFileBytes(const std::string& pcm);

// Size of the header before the samples.
inline constexpr std::size_t kWavHeaderSize = 44;

// Writes the file in place of any earlier one: created 0600, never through a symbolic link
// planted at the path. False with the reason in *error when it cannot be written.
bool writeWavFile(const std::string& path, const std::string& pcm, std::string* error);

// The whole content of a file, opened without following a symbolic link. False with the
// reason in *error when it cannot be read.
bool readFileNoFollow(const std::string& path, std::string* bytes, std::string* error);
