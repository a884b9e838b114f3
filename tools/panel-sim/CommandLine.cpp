#include "tools/panel-sim/CommandLine.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "base/Text.h"
#include "tools/panel-sim/Messages.h"

namespace {

// Walks the arguments; options take their value as the next argument or after "=".
class TArgs {
 public:
  explicit TArgs(const std::vector<std::string>& args) : m_args(args) {}

  bool done() const { return m_next >= m_args.size(); }
  const std::string& peek() const { return m_args[m_next]; }
  std::string take() { return m_args[m_next++]; }

  // Splits "--name=value" so that value() returns the part after "=".
  std::string takeOption() {
    std::string arg = take();
    m_inlineValue.reset();
    auto eq = arg.find('=');
    if (eq != std::string::npos) {
      m_inlineValue = arg.substr(eq + 1);
      arg.resize(eq);
    }
    return arg;
  }

  std::string value(const std::string& option) {
    if (m_inlineValue) {
      std::string v = *m_inlineValue;
      m_inlineValue.reset();
      return v;
    }
    if (done()) throw EUsageError(option + " needs a value");
    return take();
  }

  void noValue(const std::string& option) const {
    if (m_inlineValue) throw EUsageError(option + " takes no value");
  }

 private:
  const std::vector<std::string>& m_args;
  std::size_t m_next = 0;
  std::optional<std::string> m_inlineValue;
};

in_addr addressValue(const std::string& option, const std::string& text) {
  auto a = parseIpv4(text);
  if (!a) throw EUsageError(option + ": \"" + text + "\" is not a dotted IPv4 address");
  return *a;
}

std::uint16_t portValue(const std::string& option, const std::string& text, bool allowZero) {
  auto p = parsePort(text, allowZero);
  if (!p)
    throw EUsageError(option + ": \"" + text + "\" is not a port (" + (allowZero ? "0" : "1") +
                      " to 65535)");
  return *p;
}

THostPort hostPortValue(const std::string& option, const std::string& text) {
  auto hp = splitHostPort(text, SignalPort);
  if (!hp) throw EUsageError(option + ": \"" + text + "\" is not HOST[:PORT]");
  return *hp;
}

std::uint64_t countValue(const std::string& option, const std::string& text, std::uint64_t min,
                         std::uint64_t max) {
  errno = 0;
  char* end = nullptr;
  unsigned long long v = std::strtoull(text.c_str(), &end, 10);
  if (text.empty() || text[0] < '0' || text[0] > '9' || *end != '\0' || errno != 0 || v < min ||
      v > max)
    throw EUsageError(option + ": \"" + text + "\" is not a whole number from " +
                      std::to_string(min) + " to " + std::to_string(max));
  return v;
}

double secondsValue(const std::string& option, const std::string& text) {
  errno = 0;
  char* end = nullptr;
  double v = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || errno != 0 || !std::isfinite(v) || v <= 0 || v > 86400)
    throw EUsageError(option + ": \"" + text + "\" is not a number of seconds above 0");
  return v;
}

void rejectSemicolon(const std::string& what, const std::string& text) {
  if (text.find(';') != std::string::npos)
    throw EUsageError(what + " must not contain \";\" (it separates the fields)");
}

