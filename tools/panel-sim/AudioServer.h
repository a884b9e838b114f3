#pragma once

#include <netinet/in.h>

#include "tools/panel-sim/CommandLine.h"
#include "tools/panel-sim/Net.h"
#include "tools/panel-sim/StopSignal.h"

// The panel's audio service: sends the format block, waits for the workstation's "READY",
// then streams PCM paced in real time (or faster, with --audio-fast) until the workstation
// closes, a misbehaviour ends it, or the stop signal. Serves one client on the calling thread
// (a TTcpServer client thread); owns the connection; logs connect and disconnect.
void serveAudioClient(TFd client, const sockaddr_in& peer, const TAudioOptions& options,
                      const TStopSignal& stop);
