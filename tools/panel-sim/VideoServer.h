#pragma once

#include <netinet/in.h>

#include <chrono>

#include "tools/panel-sim/CommandLine.h"
#include "tools/panel-sim/Net.h"
#include "tools/panel-sim/PatternPool.h"
#include "tools/panel-sim/StopSignal.h"

// The panel's video port: GET "/?action=streaming" answered with a multipart/x-mixed-replace
// stream of test-pattern JPEG parts, each a boundary line, "Content-Type: image/jpeg",
// "Content-Length: N", an empty line, the JPEG bytes and CR LF; or with 401 when Basic
// credentials are asked and wrong. The misbehaviour switches of TVideoOptions bend that.
//
// Serves one client on the calling thread (a TTcpServer client thread) until the client goes,
// a misbehaviour ends it, or the stop signal. Owns the connection; logs connect and disconnect.
// Patterns come from `patterns`, shared by the server's clients.
void serveVideoClient(TFd client, const sockaddr_in& peer, const TVideoOptions& options,
                      TPatternPool& patterns, const TStopSignal& stop);

// The first tick of the panel's frame clock at or after `now`. The clock runs from the steady
// clock's epoch in steps of `period`, so every client of one panel (and of panels started
// apart) meets the same ticks whenever it connects.
std::chrono::steady_clock::time_point nextFrameTick(std::chrono::steady_clock::time_point now,
                                                    std::chrono::steady_clock::duration period);
