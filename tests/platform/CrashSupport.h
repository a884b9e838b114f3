#pragma once

#include <string>
#include <vector>

// For the tests that kill a writer at varying instants: how many rounds (60 in the suite; the
// long check sets OSTREL_CRASH_ROUNDS), and one round of running a helper that writes in a loop
// and printing one byte per finished write.
int crashRounds();

// Starts helper with args, waits for its first finished write, lets it run delayMicros more and
// kills it. Empty when the helper was killed as planned, else what went wrong.
std::string killWriterMidLoop(const std::string& helper, const std::vector<std::string>& args,
                              unsigned delayMicros);
