#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "base/Text.h"
#include "base/Vigenere.h"
#include "tests/tools/PanelSimSupport.h"

namespace {

class PanelServicesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { loadCipherTable(); }
};

TEST_F(PanelServicesTest, FavstreamIsAnsweredWithAScrambledFourFieldStart) {
  TPanelSim sim({"serve", "--bind", "127.0.0.1", "--video", "0", "--signal-port", "0", "--login",
                 "admin", "--password", "secret"});
  const std::string video = std::to_string(listeningPort(sim, "video"));
  const std::uint16_t signal = listeningPort(sim, "signal");

  TConnection c = connectTo("127.0.0.1", signal);
  c.send("favstream;127.0.0.1");
  const std::string answer = c.readUntilClosed();
  EXPECT_EQ(answer, cipherPass("start;admin;secret;" + video));
  EXPECT_EQ(splitFields(decipherPass(answer), ';').size(), 4u);
  EXPECT_NE(sim.waitForLine("favstream;127.0.0.1").find("answered start;admin;secret;" + video),
            std::string::npos);

  // Anything but favstream gets no answer at all.
  TConnection other = connectTo("127.0.0.1", signal);
  other.send("probing;127.0.0.1");
  EXPECT_EQ(other.readUntilClosed(), "");
  EXPECT_NE(sim.waitForLine("probing;127.0.0.1").find("ignored"), std::string::npos);
}

struct TDiscoveryCase {
  const char* guards;
  std::vector<std::string> options;
  std::string datagram;
  std::string announced;
};

TEST_F(PanelServicesTest, DiscoveryIsAnsweredWithNtmyToTheAnnouncedWorkstation) {
  // The workstation listens on its own loopback address: the answer must go to the address
  // written in the datagram, not back to where the datagram came from (127.0.0.1).
  const std::vector<TDiscoveryCase> cases = {
      {"the broadcast form, own address from --bind",
       {"--bind", "127.0.0.1"},
       "127.0.0.3;streamer",
       "127.0.0.1"},
      {"the unicast form ends in CR LF",
       {"--bind", "127.0.0.1"},
       "127.0.0.3;streamer\r\n",
       "127.0.0.1"},
      {"--announce wins over --bind",
       {"--bind", "127.0.0.1", "--announce", "192.168.1.50"},
       "127.0.0.3;streamer",
       "192.168.1.50"},
      {"without either, the address the workstation sees", {}, "127.0.0.3;streamer", "127.0.0.1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.guards);
    TListener workstation("127.0.0.3");
    std::vector<std::string> args{
        "serve", "--video", "0", "--discovery-port", "0", "--notify-port", workstation.portText()};
    args.insert(args.end(), c.options.begin(), c.options.end());
    TPanelSim sim(args);
    const std::uint16_t discovery = listeningPort(sim, "discovery");

    // A datagram of another kind first: it must not produce a connection of its own.
    sendDatagram("127.0.0.1", discovery, "127.0.0.3;streamer;extra");
    sendDatagram("127.0.0.1", discovery, c.datagram);
    TConnection ntmy = workstation.accept();
    ASSERT_TRUE(ntmy);
    const std::string expected = cipherPass("ntmy;" + c.announced);
    EXPECT_EQ(ntmy.readExactly(expected.size()), expected);
    ntmy.send("probing;127.0.0.3");
    EXPECT_NE(sim.waitForLine("replied").find("probing;127.0.0.3"), std::string::npos);
    EXPECT_NE(sim.out().find("ignored \"127.0.0.3;streamer;extra\""), std::string::npos)
        << sim.out();
    if (c.options.empty()) continue;
    EXPECT_EQ(ipOf(ntmy.peer()), "127.0.0.1");  // sent from the --bind address
  }
}

// True when some socket holds UDP address:port (ours is bound without address reuse, so it
// fails beside any other socket).
bool udpPortHeld(const std::string& address, std::uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  ::inet_pton(AF_INET, address.c_str(), &a.sin_addr);
  const bool held =
      ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 && errno == EADDRINUSE;
  ::close(fd);
  return held;
}

// A real panel answers discovery without being asked to: the demo's LED depends on it.
TEST_F(PanelServicesTest, ServeAnswersDiscoveryOnItsPortUnlessTurnedOff) {
  // An address of its own, so that no other test's socket on 22451 takes the datagram.
  const std::string panel = "127.0.83.18";
  {
    TListener workstation("127.0.0.3");
    TPanelSim sim(
        {"serve", "--bind", panel, "--video", "0", "--notify-port", workstation.portText()});
    EXPECT_EQ(listeningPort(sim, "discovery"), 22451);
    sendDatagram(panel, 22451, "127.0.0.3;streamer");
    TConnection ntmy = workstation.accept();
    ASSERT_TRUE(ntmy);
    const std::string expected = cipherPass("ntmy;" + panel);
    EXPECT_EQ(ntmy.readExactly(expected.size()), expected);
  }
  {
    TPanelSim sim({"serve", "--bind", panel, "--video", "0", "--no-discovery"});
    // Every socket is bound before the first line is printed.
    listeningPort(sim, "video");
    EXPECT_FALSE(udpPortHeld(panel, 22451));
    sim.terminate();
    EXPECT_EQ(sim.waitForExit(), 0);
    EXPECT_EQ(sim.out().find("discovery"), std::string::npos) << sim.out();
  }
}

TEST_F(PanelServicesTest, CallsRingAndHangUpOnSchedule) {
  TListener workstation;
  TPanelSim sim({"serve",
                 "--bind",
                 "127.0.0.1",
                 "--video",
                 "0",
                 "--signal-port",
                 "0",
                 "--login",
                 "admin",
                 "--password",
                 "secret",
                 "--call",
                 "127.0.0.1:" + workstation.portText(),
                 "--every",
                 "0.5",
                 "--hangup-after",
                 "0.2",
                 "--called",
                 "100@192.168.1.10",
                 "--calling",
                 "sip:200@192.168.1.50"});
  const std::string video = std::to_string(listeningPort(sim, "video"));
  const std::string start =
      "start;admin;secret;" + video + ";100+192.168.1.10;sip:200+192.168.1.50";
  // start, its stop, then the next call: each message alone on its own connection.
  for (const std::string& expected : {start, std::string("stop"), start}) {
    SCOPED_TRACE(expected);
    TConnection c = workstation.accept();
    ASSERT_TRUE(c);
    EXPECT_EQ(c.readUntilClosed(), cipherPass(expected));
  }
  // The identities of calls never leak into the answer to favstream.
  TConnection fav = connectTo("127.0.0.1", listeningPort(sim, "signal"));
  fav.send("favstream;127.0.0.1");
  EXPECT_EQ(fav.readUntilClosed(), cipherPass("start;admin;secret;" + video));
}

TEST_F(PanelServicesTest, StoppingDuringACallHangsUp) {
  TListener workstation;
  TPanelSim sim({"serve", "--bind", "127.0.0.1", "--video", "0", "--call",
                 "127.0.0.1:" + workstation.portText(), "--every", "600", "--hangup-after", "300"});
  TConnection ring = workstation.accept();
  ASSERT_TRUE(ring);
  EXPECT_EQ(decipherPass(ring.readUntilClosed()).substr(0, 6), "start;");
  sim.terminate();
  // Long before the hang-up is due: the workstation must not be left watching.
  TConnection hangup = workstation.accept();
  ASSERT_TRUE(hangup);
  EXPECT_EQ(hangup.readUntilClosed(), cipherPass("stop"));
  EXPECT_EQ(sim.waitForExit(), 0);
}

}  // namespace
