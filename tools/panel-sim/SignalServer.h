#pragma once

#include <netinet/in.h>

#include <string>

#include "tools/panel-sim/Net.h"
#include "tools/panel-sim/StopSignal.h"

// The panel's own signalling port: a workstation sends "favstream;<its address>" in clear and
// gets one answer, `clearAnswer` ("start;LOGIN;PASSWORD;VIDEOPORT") scrambled with one pass.
// Anything else is logged and left unanswered.
//
// Serves one connection on the calling thread (a TTcpServer client thread); owns it.
void serveSignalClient(TFd client, const sockaddr_in& peer, const std::string& clearAnswer,
                       const TStopSignal& stop);
