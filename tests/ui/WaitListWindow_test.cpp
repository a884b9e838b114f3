#include "ui/WaitListWindow.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <memory>
#include <string>
#include <vector>

#include "core/UiTexts.h"
#include "tests/support/FakeStreams.h"
#include "tests/support/QtTestSupport.h"

namespace {

// The main window's part of the bargain: re-place the wait-list window on every move.
class TMainWindowStandIn : public QWidget {
 public:
  TWaitListWindow* waitWindow = nullptr;

 protected:
  void moveEvent(QMoveEvent* event) override {
    QWidget::moveEvent(event);
    if (waitWindow != nullptr) waitWindow->placeBesideMainWindow();
  }
};

TStreamTarget panel(const std::string& address) {
  return TStreamTarget{address, "200@" + address, "admin", "secret", "8080"};
}

class WaitListWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setLanguage("EN");
    main.setGeometry(100, 80, 435, 380);
    main.show();
    waitListWindow = std::make_unique<TWaitListWindow>(list, &main);
    main.waitWindow = waitListWindow.get();
  }
  void TearDown() override { main.waitWindow = nullptr; }

  QPoint besideMain() const {
    QRect frame = main.frameGeometry();
    return QPoint(frame.x() + frame.width(), frame.y());
  }

  std::vector<std::string> column0() const {
    std::vector<std::string> out;
    for (int row = 0; row < waitListWindow->m_grid->rowCount(); ++row) {
      QTableWidgetItem* item = waitListWindow->m_grid->item(row, 0);
      out.push_back(item == nullptr ? std::string() : item->text().toStdString());
    }
    return out;
  }

  // A mouse click in the middle of a cell, as the user makes it.
  void clickCell(int row, int col) {
    QTableWidget* grid = waitListWindow->m_grid;
    QPoint at = grid->visualRect(grid->model()->index(row, col)).center();
    QPoint global = grid->viewport()->mapToGlobal(at);
    QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(grid->viewport(), &press);
    QApplication::sendEvent(grid->viewport(), &release);
  }

  // Widgets need the application object before they are constructed.
  struct TApplicationFirst {
    TApplicationFirst() { ensureQtApplication(); }
  } applicationFirst;
  TCapturedLog log;
  TFakeStreams streams;
  TWaitList list{streams};
  TMainWindowStandIn main;
  std::unique_ptr<TWaitListWindow> waitListWindow;  // before the list goes: it detaches itself
};

TEST_F(WaitListWindowTest, FixedDialogWithThreeColumnsAndOneEmptyRowOnceCreated) {
  EXPECT_FALSE(waitListWindow->isVisible()) << "created hidden";
  EXPECT_EQ(waitListWindow->minimumSize(), QSize(245, 253));
  EXPECT_EQ(waitListWindow->maximumSize(), QSize(245, 253));
  Qt::WindowFlags flags = waitListWindow->windowFlags();
  EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
  QTableWidget* grid = waitListWindow->m_grid;
  ASSERT_EQ(grid->columnCount(), 3);
  EXPECT_EQ(grid->columnWidth(0), 200);
  EXPECT_EQ(grid->columnWidth(1), 20);
  EXPECT_EQ(grid->columnWidth(2), 20);
  EXPECT_EQ(column0(), std::vector<std::string>{""});
}

TEST_F(WaitListWindowTest, CaptionFollowsTheLanguageAtEveryShow) {
  waitListWindow->show();
  EXPECT_EQ(waitListWindow->windowTitle(), "Wait list");
  waitListWindow->hide();
  setLanguage("FR");
  waitListWindow->show();
  EXPECT_EQ(waitListWindow->windowTitle(), "Liste d'attente");
}