TNotifyOptions parseNotify(TArgs& args) {
  TNotifyOptions o;
  bool toGiven = false;
  while (!args.done() && args.peek().rfind("--", 0) == 0) {
    std::string option = args.takeOption();
    if (option == "--to") {
      o.to = hostPortValue(option, args.value(option));
      toGiven = true;
    } else if (option == "--from") {
      o.from = addressValue(option, args.value(option));
    } else {
      throw EUsageError("notify: unknown option " + option);
    }
  }
  if (!toGiven) throw EUsageError("notify needs --to HOST[:PORT]");
  if (args.done()) throw EUsageError("notify needs a message: start, stop, ntmy or raw");
  o.verb = args.take();
  std::vector<std::string> rest;
  while (!args.done()) rest.push_back(args.take());

  if (o.verb == "start") {
    if (rest.size() < 3 || rest.size() > 5)
      throw EUsageError("notify start takes LOGIN PASSWORD VIDEOPORT [CALLED [CALLING]]");
    const char* names[] = {"LOGIN", "PASSWORD", "VIDEOPORT", "CALLED", "CALLING"};
    for (std::size_t i = 0; i < rest.size(); ++i) rejectSemicolon(names[i], rest[i]);
    o.clearText = startMessage(rest[0], rest[1], rest[2], {rest.begin() + 3, rest.end()});
  } else if (o.verb == "stop") {
    if (!rest.empty()) throw EUsageError("notify stop takes no arguments");
    o.clearText = StopMessage;
  } else if (o.verb == "ntmy") {
    if (rest.size() != 1) throw EUsageError("notify ntmy takes IP");
    rejectSemicolon("IP", rest[0]);
    o.clearText = ntmyMessage(rest[0]);
    o.awaitReply = true;
  } else if (o.verb == "raw") {
    if (rest.size() != 1) throw EUsageError("notify raw takes one TEXT");
    o.clearText = rest[0];
  } else {
    throw EUsageError("notify: unknown message \"" + o.verb + "\" (start, stop, ntmy or raw)");
  }
  return o;
}

void parseSize(const std::string& option, const std::string& text, TVideoOptions& video) {
  auto x = text.find_first_of("xX");
  if (x == std::string::npos) throw EUsageError(option + ": \"" + text + "\" is not WxH");
  // Beyond 8192 on a side the workstation refuses the frames; allow a little more to test that.
  video.width = static_cast<int>(countValue(option, text.substr(0, x), 16, 10000));
  video.height = static_cast<int>(countValue(option, text.substr(x + 1), 16, 10000));
}

TApiAuth authValue(const std::string& option, const std::string& text) {
  const std::string lower = lowerAscii(text);
  if (lower == "none") return TApiAuth::None;
  if (lower == "basic") return TApiAuth::Basic;
  if (lower == "digest") return TApiAuth::Digest;
  throw EUsageError(option + ": \"" + text + "\" is not none, basic or digest");
}

// The algorithm goes unquoted into the challenge, so it must be a token.
std::string algorithmValue(const std::string& option, const std::string& text) {
  for (char c : text)
    if (c <= ' ' || c >= 127 || std::strchr("\"(),/:;<=>?@[\\]{}", c))
      throw EUsageError(option + ": \"" + text + "\" is not a token such as MD5");
  return text;
}

double numberValue(const std::string& option, const std::string& text, double min, double max) {
  errno = 0;
  char* end = nullptr;
  double v = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || errno != 0 || !std::isfinite(v) || v < min || v > max) {
    std::ostringstream range;
    range << min << " to " << max;
    throw EUsageError(option + ": \"" + text + "\" is not a number from " + range.str());
  }
  return v;
}

