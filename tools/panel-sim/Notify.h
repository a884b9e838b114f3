#pragma once

#include <netinet/in.h>

#include <chrono>
#include <optional>
#include <string>

#include "tools/panel-sim/CommandLine.h"
#include "tools/panel-sim/Net.h"
#include "tools/panel-sim/SimLog.h"

// How long a panel waits for the workstation's reply to "ntmy".
inline constexpr std::chrono::milliseconds ReplyWait{2000};

// A new connection to a workstation's notification port, from the local address `from` when
// given. Throws ENetError when the workstation cannot be reached.
TFd connectWorkstation(const sockaddr_in& to, const std::optional<in_addr>& from, int stopFd = -1);

// Where the line telling what was sent goes: the event log of a serving panel (stdout), or
// stderr for the notify command, whose stdout carries the workstation's reply alone.
using TReport = void (*)(const std::string& line);

// Sends `clearText` on a connection made by connectWorkstation, as sendNotification below
// does, but leaves closing to the caller.
std::string notifyOn(int fd, const sockaddr_in& to, const std::string& clearText, bool awaitReply,
                     int stopFd = -1, TReport report = logLine);

// Sends `clearText`, scrambled with one pass, on a new TCP connection to `to` (from the local
// address `from` when given), in one piece and without terminator, then closes the
// connection. With awaitReply, first waits up to ReplyWait for the workstation's answer and
// returns it as received (empty when none came). Reports what it sent. Any thread; stopFd (if
// not -1) cuts the waits short. Throws ENetError when the workstation cannot be reached.
std::string sendNotification(const sockaddr_in& to, const std::optional<in_addr>& from,
                             const std::string& clearText, bool awaitReply, int stopFd = -1,
                             TReport report = logLine);

// The notify command: returns the exit status.
int runNotify(const TNotifyOptions& options);