TEST_F(WaitListWindowTest, ShownBesideTheMainWindowAndFollowsItWhenItMoves) {
  waitListWindow->show();
  ASSERT_TRUE(waitUntil([&] { return waitListWindow->pos() == besideMain(); }))
      << "at " << waitListWindow->x() << "," << waitListWindow->y();
  main.move(300, 200);
  ASSERT_TRUE(waitUntil([&] { return main.pos() == QPoint(300, 200); }));
  EXPECT_TRUE(waitUntil([&] { return waitListWindow->pos() == besideMain(); }))
      << "at " << waitListWindow->x() << "," << waitListWindow->y();
  EXPECT_EQ(waitListWindow->y(), main.frameGeometry().y());
}

TEST_F(WaitListWindowTest, MovedAwayItGoesBackBesideTheMainWindow) {
  waitListWindow->show();
  ASSERT_TRUE(waitUntil([&] { return waitListWindow->pos() == besideMain(); }));
  waitListWindow->move(10, 10);
  EXPECT_TRUE(waitUntil([&] { return waitListWindow->pos() == besideMain(); }))
      << "at " << waitListWindow->x() << "," << waitListWindow->y();
}

TEST_F(WaitListWindowTest, ClicksOnCellsReachTheWaitList) {
  for (const char* address : {"192.168.1.21", "192.168.1.22", "192.168.1.23"})
    list.addWaitItem(panel(address));
  list.showWaitList();
  ASSERT_TRUE(waitListWindow->isVisible());
  ASSERT_EQ(column0(), (std::vector<std::string>{"1: 192.168.1.21 - 200@192.168.1.21",
                                                 "2: 192.168.1.22 - 200@192.168.1.22",
                                                 "3: 192.168.1.23 - 200@192.168.1.23"}));

  clickCell(1, 0);  // the entry text itself does nothing
  EXPECT_TRUE(streams.calls.empty());
  EXPECT_EQ(list.WaitCount(), 3);

  clickCell(1, 1);  // watch
  EXPECT_EQ(streams.calls, (std::vector<std::string>{"setTarget 192.168.1.22", "launchStream"}));
  EXPECT_EQ(column0(), (std::vector<std::string>{"1: 192.168.1.21 - 200@192.168.1.21",
                                                 "2: 192.168.1.23 - 200@192.168.1.23"}));

  clickCell(0, 2);  // remove
  EXPECT_EQ(column0(), std::vector<std::string>{"1: 192.168.1.23 - 200@192.168.1.23"});
  EXPECT_EQ(streams.calls.size(), 2u);
}

TEST_F(WaitListWindowTest, ClosingOnlyHidesAndTheNextCallerBringsItBack) {
  waitListWindow->show();
  waitListWindow->close();
  EXPECT_FALSE(waitListWindow->isVisible());
  list.addWaitItem(panel("192.168.1.21"));
  list.showWaitList();
  EXPECT_TRUE(waitListWindow->isVisible());
  EXPECT_EQ(column0(), std::vector<std::string>{"1: 192.168.1.21 - 200@192.168.1.21"});
}

TEST_F(WaitListWindowTest, BothIconsAreDrawnInEveryRowEmptyOnesIncluded) {
  waitListWindow->show();
  list.addWaitItem(panel("192.168.1.21"));
  list.refreshWaitList();
  waitListWindow->m_grid->setRowCount(2);  // row 1 stays empty
  QTableWidget* grid = waitListWindow->m_grid;
  QImage shot = grid->viewport()->grab().toImage();
  const QPoint middle(10, 10);
  for (int row = 0; row < 2; ++row) {
    for (int col : {1, 2}) {
      const QPixmap& icon = col == 1 ? waitListWindow->m_watchIcon : waitListWindow->m_removeIcon;
      QPoint cell = grid->visualRect(grid->model()->index(row, col)).topLeft();
      QColor expected = icon.toImage().pixelColor(middle);
      ASSERT_EQ(expected.alpha(), 255) << "the reference pixel must be opaque";
      EXPECT_EQ(shot.pixelColor(cell + middle).rgb(), expected.rgb())
          << "row " << row << " column " << col;
    }
  }
}

}  // namespace
