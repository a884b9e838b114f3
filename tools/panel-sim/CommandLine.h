#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "tools/panel-sim/AudioSource.h"
#include "tools/panel-sim/Net.h"

// The command line of the simulated panel. The notify forms are relied on by other tools and
// tests, so they are kept exactly as documented in usageText().

inline constexpr std::uint16_t SignalPort = 2201;
inline constexpr std::uint16_t DiscoveryPort = 22451;

// A command line that cannot be followed; its text says why.
class EUsageError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

struct THelpCommand {};

// panel-sim notify --to HOST[:PORT] [--from SRCADDR] VERB ARGS...
struct TNotifyOptions {
  THostPort to;
  std::optional<in_addr> from;
  std::string verb;       // start, stop, ntmy or raw
  std::string clearText;  // the message before scrambling
  bool awaitReply = false;
};

struct TVideoOptions {
  std::uint16_t port = 0;
  int width = 640;
  int height = 480;
  int fps = 10;
  std::string login;  // both empty: no credentials asked
  std::string password;
  std::optional<std::string> contentType;  // replaces the multipart type; "" drops the line
  std::optional<std::uint64_t> stallAfter;
  std::optional<std::uint64_t> closeMidFrame;  // frames count from 1
  bool noContentLength = false;
  // Frames go out on the panel's own clock only, as many cameras send them: a new client waits
  // for the next tick instead of getting a frame at once.
  bool frameClock = false;
};

// How the API asks for credentials. The login and password are those of --login/--password.
enum class TApiAuth { None, Basic, Digest };

struct TApiOptions {
  std::uint16_t port = 0;
  bool tls = false;  // HTTPS with a self-signed certificate made at start
  TApiAuth auth = TApiAuth::None;
  int status = 200;  // the answer once the credentials passed
  bool opaque = false;
  std::string algorithm = "MD5";  // as announced in the challenge; "" leaves it out
  std::string requestsFile;       // empty: the received requests go to stdout
  std::string voiceDir;           // where received voice messages are written; empty: nowhere
  bool play = false;              // play each voice message on this machine's sound output
};

// The audio service: the format block, "READY" awaited, then PCM paced in real time.
struct TAudioOptions {
  std::uint16_t port = 0;
  double toneHz = 440;
  std::string wavFile;          // the samples of this file instead of the tone
  std::optional<TWavFile> wav;  // its content, read by main() before serving
  TPcmFormat format;            // of the tone (a WAV file brings its own)
  bool noFormat = false;
  bool oversizedFormat = false;
  bool silence = false;
  std::optional<std::uint64_t> closeAfter;  // PCM bytes
  double fastPercent = 0;                   // the panel's clock runs this much fast
  std::uint32_t clicksMs = 0;    // silence with a full-scale click every this many ms (0: none)
  bool clicksOverFloor = false;  // the clicks over a faint tone rather than digital silence
};

struct TCallOptions {
  THostPort workstation;
  double everySeconds = 30;
  double hangupAfterSeconds = 10;
  std::vector<std::string> identities;  // called, then calling; as given, with "@"
};

struct TServeOptions {
  in_addr bind{};  // INADDR_ANY unless --bind
  bool bindGiven = false;
  TVideoOptions video;
  bool videoGiven = false;
  std::optional<TApiOptions> api;
  std::optional<TAudioOptions> audio;
  std::optional<std::uint16_t> signalPort;
  // A panel answers discovery unless told not to (--no-discovery).
  std::optional<std::uint16_t> discoveryPort = DiscoveryPort;
  std::uint16_t notifyPort = 2201;
  std::optional<in_addr> announce;
  std::optional<TCallOptions> call;
};

// panel-sim scramble TEXT: TEXT as a workstation stores a secret (the strike code of its
// settings), for scripts that write a settings file.
struct TScrambleCommand {
  std::string text;
};

using TCommand = std::variant<THelpCommand, TNotifyOptions, TServeOptions, TScrambleCommand>;

// args excludes the program name. Throws EUsageError.
TCommand parseCommandLine(const std::vector<std::string>& args);

// The text printed by --help.
std::string usageText();
