// panel-sim: a simulated door panel. See usageText() for what it does.

#include <pthread.h>

#include <csignal>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "base/Vigenere.h"
#include "tools/panel-sim/ApiServer.h"
#include "tools/panel-sim/AudioServer.h"
#include "tools/panel-sim/CallScenario.h"
#include "tools/panel-sim/CommandLine.h"
#include "tools/panel-sim/DiscoveryResponder.h"
#include "tools/panel-sim/Messages.h"
#include "tools/panel-sim/Notify.h"
#include "tools/panel-sim/SignalServer.h"
#include "tools/panel-sim/SimLog.h"
#include "tools/panel-sim/StopSignal.h"
#include "tools/panel-sim/TcpServer.h"
#include "tools/panel-sim/VideoServer.h"

namespace {

// Enough for a few workstations and their watchdog's reconnections.
constexpr std::size_t MaxVideoClients = 64;
constexpr std::size_t MaxSignalClients = 16;
constexpr std::size_t MaxApiClients = 64;
constexpr std::size_t MaxAudioClients = 16;

std::string seconds(double value) {
  std::ostringstream text;
  text << value;
  return text.str();
}

void warnOutsideAlphabet(const std::string& what, const std::string& text) {
  std::string outside = charactersOutsideAlphabet(text);
  if (!outside.empty())
    errorLine("warning: " + what + " holds \"" + outside +
              "\", which cannot be scrambled; the workstation will misread it");
}

int runServe(const TServeOptions& options) {
  // Every thread inherits this mask, so the termination signals reach sigwait() below only,
  // and a client that goes away mid-send is an error code rather than a SIGPIPE.
  sigset_t ending;
  sigemptyset(&ending);
  sigaddset(&ending, SIGINT);
  sigaddset(&ending, SIGTERM);
  sigaddset(&ending, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &ending, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  const std::optional<in_addr> source =
      options.bindGiven ? std::optional<in_addr>(options.bind) : std::nullopt;
  TStopSignal stop;
  try {
    // Everything binds before anything runs, so a port in use ends the program at once.
    // Made before the video server, so that it outlives the server's client threads.
    std::unique_ptr<TPatternPool> patterns;
    std::unique_ptr<TTcpServer> video;
    if (options.videoGiven) {
      video = std::make_unique<TTcpServer>("video", options.bind, options.video.port,
                                           MaxVideoClients, stop);
      patterns = std::make_unique<TPatternPool>(options.video.width, options.video.height);
    }
    const std::string videoPort = video ? std::to_string(ntohs(video->endpoint().sin_port)) : "";
    const std::string startText =
        startMessage(options.video.login, options.video.password, videoPort,
                     options.call ? options.call->identities : std::vector<std::string>{});
    // The answer to "favstream" carries no identities.
    const std::string favstreamAnswer =
        startMessage(options.video.login, options.video.password, videoPort, {});
    if (video) warnOutsideAlphabet("the start message", startText);

    std::unique_ptr<TApiService> apiService;
    std::unique_ptr<TTcpServer> api;
    if (options.api) {
      apiService =
          std::make_unique<TApiService>(*options.api, options.video.login, options.video.password);
      api =
          std::make_unique<TTcpServer>("api", options.bind, options.api->port, MaxApiClients, stop);
    }
    std::optional<TAudioOptions> audioOptions = options.audio;
    std::unique_ptr<TTcpServer> audio;
    if (audioOptions) {
      if (!audioOptions->wavFile.empty()) audioOptions->wav = readWavFile(audioOptions->wavFile);
      audio = std::make_unique<TTcpServer>("audio", options.bind, audioOptions->port,
                                           MaxAudioClients, stop);
    }
    std::unique_ptr<TTcpServer> signal;
    if (options.signalPort)
      signal = std::make_unique<TTcpServer>("signal", options.bind, *options.signalPort,
                                            MaxSignalClients, stop);
    std::unique_ptr<TDiscoveryResponder> discovery;
    if (options.discoveryPort)
      discovery = std::make_unique<TDiscoveryResponder>(
          options.bind, *options.discoveryPort, options.notifyPort,
          options.announce ? options.announce : source, source, stop);
    std::unique_ptr<TCallScenario> call;
    if (options.call) {
      sockaddr_in workstation =
          resolveIpv4(options.call->workstation.host, options.call->workstation.port);
      call = std::make_unique<TCallScenario>(workstation, source, startText, *options.call, stop);
    }

    if (video) {
      logLine("video: listening on " + endpointText(video->endpoint()) + ", " +
              std::to_string(options.video.width) + "x" + std::to_string(options.video.height) +
              " at " + std::to_string(options.video.fps) + " fps");
      video->start([&](TFd client, const sockaddr_in& peer) {
        serveVideoClient(std::move(client), peer, options.video, *patterns, stop);
      });
    }
    if (api) {
      logLine("api: listening on " + endpointText(api->endpoint()) + ", " +
              apiService->description());
      api->start([&](TFd client, const sockaddr_in& peer) {
        apiService->serve(std::move(client), peer, stop);
      });
    }
    if (audio) {
      const TPcmFormat& f = audioOptions->wav ? audioOptions->wav->format : audioOptions->format;
      const std::string sound = audioOptions->wav       ? "the samples of " + audioOptions->wavFile
                                : audioOptions->silence ? std::string("silence")
                                                        : seconds(audioOptions->toneHz) + " Hz";
      logLine("audio: listening on " + endpointText(audio->endpoint()) + ", " + sound + " at " +
              std::to_string(f.rate) + " Hz " + std::to_string(f.bits) + "-bit " +
              std::to_string(f.channels) + " channel(s)");
      audio->start([&](TFd client, const sockaddr_in& peer) {
        serveAudioClient(std::move(client), peer, *audioOptions, stop);
      });
    }
    if (signal) {
      logLine("signal: listening on " + endpointText(signal->endpoint()));
      signal->start([&](TFd client, const sockaddr_in& peer) {
        serveSignalClient(std::move(client), peer, favstreamAnswer, stop);
      });
    }
    if (discovery) {
      logLine("discovery: listening on UDP " + endpointText(discovery->endpoint()));
      discovery->start();
    }
    if (call) {
      logLine("call: calling " + options.call->workstation.host + ":" +
              std::to_string(options.call->workstation.port) + " every " +
              seconds(options.call->everySeconds) + " s, hanging up after " +
              seconds(options.call->hangupAfterSeconds) + " s");
      call->start();
    }

    int received = 0;
    sigwait(&ending, &received);
    logLine("stopping");
    stop.stop();
    // The destructors join every thread, the call's last hang-up included.
  } catch (const std::runtime_error& e) {
    // A port in use, a requests file that cannot be written, no TLS: nothing ran yet.
    stop.stop();
    errorLine(e.what());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  loadCipherTable();
  std::vector<std::string> args(argv + 1, argv + argc);
  TCommand command;
  try {
    command = parseCommandLine(args);
  } catch (const EUsageError& e) {
    errorLine(e.what());
    errorLine("run \"panel-sim --help\" for the usage");
    return 2;
  }
  if (std::holds_alternative<THelpCommand>(command)) {
    logLine(usageText());
    return 0;
  }
  if (auto* notify = std::get_if<TNotifyOptions>(&command)) return runNotify(*notify);
  if (auto* scramble = std::get_if<TScrambleCommand>(&command)) {
    warnOutsideAlphabet("the text", scramble->text);
    logLine(cipherString(scramble->text));
    return 0;
  }
  return runServe(std::get<TServeOptions>(command));
}
