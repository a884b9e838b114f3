#include <gtest/gtest.h>

#include "base/Text.h"
#include "base/Vigenere.h"
#include "tests/tools/PanelSimSupport.h"

namespace {

class NotifyTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { loadCipherTable(); }
};

struct TNotifyCase {
  const char* guards;  // the fault the case catches
  std::vector<std::string> message;
  std::string clear;  // what the workstation must read after one decipherPass
};

TEST_F(NotifyTest, SendsOneScrambledMessagePerConnection) {
  const std::vector<TNotifyCase> cases = {
      {"a start without identities keeps its 4 fields",
       {"start", "admin", "secret", "8080"},
       "start;admin;secret;8080"},
      {"a called identity alone makes a fifth field",
       {"start", "admin", "secret", "8080", "100@192.168.1.10"},
       "start;admin;secret;8080;100+192.168.1.10"},
      {"every @ of both identities is written as +, and only there",
       {"start", "Admin", "S3cret", "81", "sip:100@192.168.1.10:5060", "sip:200@192.168.1.50"},
       "start;Admin;S3cret;81;sip:100+192.168.1.10:5060;sip:200+192.168.1.50"},
      {"stop is the bare command", {"stop"}, "stop"},
      {"raw passes its text as it is, ; and @ included",
       {"raw", "start;a;b;1;x@y"},
       "start;a;b;1;x@y"},
      {"raw text of 72 symbols wraps the rows",
       {"raw", std::string(72, 'a')},
       std::string(72, 'a')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.guards);
    TListener workstation;
    std::vector<std::string> args{"notify", "--to", "127.0.0.1:" + workstation.portText()};
    args.insert(args.end(), c.message.begin(), c.message.end());
    TPanelSim sim(args);
    TConnection connection = workstation.accept();
    ASSERT_TRUE(connection);
    // No terminator, nothing else on the connection: it closes right after the message.
    const std::string received = connection.readUntilClosed();
    EXPECT_EQ(received, cipherPass(c.clear));
    EXPECT_EQ(decipherPass(received), c.clear);
    EXPECT_EQ(sim.waitForExit(), 0) << sim.err();
    // Status goes to stderr: stdout is kept for a reply, which these messages have none of.
    EXPECT_NE(sim.err().find("sent " + c.clear), std::string::npos) << sim.err();
    EXPECT_EQ(sim.out(), "");
  }
}

TEST_F(NotifyTest, PortDefaultsTo2201) {
  // A loopback address of its own, so a workstation listening on 2201 elsewhere does not clash.
  TListener workstation("127.0.83.17", 2201);
  if (!workstation.ok())
    GTEST_SKIP() << "port 2201 cannot be bound on 127.0.83.17 (a program listens on all "
                    "addresses)";
  TPanelSim sim({"notify", "--to", "127.0.83.17", "stop"});
  TConnection connection = workstation.accept();
  EXPECT_EQ(connection.readUntilClosed(), cipherPass("stop"));
  EXPECT_EQ(sim.waitForExit(), 0);
}

TEST_F(NotifyTest, FromBindsTheSourceAddress) {
  // The workstation tells panels apart by the connection's remote address only.
  TListener workstation;
  TPanelSim sim(
      {"notify", "--to", "127.0.0.1:" + workstation.portText(), "--from", "127.0.0.2", "stop"});
  TConnection connection = workstation.accept();
  ASSERT_TRUE(connection);
  EXPECT_EQ(ipOf(connection.peer()), "127.0.0.2");
  EXPECT_EQ(connection.readUntilClosed(), cipherPass("stop"));
  EXPECT_EQ(sim.waitForExit(), 0);
}

TEST_F(NotifyTest, NtmyPrintsTheWorkstationsReply) {
  TListener workstation;
  TPanelSim sim({"notify", "--to", "127.0.0.1:" + workstation.portText(), "ntmy", "192.168.1.50"});
  TConnection connection = workstation.accept();
  ASSERT_TRUE(connection);
  const std::string expected = cipherPass("ntmy;192.168.1.50");
  EXPECT_EQ(connection.readExactly(expected.size()), expected);
  connection.send("probing;192.168.1.20");
  // The panel closes once it has the reply; the workstation never does.
  EXPECT_TRUE(connection.readUntilClosed().empty());
  EXPECT_EQ(sim.waitForExit(), 0) << sim.err();
  // A script reads the reply from stdout: nothing else may be there.
  EXPECT_EQ(sim.out(), "probing;192.168.1.20\n");
  EXPECT_NE(sim.err().find("sent ntmy;192.168.1.50"), std::string::npos) << sim.err();
}

TEST_F(NotifyTest, NtmyWithoutReplyGivesUpAndStillSucceeds) {
  TListener workstation;
  TPanelSim sim({"notify", "--to", "127.0.0.1:" + workstation.portText(), "ntmy", "10.0.0.9"});
  TConnection connection = workstation.accept();
  ASSERT_TRUE(connection);
  // Keep the connection open without answering: the panel must not wait for ever.
  EXPECT_EQ(sim.waitForExit(), 0);
  EXPECT_EQ(sim.out().find("probing"), std::string::npos);
  EXPECT_NE(sim.err().find("no reply"), std::string::npos) << sim.err();
}

TEST_F(NotifyTest, UnreachableWorkstationFailsWithAMessage) {
  TListener refusing("127.0.0.1", 0, false);
  std::string out;
  std::string err;
  EXPECT_EQ(runPanelSim({"notify", "--to", "127.0.0.1:" + refusing.portText(), "stop"}, &out, &err),
            1);
  EXPECT_NE(err.find("not reachable"), std::string::npos) << err;
  EXPECT_EQ(out.find("sent"), std::string::npos) << out;
}

TEST_F(NotifyTest, UnknownHostFailsWithAMessage) {
  std::string err;
  // A label longer than 63 bytes cannot go into a DNS query: the lookup stays on the machine.
  const std::string host = std::string(64, 'x') + ".invalid";
  EXPECT_EQ(runPanelSim({"notify", "--to", host, "stop"}, nullptr, &err), 1);
  EXPECT_NE(err.find(host), std::string::npos) << err;
}

}  // namespace
