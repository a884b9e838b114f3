#include "video/WaitList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/FakeStreams.h"
#include "tests/support/QtTestSupport.h"

namespace {

// Column 0 of a grid that starts with 10 empty rows, as the window's does.
class TFakeView : public IWaitListView {
 public:
  std::vector<std::string> column0 = std::vector<std::string>(10);
  int shows = 0;

  void showWindow() override { ++shows; }
  void clearEntryTexts() override {
    for (std::string& text : column0) text.clear();
  }
  void setRowCount(int rows) override { column0.resize(static_cast<std::size_t>(rows)); }
  void setEntryText(int row, const std::string& text) override {
    column0.at(static_cast<std::size_t>(row)) = text;
  }
  std::string entryText(int row) const override {
    return row >= 0 && row < static_cast<int>(column0.size())
               ? column0[static_cast<std::size_t>(row)]
               : std::string();
  }
};

TStreamTarget panel(const std::string& address) {
  return TStreamTarget{address, "200@" + address, "admin", "secret", "8080"};
}

std::vector<std::string> addresses(const TWaitList& list) {
  std::vector<std::string> out;
  for (const TStreamTarget& entry : list.WaitList()) out.push_back(entry.Address);
  return out;
}

class WaitListTest : public ::testing::Test {
 protected:
  // Adds entries the way admission does, then starts the log afresh.
  void fill(const std::vector<std::string>& panels) {
    for (const std::string& address : panels) list.addWaitItem(panel(address));
    list.showWaitList();
    log.log().startUp();
  }

  TCapturedLog log;
  TFakeStreams streams;
  TFakeView view;
  TWaitList list{streams};
};

TEST_F(WaitListTest, AttachingTheWindowRebuildsItsGridToOneEmptyRow) {
  list.attachView(&view);
  EXPECT_EQ(view.column0, std::vector<std::string>{""});
  EXPECT_TRUE(log.texts().empty());
}

TEST_F(WaitListTest, EveryRefreshListsAndLogsEveryEntry) {
  list.attachView(&view);
  list.addWaitItem(panel("192.168.1.21"));
  list.addWaitItem(panel("192.168.1.22"));
  list.addWaitItem(panel("192.168.1.21"));  // the same panel twice is listed twice
  list.showWaitList();
  list.refreshWaitList();

  EXPECT_EQ(view.shows, 1);
  EXPECT_EQ(view.column0, (std::vector<std::string>{"1: 192.168.1.21 - 200@192.168.1.21",
                                                    "2: 192.168.1.22 - 200@192.168.1.22",
                                                    "3: 192.168.1.21 - 200@192.168.1.21"}));
  std::vector<std::string> once{"192.168.1.21 added to waitList", "192.168.1.22 added to waitList",
                                "192.168.1.21 added to waitList"};
  std::vector<std::string> twice = once;
  twice.insert(twice.end(), once.begin(), once.end());
  EXPECT_EQ(log.texts(), twice);
}

TEST_F(WaitListTest, WithoutAWindowNothingIsRefreshedOrLogged) {
  list.addWaitItem(panel("192.168.1.21"));
  list.showWaitList();
  list.refreshWaitList();
  EXPECT_TRUE(log.texts().empty());
  list.attachView(&view);
  EXPECT_EQ(view.column0, std::vector<std::string>{"1: 192.168.1.21 - 200@192.168.1.21"});
}

TEST_F(WaitListTest, NeverHoldsMoreThanTen) {
  list.attachView(&view);
  for (int i = 1; i <= 11; ++i) list.addWaitItem(panel("10.0.0." + std::to_string(i)));
  list.refreshWaitList();
  EXPECT_EQ(list.WaitCount(), 10);
  ASSERT_EQ(view.column0.size(), 10u);
  EXPECT_EQ(view.column0.front(), "1: 10.0.0.1 - 200@10.0.0.1");
  EXPECT_EQ(view.column0.back(), "10: 10.0.0.10 - 200@10.0.0.10");
}

TEST_F(WaitListTest, RemovingTheMiddleEntryRenumbersAndLogsTheRest) {
  list.attachView(&view);
  fill({"A", "B", "C"});
  list.onGridCellClicked(2, 1);
  EXPECT_EQ(addresses(list), (std::vector<std::string>{"A", "C"}));
  EXPECT_EQ(view.column0, (std::vector<std::string>{"1: A - 200@A", "2: C - 200@C"}));
  EXPECT_EQ(log.texts(), (std::vector<std::string>{"A added to waitList", "C added to waitList"}));
  EXPECT_TRUE(streams.calls.empty());
}

TEST_F(WaitListTest, PickingAnEntryWatchesItThenRemovesIt) {
  list.attachView(&view);
  fill({"A", "B", "C"});
  list.onGridCellClicked(1, 1);
  EXPECT_EQ(streams.calls, (std::vector<std::string>{"setTarget B", "launchStream"}));
  EXPECT_EQ(streams.current, panel("B"));
  EXPECT_EQ(addresses(list), (std::vector<std::string>{"A", "C"}));
  EXPECT_EQ(view.column0, (std::vector<std::string>{"1: A - 200@A", "2: C - 200@C"}));
}

struct TIdleClick {
  const char* why;
  std::vector<std::string> panels;
  int col;
  int row;
};

void PrintTo(const TIdleClick& c, std::ostream* os) { *os << c.why; }

class WaitListIdleClickTest : public ::testing::TestWithParam<TIdleClick> {};

TEST_P(WaitListIdleClickTest, ChangesNothing) {
  const TIdleClick& c = GetParam();
  TCapturedLog log;
  TFakeStreams streams;
  TFakeView view;
  TWaitList list{streams};
  list.attachView(&view);
  for (const std::string& address : c.panels) list.addWaitItem(panel(address));
  list.refreshWaitList();
  const std::vector<std::string> before = view.column0;

  list.onGridCellClicked(c.col, c.row);

  EXPECT_TRUE(streams.calls.empty());
  EXPECT_EQ(addresses(list), c.panels);
  EXPECT_EQ(view.column0, before);
}

INSTANTIATE_TEST_SUITE_P(Cases, WaitListIdleClickTest,
                         ::testing::Values(TIdleClick{"watch on the single empty row", {}, 1, 0},
                                           TIdleClick{"remove on the single empty row", {}, 2, 0},
                                           TIdleClick{"the entry text column", {"A", "B"}, 0, 0},
                                           TIdleClick{"watch below the last row", {"A"}, 1, 5},
                                           TIdleClick{"remove below the last row", {"A"}, 2, 5}),
                         [](const ::testing::TestParamInfo<TIdleClick>& info) {
                           return "Case" + std::to_string(info.index);
                         });

TEST_F(WaitListTest, StreamingAnIndexOutsideTheListDoesNothing) {
  list.addWaitItem(panel("A"));
  list.streamWItem(1);
  list.streamWItem(-1);
  EXPECT_TRUE(streams.calls.empty());
  list.streamWItem(0);
  EXPECT_EQ(streams.calls, (std::vector<std::string>{"setTarget A", "launchStream"}));
}

}  // namespace