TServeOptions parseServe(TArgs& args) {
  TServeOptions o;
  o.bind.s_addr = htonl(INADDR_ANY);
  bool loginGiven = false;
  bool passwordGiven = false;
  bool discoveryAsked = false;
  bool noDiscovery = false;
  std::optional<TCallOptions> call;
  std::optional<std::string> called;
  std::optional<std::string> calling;
  TApiOptions api;
  bool apiGiven = false;
  TAudioOptions audio;
  bool audioGiven = false;
  bool audioDetailGiven = false;  // an audio switch, meaningless without --audio
  bool toneGiven = false;
  bool formatGiven = false;
  bool apiDetailGiven = false;  // an API switch, meaningless without --api
  while (!args.done()) {
    std::string option = args.takeOption();
    if (option == "--video") {
      o.video.port = portValue(option, args.value(option), true);
      o.videoGiven = true;
    } else if (option == "--api") {
      api.port = portValue(option, args.value(option), true);
      apiGiven = true;
    } else if (option == "--tls") {
      args.noValue(option);
      api.tls = true;
      apiDetailGiven = true;
    } else if (option == "--auth") {
      api.auth = authValue(option, args.value(option));
      apiDetailGiven = true;
    } else if (option == "--status") {
      api.status = static_cast<int>(countValue(option, args.value(option), 200, 599));
      apiDetailGiven = true;
    } else if (option == "--opaque") {
      args.noValue(option);
      api.opaque = true;
      apiDetailGiven = true;
    } else if (option == "--algorithm") {
      api.algorithm = algorithmValue(option, args.value(option));
      apiDetailGiven = true;
    } else if (option == "--requests") {
      api.requestsFile = args.value(option);
      if (api.requestsFile.empty()) throw EUsageError("--requests needs a file name");
      apiDetailGiven = true;
    } else if (option == "--voice-dir") {
      api.voiceDir = args.value(option);
      if (api.voiceDir.empty()) throw EUsageError("--voice-dir needs a folder");
      apiDetailGiven = true;
    } else if (option == "--play") {
      args.noValue(option);
      api.play = true;
      apiDetailGiven = true;
    } else if (option == "--audio") {
      audio.port = portValue(option, args.value(option), true);
      audioGiven = true;
    } else if (option == "--tone") {
      audio.toneHz = numberValue(option, args.value(option), 1, 20000);
      toneGiven = audioDetailGiven = true;
    } else if (option == "--wav") {
      audio.wavFile = args.value(option);
      if (audio.wavFile.empty()) throw EUsageError("--wav needs a file name");
      audioDetailGiven = true;
    } else if (option == "--rate") {
      audio.format.rate =
          static_cast<std::uint32_t>(countValue(option, args.value(option), 1000, 192000));
      formatGiven = audioDetailGiven = true;
    } else if (option == "--bits") {
      const std::string text = args.value(option);
      if (text != "8" && text != "16")
        throw EUsageError(option + ": \"" + text + "\" is not 8 or 16");
      audio.format.bits = static_cast<std::uint16_t>(text == "8" ? 8 : 16);
      formatGiven = audioDetailGiven = true;
    } else if (option == "--channels") {
      audio.format.channels =
          static_cast<std::uint16_t>(countValue(option, args.value(option), 1, 2));
      formatGiven = audioDetailGiven = true;
    } else if (option == "--audio-no-format") {
      args.noValue(option);
      audio.noFormat = audioDetailGiven = true;
    } else if (option == "--audio-oversized-format") {
      args.noValue(option);
      audio.oversizedFormat = audioDetailGiven = true;
    } else if (option == "--audio-silence") {
      args.noValue(option);
      audio.silence = audioDetailGiven = true;
    } else if (option == "--audio-close-after") {
      audio.closeAfter = countValue(option, args.value(option), 0, UINT32_MAX);
      audioDetailGiven = true;
    } else if (option == "--audio-fast") {
      audio.fastPercent = numberValue(option, args.value(option), 0, 1000);
      audioDetailGiven = true;
    } else if (option == "--audio-floor") {
      args.noValue(option);
      audio.clicksOverFloor = audioDetailGiven = true;
    } else if (option == "--audio-clicks") {
      audio.clicksMs =
          static_cast<std::uint32_t>(countValue(option, args.value(option), 20, 60000));
      audioDetailGiven = true;
    } else if (option == "--bind") {
      o.bind = addressValue(option, args.value(option));
      o.bindGiven = true;
    } else if (option == "--size") {
      parseSize(option, args.value(option), o.video);
    } else if (option == "--fps") {
      o.video.fps = static_cast<int>(countValue(option, args.value(option), 1, 100));
    } else if (option == "--login") {
      o.video.login = args.value(option);
      loginGiven = true;
    } else if (option == "--password") {
      o.video.password = args.value(option);
      passwordGiven = true;
    } else if (option == "--content-type") {
      o.video.contentType = args.value(option);
    } else if (option == "--stall-after") {
      o.video.stallAfter = countValue(option, args.value(option), 0, UINT32_MAX);
    } else if (option == "--close-mid-frame") {
      o.video.closeMidFrame = countValue(option, args.value(option), 1, UINT32_MAX);
    } else if (option == "--frame-clock") {
      args.noValue(option);
      o.video.frameClock = true;
    } else if (option == "--no-content-length") {
      args.noValue(option);
      o.video.noContentLength = true;
    } else if (option == "--signal") {
      args.noValue(option);
      if (!o.signalPort) o.signalPort = SignalPort;
    } else if (option == "--signal-port") {
      o.signalPort = portValue(option, args.value(option), true);
    } else if (option == "--discovery") {
      // On by default; kept so that older command lines still work.
      args.noValue(option);
      discoveryAsked = true;
    } else if (option == "--discovery-port") {
      o.discoveryPort = portValue(option, args.value(option), true);
      discoveryAsked = true;
    } else if (option == "--no-discovery") {
      args.noValue(option);
      noDiscovery = true;
    } else if (option == "--notify-port") {
      o.notifyPort = portValue(option, args.value(option), false);
    } else if (option == "--announce") {
      o.announce = addressValue(option, args.value(option));
    } else if (option == "--call") {
      call.emplace();
      call->workstation = hostPortValue(option, args.value(option));
    } else if (option == "--every") {
      if (!call) call.emplace();
      call->everySeconds = secondsValue(option, args.value(option));
    } else if (option == "--hangup-after") {
      if (!call) call.emplace();
      call->hangupAfterSeconds = secondsValue(option, args.value(option));
    } else if (option == "--called") {
      called = args.value(option);
    } else if (option == "--calling") {
      calling = args.value(option);
    } else {
      throw EUsageError("serve: unknown option " + option);
    }
  }
  if (!o.videoGiven && !apiGiven && !audioGiven)
    throw EUsageError("serve needs --video PORT, --api PORT or --audio PORT");
  if (audioDetailGiven && !audioGiven)
    throw EUsageError("--tone, --wav, --rate, --bits, --channels and --audio-... need --audio");
  if (!audio.wavFile.empty() && (toneGiven || formatGiven || audio.silence))
    throw EUsageError(
        "--wav brings its own format and sound: not with --tone, --rate, --bits, "
        "--channels or --audio-silence");
  if (audio.clicksMs != 0 && (toneGiven || !audio.wavFile.empty() || audio.silence))
    throw EUsageError(
        "--audio-clicks sends its own sound: not with --tone, --wav or --audio-silence");
  if (audio.clicksOverFloor && audio.clicksMs == 0)
    throw EUsageError("--audio-floor goes under --audio-clicks");
  if (audio.noFormat && audio.oversizedFormat)
    throw EUsageError("--audio-no-format and --audio-oversized-format exclude each other");
  if (audioGiven) o.audio = std::move(audio);
  if (apiDetailGiven && !apiGiven)
    throw EUsageError(
        "--tls, --auth, --status, --opaque, --algorithm, --requests, --voice-dir and --play need "
        "--api");
  if (!o.videoGiven && (o.signalPort || call))
    // Both hand out the video port, so there must be one.
    throw EUsageError("--signal, --signal-port and --call need --video PORT");
  if (noDiscovery && discoveryAsked)
    throw EUsageError("--no-discovery cannot go with --discovery or --discovery-port");
  if (noDiscovery) o.discoveryPort.reset();
  if (loginGiven != passwordGiven ||
      (loginGiven && (o.video.login.empty() || o.video.password.empty())))
    // The workstation sends credentials only when it has both, so one alone could never match.
    throw EUsageError("--login and --password go together, and neither may be empty");
  if (apiGiven && api.auth != TApiAuth::None && !loginGiven)
    throw EUsageError("--auth basic and --auth digest need --login and --password");
  if (apiGiven) o.api = std::move(api);
  rejectSemicolon("--login", o.video.login);
  rejectSemicolon("--password", o.video.password);

  if (call && call->workstation.host.empty())
    throw EUsageError("--every and --hangup-after need --call HOST[:PORT]");
  if ((called || calling) && !call) throw EUsageError("--called and --calling need --call");
  if (call) {
    if (call->hangupAfterSeconds >= call->everySeconds)
      // Otherwise the next call would ring before the previous one hung up.
      throw EUsageError("--hangup-after must be shorter than --every");
    // A calling identity without a called one still sends the called field, empty.
    if (called || calling) call->identities.push_back(called.value_or(""));
    if (calling) call->identities.push_back(*calling);
    for (const auto& id : call->identities) rejectSemicolon("an identity", id);
    o.call = std::move(call);
  }
  return o;
}

}  // namespace

