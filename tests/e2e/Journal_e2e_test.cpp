// The visitor journal of the real program under a real window manager: a call that comes while
// the window is minimised leaves its row, with the picture the panel sent.
#include <gtest/gtest.h>

#include "platform/JournalStore.h"
#include "tests/e2e/DesktopSupport.h"

namespace {

std::string text(const std::string& value) { return "\"" + value + "\""; }

class JournalE2e : public TDesktopLanTest {};

}  // namespace

TEST_F(JournalE2e, ACallWhileMinimisedHasItsRowWithItsPicture) {
  auto panel =
      startPanel(panelNs, {"--video", "8081", "--bind", lan->address(2), "--size", "640x480"},
                 "panel", "video: listening");
  ASSERT_NE(panel->output().find("video: listening"), std::string::npos) << panel->output();

  TProgramRun program(path("program"));
  const std::string window = startOnDesktop(
      program, {{"language", text("EN")}, {"startMinimized", "dword:00000001"}}, "Iconic");
  ASSERT_FALSE(window.empty());

  int status = -1;
  runCommand({panelSimPath(), "notify", "--to", lan->address(1), "start", "door", "secret", "8081",
              "100@" + lan->address(1), "200@" + lan->address(2)},
             &status, panelNs);
  ASSERT_EQ(status, 0);
  ASSERT_TRUE(program.waitForLog("Streaming Address: " + lan->address(2))) << program.log();

  const std::string file = program.home() + "/data/Halvex/Ostrel_Stream/journal.sqlite";
  std::vector<TJournalRow> rows;
  TJournalStore reader(file);
  ASSERT_TRUE(pollUntil(
      [&] {
        if (!reader.isOpen() && !reader.openForReading()) return false;
        rows = reader.rows();
        return rows.size() == 1 && rows[0].hasPicture;
      },
      std::chrono::seconds(30)))
      << "no row with a picture; log:\n"
      << program.log();
  EXPECT_EQ(rows[0].entry.panel, lan->address(2));
  EXPECT_EQ(rows[0].entry.calling, "200@" + lan->address(2));
  EXPECT_EQ(rows[0].entry.outcome, EJournalOutcome::Shown);
  const std::vector<unsigned char> picture = reader.picture(rows[0].id);
  ASSERT_GT(picture.size(), 4u);
  EXPECT_EQ(picture[0], 0xFF);
  EXPECT_EQ(picture[1], 0xD8) << "the JPEG as the panel sent it";
  EXPECT_FALSE(reader.thumbnail(rows[0].id).empty()) << "a picture that decodes has a thumbnail";
  EXPECT_EQ(desktop->wmState(window), "Iconic") << "the journal raises nothing";

  // The stop ends the watching: its time is written.
  runCommand({panelSimPath(), "notify", "--to", lan->address(1), "stop"}, &status, panelNs);
  EXPECT_TRUE(pollUntil(
      [&] {
        rows = reader.rows();
        return !rows.empty() && rows[0].watchedMs > 0;
      },
      std::chrono::seconds(30)));
  EXPECT_EQ(program.child().terminate(), 0) << program.child().errors();
}
