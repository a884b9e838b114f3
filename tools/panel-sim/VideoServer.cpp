#include "tools/panel-sim/VideoServer.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <stdexcept>

#include "base/TimingMark.h"
#include "tools/panel-sim/HttpRequest.h"
#include "tools/panel-sim/PatternPool.h"
#include "tools/panel-sim/SimLog.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

constexpr const char* StreamPath = "/?action=streaming";
constexpr const char* Boundary = "panelsimframe";
// A workstation sends its request at once and it is a few lines long.
constexpr milliseconds RequestWait{5000};
constexpr std::size_t MaxRequestHead = 16384;

// Reads up to the empty line ending the request head. Empty when the client sent none in
// time, closed, or sent more than a request head can be.
std::string readRequestHead(int fd, const TStopSignal& stop) {
  std::string head;
  const auto deadline = steady_clock::now() + RequestWait;
  while (head.find("\r\n\r\n") == std::string::npos && head.find("\n\n") == std::string::npos) {
    auto left = std::chrono::duration_cast<milliseconds>(deadline - steady_clock::now());
    if (left.count() <= 0 || head.size() > MaxRequestHead) return {};
    std::string chunk = receiveSome(fd, left, 4096, stop.fd());
    if (chunk.empty()) return {};
    head += chunk;
  }
  return head;
}

void sendError(int fd, const std::string& status, const std::string& extraHeaders,
               const TStopSignal& stop) {
  const std::string body =
      "<html><head><title>" + status + "</title></head><body><h1>" + status + "</h1></body></html>";
  sendAll(fd,
          "HTTP/1.1 " + status + "\r\n" + extraHeaders +
              "Content-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) +
              "\r\nConnection: close\r\n\r\n" + body,
          stop.fd());
  finishConnection(fd, milliseconds(2000), stop.fd());
}

// Drops what the client may still have sent, so that closing does not reset the connection
// and throw away the bytes we sent last.
void drain(int fd) {
  char sink[1024];
  while (::recv(fd, sink, sizeof sink, MSG_DONTWAIT) > 0) {
  }
}

// The stream itself; returns why it ended, for the disconnect line.
std::string stream(int fd, const std::string& who, const TVideoOptions& options,
                   TPatternPool& patterns, const TStopSignal& stop, std::uint64_t& framesSent) {
  std::string header = "HTTP/1.1 200 OK\r\n";
  const std::string contentType =
      options.contentType.value_or(std::string("multipart/x-mixed-replace;boundary=") + Boundary);
  if (!contentType.empty()) header += "Content-Type: " + contentType + "\r\n";
  header += "Cache-Control: no-cache\r\nConnection: close\r\n\r\n";
  if (!sendAll(fd, header, stop.fd())) return "the client went away";

  const TPatternPool::THeld pattern = patterns.take();
  const auto period = std::chrono::duration_cast<steady_clock::duration>(
      std::chrono::duration<double>(1.0 / options.fps));
  auto next = steady_clock::now();
  if (options.frameClock) {
    const auto now = next;
    next = nextFrameTick(now, period);
    logLine(
        who + " waits " +
        std::to_string(std::chrono::duration_cast<std::chrono::microseconds>(next - now).count()) +
        " us for the next frame tick");
    if (!watchClient(fd, next, stop.fd()))
      return stop.stopped() ? "stopped" : "the client went away";
  }
  std::string part;
  for (std::uint64_t number = 1;; ++number) {
    if (options.stallAfter && framesSent == *options.stallAfter) {
      logLine(who + " stalling after " + std::to_string(framesSent) + " frames");
      watchClient(fd, steady_clock::time_point::max(), stop.fd());
      return stop.stopped() ? "stopped" : "the client went away while stalled";
    }
    if (number == 1) timingMark("first-frame-start");
    auto jpeg = pattern->frame(number, std::chrono::system_clock::now());
    if (number == 1) timingMark("first-frame-encoded");
    part = std::string("--") + Boundary + "\r\nContent-Type: image/jpeg\r\n";
    if (!options.noContentLength) part += "Content-Length: " + std::to_string(jpeg.size()) + "\r\n";
    part += "\r\n";
    const bool cut = options.closeMidFrame && number == *options.closeMidFrame;
    part.append(reinterpret_cast<const char*>(jpeg.data()), cut ? jpeg.size() / 2 : jpeg.size());
    if (cut) {
      sendAll(fd, part, stop.fd());
      drain(fd);
      return "closed in the middle of frame " + std::to_string(number) + " (" +
             std::to_string(jpeg.size() / 2) + " of " + std::to_string(jpeg.size()) + " bytes)";
    }
    part += "\r\n";
    if (!sendAll(fd, part, stop.fd())) return stop.stopped() ? "stopped" : "the client went away";
    if (number == 1) timingMark("first-frame-sent");
    ++framesSent;
    next += period;
    // A client that reads slower than the frame rate gets frames as fast as it reads, not a
    // burst to catch up afterwards.
    if (next < steady_clock::now()) next = steady_clock::now();
    if (!watchClient(fd, next, stop.fd()))
      return stop.stopped() ? "stopped" : "the client went away";
  }
}

}  // namespace

void serveVideoClient(TFd client, const sockaddr_in& peer, const TVideoOptions& options,
                      TPatternPool& patterns, const TStopSignal& stop) {
  const std::string who = "video: client " + endpointText(peer);
  logLine(who + " connected");
  const int fd = client.get();
  std::uint64_t framesSent = 0;
  std::string reason;
  try {
    const std::string head = readRequestHead(fd, stop);
    auto request = parseRequestHead(head);
    if (head.empty()) {
      reason = "no request";
    } else if (!request) {
      sendError(fd, "400 Bad Request", "", stop);
      reason = "bad request (400)";
    } else if (request->method != "GET") {
      sendError(fd, "405 Method Not Allowed", "Allow: GET\r\n", stop);
      reason = request->method + " refused (405)";
    } else if (request->target != StreamPath) {
      sendError(fd, "404 Not Found", "", stop);
      reason = "GET " + request->target + " not found (404)";
    } else if (!options.login.empty() &&
               !basicCredentialsMatch(headerValue(*request, "Authorization").value_or(""),
                                      options.login, options.password)) {
      sendError(fd, "401 Unauthorized", "WWW-Authenticate: Basic realm=\"panel-sim\"\r\n", stop);
      reason = "wrong credentials (401)";
    } else {
      logLine(who + " GET " + request->target);
      reason = stream(fd, who, options, patterns, stop, framesSent);
    }
  } catch (const std::exception& e) {
    errorLine(who + ": " + e.what());
    reason = "error";
  }
  logLine(who + " disconnected after " + std::to_string(framesSent) + " frames: " + reason);
}

std::chrono::steady_clock::time_point nextFrameTick(std::chrono::steady_clock::time_point now,
                                                    std::chrono::steady_clock::duration period) {
  if (period.count() <= 0) return now;
  const auto since = now.time_since_epoch();
  const auto ticks = (since + period - std::chrono::steady_clock::duration(1)) / period;
  return std::chrono::steady_clock::time_point(ticks * period);
}
