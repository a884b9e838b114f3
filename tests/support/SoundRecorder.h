#pragma once

#include <QProcessEnvironment>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Records a PulseAudio source with parec (a real client nobody here wrote): s16le mono at the
// given rate, for the tests of the real sound path. The Qt event loop keeps running while it
// records, so sockets and processes of the test go on working meanwhile.
//
// env: the environment that reaches the server (TPulseServer::environment()). device: the
// source, by default the null sink's monitor. Nothing (with the reason in error) when parec
// fails or gives less than asked before a generous deadline.
std::optional<std::vector<std::int16_t>> recordSeconds(const QProcessEnvironment& env, int rate,
                                                       double seconds, std::string* error = nullptr,
                                                       const std::string& device = "nul.monitor");
