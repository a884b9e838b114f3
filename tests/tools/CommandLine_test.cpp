#include <gtest/gtest.h>

#include "base/Vigenere.h"
#include "tests/tools/PanelSimSupport.h"

namespace {

struct TBadLine {
  const char* guards;
  std::vector<std::string> args;
};

TEST(PanelSimCommandLine, WrongCommandLinesAreRefusedWithAReason) {
  // Port 9 on loopback: if a wrong line were sent anyway it would fail as unreachable (exit 1),
  // not as a usage error (exit 2).
  const std::vector<TBadLine> cases = {
      {"no command", {}},
      {"unknown command", {"ring"}},
      {"notify without --to", {"notify", "stop"}},
      {"notify without a message", {"notify", "--to", "127.0.0.1:9"}},
      {"unknown message", {"notify", "--to", "127.0.0.1:9", "hello"}},
      {"start needs the video port", {"notify", "--to", "127.0.0.1:9", "start", "a", "b"}},
      {"start takes two identities at most",
       {"notify", "--to", "127.0.0.1:9", "start", "a", "b", "1", "c", "d", "e"}},
      {"a ; inside a field would shift the fields",
       {"notify", "--to", "127.0.0.1:9", "start", "a;b", "c", "1"}},
      {"stop takes nothing", {"notify", "--to", "127.0.0.1:9", "stop", "now"}},
      {"ntmy needs its address", {"notify", "--to", "127.0.0.1:9", "ntmy"}},
      {"raw needs its text", {"notify", "--to", "127.0.0.1:9", "raw"}},
      {"port out of range", {"notify", "--to", "127.0.0.1:65536", "stop"}},
      {"port not a number", {"notify", "--to", "127.0.0.1:http", "stop"}},
      {"--from must be an address", {"notify", "--to", "127.0.0.1:9", "--from", "me", "stop"}},
      {"serve needs --video", {"serve"}},
      {"audio switches need --audio", {"serve", "--video", "0", "--tone", "440"}},
      {"--wav brings its own format",
       {"serve", "--audio", "0", "--wav", "x.wav", "--rate", "8000"}},
      {"8 or 16 bits", {"serve", "--audio", "0", "--bits", "12"}},
      {"one or two channels", {"serve", "--audio", "0", "--channels", "3"}},
      {"a tone is a frequency", {"serve", "--audio", "0", "--tone", "loud"}},
      {"clicks bring their own sound",
       {"serve", "--audio", "0", "--audio-clicks", "500", "--tone", "440"}},
      {"clicks at most every 20 ms", {"serve", "--audio", "0", "--audio-clicks", "10"}},
      {"a floor goes under clicks", {"serve", "--audio", "0", "--audio-floor"}},
      {"unknown serve option", {"serve", "--video", "0", "--colour", "red"}},
      {"--login without --password", {"serve", "--video", "0", "--login", "u"}},
      {"an empty password can never be sent",
       {"serve", "--video", "0", "--login", "u", "--password", ""}},
      {"size must be WxH", {"serve", "--video", "0", "--size", "640"}},
      {"size not absurd", {"serve", "--video", "0", "--size", "0x480"}},
      {"fps at least 1", {"serve", "--video", "0", "--fps", "0"}},
      {"--every without --call", {"serve", "--video", "0", "--every", "5"}},
      {"hang-up after the next call",
       {"serve", "--video", "0", "--call", "127.0.0.1:9", "--every", "2", "--hangup-after", "3"}},
      {"--calling without --call", {"serve", "--video", "0", "--calling", "200@x"}},
      {"--close-mid-frame counts from 1", {"serve", "--video", "0", "--close-mid-frame", "0"}},
      {"discovery both off and on",
       {"serve", "--video", "0", "--no-discovery", "--discovery-port", "0"}},
      {"an API switch without --api", {"serve", "--video", "0", "--tls"}},
      {"Digest without credentials to check", {"serve", "--api", "0", "--auth", "digest"}},
      {"an unknown authentication", {"serve", "--api", "0", "--auth", "ntlm"}},
      {"a status that is not a final answer", {"serve", "--api", "0", "--status", "100"}},
      {"an algorithm that would break the challenge",
       {"serve", "--api", "0", "--algorithm", "MD5\", x=\"1"}},
      {"the stream answer needs a video port", {"serve", "--api", "0", "--signal"}},
      {"scramble takes one text", {"scramble", "a", "b"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.guards);
    std::string out;
    std::string err;
    EXPECT_EQ(runPanelSim(c.args, &out, &err), 2);
    EXPECT_NE(err.find("panel-sim: "), std::string::npos) << err;
    EXPECT_NE(err.find("--help"), std::string::npos) << err;
  }
}

TEST(PanelSimCommandLine, HelpDocumentsEveryServeSwitch) {
  std::string out;
  ASSERT_EQ(runPanelSim({"--help"}, &out), 0);
  for (const char* flag : {"notify --to HOST[:PORT] [--from SRCADDR] start LOGIN PASSWORD "
                           "VIDEOPORT [CALLED [CALLING]]",
                           "--video",
                           "--bind",
                           "--size",
                           "--fps",
                           "--login",
                           "--password",
                           "--content-type",
                           "--stall-after",
                           "--close-mid-frame",
                           "--no-content-length",
                           "--signal",
                           "--signal-port",
                           "--discovery",
                           "--no-discovery",
                           "--discovery-port",
                           "--notify-port",
                           "--announce",
                           "--call",
                           "--every",
                           "--hangup-after",
                           "--called",
                           "--calling",
                           "--api",
                           "--tls",
                           "--auth",
                           "--status",
                           "--opaque",
                           "--algorithm",
                           "--requests"})
    EXPECT_NE(out.find(flag), std::string::npos) << flag;
}

TEST(PanelSimCommandLine, ScramblePrintsTheWorkstationsStoredForm) {
  loadCipherTable();
  for (const std::string text : {"1234", "door", ""}) {
    SCOPED_TRACE(text);
    std::string out;
    ASSERT_EQ(runPanelSim({"scramble", text}, &out), 0);
    EXPECT_EQ(out, cipherString(text) + "\n");
  }
}

TEST(PanelSimCommandLine, RequestsFileThatCannotBeWrittenEndsServeWithAMessage) {
  std::string err;
  EXPECT_EQ(runPanelSim({"serve", "--bind", "127.0.0.1", "--api", "0", "--requests",
                         "/nonexistent-folder/requests.txt"},
                        nullptr, &err),
            1);
  EXPECT_NE(err.find("/nonexistent-folder/requests.txt"), std::string::npos) << err;
}

TEST(PanelSimCommandLine, PortInUseEndsServeWithAMessage) {
  TListener taken;
  std::string err;
  EXPECT_EQ(
      runPanelSim({"serve", "--bind", "127.0.0.1", "--video", taken.portText()}, nullptr, &err), 1);
  EXPECT_NE(err.find("127.0.0.1:" + taken.portText()), std::string::npos) << err;
}

}  // namespace
