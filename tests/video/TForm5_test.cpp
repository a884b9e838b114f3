#include "video/TForm5.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <memory>
#include <string>
#include <vector>

#include "FakeStreams.h"
#include "core/UiTexts.h"
#include "support/QtTestSupport.h"

namespace {

// The main window's part of the bargain: re-place the wait-list window on every move.
class TMainWindowStandIn : public QWidget {
 public:
  TForm5* waitWindow = nullptr;

 protected:
  void moveEvent(QMoveEvent* event) override {
    QWidget::moveEvent(event);
    if (waitWindow != nullptr) waitWindow->placeBesideMainWindow();
  }
};

TStackStream panel(const std::string& address) {
  return TStackStream{address, "200@" + address, "admin", "secret", "8080"};
}

class TForm5Test : public ::testing::Test {
 protected:
  void SetUp() override {
    setLanguage("EN");
    main.setGeometry(100, 80, 435, 380);
    main.show();
    form5 = std::make_unique<TForm5>(list, &main);
    main.waitWindow = form5.get();
  }
  void TearDown() override { main.waitWindow = nullptr; }

  QPoint besideMain() const {
    QRect frame = main.frameGeometry();
    return QPoint(frame.x() + frame.width(), frame.y());
  }

  std::vector<std::string> column0() const {
    std::vector<std::string> out;
    for (int row = 0; row < form5->StringGrid1->rowCount(); ++row) {
      QTableWidgetItem* item = form5->StringGrid1->item(row, 0);
      out.push_back(item == nullptr ? std::string() : item->text().toStdString());
    }
    return out;
  }

  // A mouse click in the middle of a cell, as the user makes it.
  void clickCell(int row, int col) {
    QTableWidget* grid = form5->StringGrid1;
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
  std::unique_ptr<TForm5> form5;  // before the list goes: it detaches itself
};

TEST_F(TForm5Test, FixedDialogWithThreeColumnsAndOneEmptyRowOnceCreated) {
  EXPECT_FALSE(form5->isVisible()) << "created hidden";
  EXPECT_EQ(form5->minimumSize(), QSize(245, 253));
  EXPECT_EQ(form5->maximumSize(), QSize(245, 253));
  Qt::WindowFlags flags = form5->windowFlags();
  EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
  QTableWidget* grid = form5->StringGrid1;
  ASSERT_EQ(grid->columnCount(), 3);
  EXPECT_EQ(grid->columnWidth(0), 200);
  EXPECT_EQ(grid->columnWidth(1), 20);
  EXPECT_EQ(grid->columnWidth(2), 20);
  EXPECT_EQ(column0(), std::vector<std::string>{""});
}

TEST_F(TForm5Test, CaptionFollowsTheLanguageAtEveryShow) {
  form5->show();
  EXPECT_EQ(form5->windowTitle(), "Wait list");
  form5->hide();
  setLanguage("FR");
  form5->show();
  EXPECT_EQ(form5->windowTitle(), "Liste d'attente");
}

TEST_F(TForm5Test, ShownBesideTheMainWindowAndFollowsItWhenItMoves) {
  form5->show();
  ASSERT_TRUE(waitUntil([&] { return form5->pos() == besideMain(); }))
      << "at " << form5->x() << "," << form5->y();
  main.move(300, 200);
  ASSERT_TRUE(waitUntil([&] { return main.pos() == QPoint(300, 200); }));
  EXPECT_TRUE(waitUntil([&] { return form5->pos() == besideMain(); }))
      << "at " << form5->x() << "," << form5->y();
  EXPECT_EQ(form5->y(), main.frameGeometry().y());
}

TEST_F(TForm5Test, MovedAwayItGoesBackBesideTheMainWindow) {
  form5->show();
  ASSERT_TRUE(waitUntil([&] { return form5->pos() == besideMain(); }));
  form5->move(10, 10);
  EXPECT_TRUE(waitUntil([&] { return form5->pos() == besideMain(); }))
      << "at " << form5->x() << "," << form5->y();
}

TEST_F(TForm5Test, ClicksOnCellsReachTheWaitList) {
  for (const char* address : {"192.168.1.21", "192.168.1.22", "192.168.1.23"})
    list.addWaitItem(panel(address));
  list.showWaitList();
  ASSERT_TRUE(form5->isVisible());
  ASSERT_EQ(column0(),
            (std::vector<std::string>{"1: 192.168.1.21", "2: 192.168.1.22", "3: 192.168.1.23"}));

  clickCell(1, 0);  // the entry text itself does nothing
  EXPECT_TRUE(streams.calls.empty());
  EXPECT_EQ(list.WaitCount(), 3);

  clickCell(1, 1);  // watch
  EXPECT_EQ(streams.calls, (std::vector<std::string>{"setTarget 192.168.1.22", "launchStream"}));
  EXPECT_EQ(column0(), (std::vector<std::string>{"1: 192.168.1.21", "2: 192.168.1.23"}));

  clickCell(0, 2);  // remove
  EXPECT_EQ(column0(), std::vector<std::string>{"1: 192.168.1.23"});
  EXPECT_EQ(streams.calls.size(), 2u);
}

TEST_F(TForm5Test, ClosingOnlyHidesAndTheNextCallerBringsItBack) {
  form5->show();
  form5->close();
  EXPECT_FALSE(form5->isVisible());
  list.addWaitItem(panel("192.168.1.21"));
  list.showWaitList();
  EXPECT_TRUE(form5->isVisible());
  EXPECT_EQ(column0(), std::vector<std::string>{"1: 192.168.1.21"});
}

TEST_F(TForm5Test, BothIconsAreDrawnInEveryRowEmptyOnesIncluded) {
  form5->show();
  list.addWaitItem(panel("192.168.1.21"));
  list.refreshWaitList();
  form5->StringGrid1->setRowCount(2);  // row 1 stays empty
  QTableWidget* grid = form5->StringGrid1;
  QImage shot = grid->viewport()->grab().toImage();
  const QPoint middle(10, 10);
  for (int row = 0; row < 2; ++row) {
    for (int col : {1, 2}) {
      const QPixmap& icon = col == 1 ? form5->Image1 : form5->Image2;
      QPoint cell = grid->visualRect(grid->model()->index(row, col)).topLeft();
      QColor expected = icon.toImage().pixelColor(middle);
      ASSERT_EQ(expected.alpha(), 255) << "the reference pixel must be opaque";
      EXPECT_EQ(shot.pixelColor(cell + middle).rgb(), expected.rgb())
          << "row " << row << " column " << col;
    }
  }
}

}  // namespace