TCommand parseCommandLine(const std::vector<std::string>& arguments) {
  if (arguments.empty()) throw EUsageError("missing command: notify or serve");
  TArgs args(arguments);
  std::string command = args.take();
  if (command == "--help" || command == "-h" || command == "help") return THelpCommand{};
  if (command == "notify") return parseNotify(args);
  if (command == "serve") return parseServe(args);
  if (command == "scramble") {
    if (args.done()) throw EUsageError("scramble takes one TEXT");
    TScrambleCommand scramble{args.take()};
    if (!args.done()) throw EUsageError("scramble takes one TEXT");
    return scramble;
  }
  throw EUsageError("unknown command \"" + command + "\": notify, serve or scramble");
}

std::string usageText() {
  return R"(panel-sim: a simulated door panel, for demos and tests.

Usage:
  panel-sim notify --to HOST[:PORT] [--from SRCADDR] start LOGIN PASSWORD VIDEOPORT [CALLED [CALLING]]
  panel-sim notify --to HOST[:PORT] [--from SRCADDR] stop
  panel-sim notify --to HOST[:PORT] [--from SRCADDR] ntmy IP
  panel-sim notify --to HOST[:PORT] [--from SRCADDR] raw TEXT
  panel-sim serve --video PORT [OPTIONS]
  panel-sim serve --audio PORT [--tone HZ | --wav FILE] [--rate R --bits B --channels C]
                  [OPTIONS]
  panel-sim serve --api PORT [--tls] [--auth none|basic|digest] [--login L --password P]
                  [--status N] [--opaque] [--algorithm A] [--requests FILE]
                  [--voice-dir DIR [--play]] [OPTIONS]
  panel-sim scramble TEXT
  panel-sim --help

notify sends one scrambled notification to a workstation on a new TCP connection, as a
panel does, and closes it. PORT defaults to 2201. --from binds the source address, so that
one machine can play several panels (127.0.0.2, 127.0.0.3...). Identities are given with "@"
and sent with "+". ntmy prints the workstation's reply as received (nothing after 2 s) on
stdout, and nothing else: what was sent, warnings and errors go to stderr. raw sends TEXT
scrambled with one pass, as it is.
Exit status: 0 once sent, 1 when the workstation cannot be reached, 2 for a wrong command.

scramble prints TEXT scrambled as the workstation stores a secret (the strike code
"codeGache" of its settings file), for scripts that write one.

serve plays a panel until SIGINT or SIGTERM. Every option takes its value as the next
argument or after "=".
 Video: GET /?action=streaming answers multipart/x-mixed-replace JPEG test-pattern frames
  --video PORT            video port (0: any free port; every port in use is printed at start)
  --bind ADDR             local address of every socket, and source address of the
                          connections the panel opens (default: all addresses)
  --size WxH              frame size (default 640x480)
  --fps N                 frames per second, 1 to 100 (default 10)
  --frame-clock           send frames only on the panel's own frame clock, as many cameras
                          do: a new client's first frame waits for the next tick
  --login L --password P  Basic credentials to require (wrong ones get 401); the API's
                          credentials too
 API: GET and POST under /api/ answered with a short JSON body, as a panel's door relay
 and voice message commands are; each request received is written out whole
  --api PORT              API port (0: any free port; a panel uses 80, or 443 with --tls)
  --tls                   HTTPS, with a self-signed certificate made at start
  --auth MODE             none (the default), basic or digest (RFC 2617, qop=auth), checking
                          --login and --password; with none and --login, the login and
                          password query or form fields are checked instead (403 if wrong)
  --status N              the status answered once the credentials passed (default 200)
  --opaque                send an opaque value in the Digest challenge (and require it back)
  --algorithm A           the algorithm the Digest challenge announces (default MD5; also
                          MD5-sess, SHA-256, SHA-256-sess; others are announced but every
                          answer is refused; "" leaves the parameter out, meaning MD5)
  --voice-dir DIR         check each voice message (POST /api/audio/) and write its WAV file
                          to DIR/voice-N.wav, logging its length; a body that holds no RIFF
                          WAVE file is answered 400
  --play                  also play each voice message on this machine's sound output (paplay)
  --requests FILE         write the received requests to FILE instead of stdout: for each,
                          a line "api: request N from ADDR:PORT over http[s], B body bytes:
                          answered S", the request line and headers as received, an empty
                          line, the B body bytes, a line end and "api: end of request N"
 Misbehaviour, for tests:
  --content-type TEXT     send TEXT as the reply's Content-Type ("" leaves the line out)
  --stall-after N         stop sending after N frames, keeping the connection open
  --close-mid-frame N     close the connection halfway through frame N (the first is 1)
  --no-content-length     send the parts without Content-Length lines
 Audio: on each connection, a format block (a 32-bit little-endian length, then an 18-byte
 PCM WAVEFORMATEX), then, once the workstation has sent "READY", raw PCM paced in real time
 (a panel uses port 3333)
  --audio PORT            audio port (0: any free port)
  --tone HZ               the tone to send (default 440, half of full scale)
  --wav FILE              send the samples of this PCM WAV file, over and over, in its format
  --rate R                tone sample rate (default 8000)
  --bits B                tone sample size, 8 or 16 (default 16)
  --channels C            tone channels, 1 or 2 (default 1)
 Audio misbehaviour, for tests:
  --audio-no-format       send no format block (and so never get "READY")
  --audio-oversized-format  announce a 16 MiB format block
  --audio-silence         send silence instead of the tone
  --audio-close-after N   close the connection after N bytes of PCM
  --audio-fast PERCENT    run the panel's clock PERCENT fast (5: 5 % more sound than time)
  --audio-clicks MS       send silence with a 1 ms full-scale click every MS ms (20 or more),
                          logging "audio: client ADDR:PORT click T" with the click's send time
                          T in microseconds of CLOCK_MONOTONIC (for latency benchmarks)
  --audio-floor           the clicks over a faint 440 Hz tone (1 % of full scale), as a
                          microphone hears a quiet room, rather than over digital silence
 Stream requests: answer "favstream;IP" with a scrambled "start;LOGIN;PASSWORD;VIDEOPORT"
  --signal                listen on TCP port 2201
  --signal-port PORT      listen on PORT instead (0: any free port)
 Discovery: answer "IP;streamer" datagrams with a scrambled "ntmy;OWNADDRESS" to IP:2201,
 on UDP port 22451 by default, as a panel does (several panels on one host share the port)
  --no-discovery          do not answer discovery
  --discovery             answer discovery (the default)
  --discovery-port PORT   listen on PORT instead (0: any free port)
  --notify-port PORT      send the answers to this port of the workstation (default 2201)
  --announce ADDR         the address to announce (default: the --bind address, else the
                          local address of the connection to the workstation)
 Calls: a "start" now and every N seconds, each followed by a "stop" M seconds later
  --call HOST[:PORT]      the workstation to call (PORT defaults to 2201)
  --every N               seconds between calls (default 30; fractions allowed)
  --hangup-after M        seconds from each start to its stop (default 10; less than N)
  --called ID             called identity sent with each start
  --calling ID            calling identity sent with each start
  The starts carry --login and --password and the video port.
)";
}
