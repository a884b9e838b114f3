#pragma once

#include <netinet/in.h>

#include "tools/panel-sim/CommandLine.h"
#include "tools/panel-sim/Net.h"
#include "tools/panel-sim/StopSignal.h"

// The panel's video port: GET "/?action=streaming" answered with a multipart/x-mixed-replace
// stream of test-pattern JPEG parts, each a boundary line, "Content-Type: image/jpeg",
// "Content-Length: N", an empty line, the JPEG bytes and CR LF; or with 401 when Basic
// credentials are asked and wrong. The misbehaviour switches of TVideoOptions bend that.
//
// Serves one client on the calling thread (a TTcpServer client thread) until the client goes,
// a misbehaviour ends it, or the stop signal. Owns the connection; logs connect and disconnect.
void serveVideoClient(TFd client, const sockaddr_in& peer, const TVideoOptions& options,
                      const TStopSignal& stop);
