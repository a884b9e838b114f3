#include "ui/JournalWindow.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QScrollArea>
#include <QTableView>
#include <QTemporaryDir>
#include <filesystem>

#include "core/UiTexts.h"
#include "tests/support/Fakes.h"
#include "tests/support/QtTestSupport.h"

namespace {

constexpr std::int64_t Now = 1'765'000'000'000;

std::vector<unsigned char> jpegOf(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(Qt::darkGreen);
  QByteArray data;
  QBuffer buffer(&data);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "JPEG", 90);
  return {data.begin(), data.end()};
}

class JournalWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setLanguage("EN");
    ASSERT_EQ(writer.open(), EJournalOpen::Opened);
    missedId = add(Now - 3'600'000, "2025-12-06", "10.0.0.1", "Alice", EJournalOutcome::Shown);
    TJournalUpdate missed;
    missed.missed = true;
    writer.update(missedId, missed);
    writer.setPicture(missedId, jpegOf(640, 480));
    add(Now - 86'400'000, "2025-12-05", "10.0.0.2", "Bob", EJournalOutcome::Waited);
    newestId = add(Now, "2025-12-06", "10.0.0.2", "Carol", EJournalOutcome::RejectedCalling);
  }
  std::int64_t add(std::int64_t time, std::string day, std::string panel, std::string calling,
                   EJournalOutcome outcome) {
    TJournalEntry e{time,       std::move(day), std::move(panel), std::move(calling),
                    "100@host", outcome};
    return *writer.insert(e);
  }
  QString cell(int row, int column) {
    return window.model()->data(window.model()->index(row, column), Qt::DisplayRole).toString();
  }

  // Before any member widget.
  bool m_application = (ensureQtApplication(), true);
  QTemporaryDir dir;
  std::string path = dir.path().toStdString() + "/journal.sqlite";
  TJournalStore writer{path};
  std::int64_t missedId = 0, newestId = 0;
  TRecordingDialogs dialogs;
  int reads = 0, openings = 0;
  TJournalWindow window{path, dialogs, [this] { ++reads; }, [this] { ++openings; }};
};

// Opening reads the file and tells the station; the rows come newest first, the missed call
// stands out, and the filters pick by day and by panel.
TEST_F(JournalWindowTest, ListsNewestFirstMarksMissedAndFilters) {
  window.showJournal();
  EXPECT_EQ(openings, 1);
  EXPECT_EQ(reads, 1) << "queued writes are flushed before reading";
  TJournalModel& model = *window.model();
  ASSERT_EQ(model.rowCount(), 3);
  EXPECT_EQ(cell(0, TJournalModel::CallerColumn), "Carol");
  EXPECT_EQ(cell(1, TJournalModel::CallerColumn), "Alice");
  EXPECT_EQ(cell(2, TJournalModel::CallerColumn), "Bob");
  EXPECT_EQ(cell(0, TJournalModel::OutcomeColumn), "Rejected (identity)");
  EXPECT_EQ(cell(1, TJournalModel::OutcomeColumn), "Shown - Missed");
  EXPECT_TRUE(model.data(model.index(1, 3), Qt::BackgroundRole).isValid());
  EXPECT_FALSE(model.data(model.index(0, 3), Qt::BackgroundRole).isValid());
  const QVariant thumb =
      model.data(model.index(1, TJournalModel::PictureColumn), Qt::DecorationRole);
  ASSERT_TRUE(thumb.canConvert<QPixmap>());
  EXPECT_EQ(thumb.value<QPixmap>().size(), QSize(160, 120));
  EXPECT_FALSE(
      model.data(model.index(0, TJournalModel::PictureColumn), Qt::DecorationRole).isValid());

  ASSERT_EQ(window.m_dayCombo->count(), 3);  // all, then the days newest first
  EXPECT_EQ(window.m_dayCombo->itemText(1), "2025-12-06");
  window.m_dayCombo->setCurrentIndex(1);
  EXPECT_EQ(model.rowCount(), 2);
  window.m_panelCombo->setCurrentIndex(window.m_panelCombo->findText("10.0.0.2"));
  ASSERT_EQ(model.rowCount(), 1);
  EXPECT_EQ(cell(0, TJournalModel::CallerColumn), "Carol");

  // A call written meanwhile shows at the next opening, the filters kept.
  add(Now + 1000, "2025-12-06", "10.0.0.2", "Dave", EJournalOutcome::Shown);
  window.showJournal();
  EXPECT_EQ(openings, 2);
  EXPECT_EQ(window.m_dayCombo->currentText(), "2025-12-06");
  ASSERT_EQ(model.rowCount(), 2);
  EXPECT_EQ(cell(0, TJournalModel::CallerColumn), "Dave");
}

// A double click shows the picture at its full size; a row without one shows nothing.
TEST_F(JournalWindowTest, DoubleClickShowsThePictureFullSize) {
  window.showJournal();
  emit window.m_table->doubleClicked(window.model()->index(1, TJournalModel::TimeColumn));
  auto* viewer = window.findChild<QScrollArea*>("journalPicture");
  ASSERT_NE(viewer, nullptr);
  EXPECT_TRUE(viewer->isWindow());
  auto* label = qobject_cast<QLabel*>(viewer->widget());
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->pixmap().size(), QSize(640, 480));
  viewer->close();
  EXPECT_EQ(window.showPicture(0), nullptr);
}

// The day chosen goes out as CSV with its picture; a folder that cannot be written is told.
TEST_F(JournalWindowTest, ExportsTheChosenDay) {
  window.showJournal();
  window.m_dayCombo->setCurrentIndex(1);
  const std::string out = dir.path().toStdString() + "/out";
  std::filesystem::create_directories(out);
  ASSERT_TRUE(window.exportDayTo(out));
  const std::string csv = readFileBytes(out + "/journal-2025-12-06.csv");
  EXPECT_NE(csv.find("\"Alice\""), std::string::npos);
  EXPECT_NE(csv.find("\"Carol\""), std::string::npos);
  EXPECT_EQ(csv.find("\"Bob\""), std::string::npos) << "another day";
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out),
                          std::filesystem::directory_iterator()),
            2);
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].icon, EDialogIcon::Information);

  EXPECT_FALSE(window.exportDayTo(out + "/missing"));
  ASSERT_EQ(dialogs.shown.size(), 2u);
  EXPECT_EQ(dialogs.shown[1].icon, EDialogIcon::Warning);
  EXPECT_EQ(dialogs.shown[1].text.rfind(UiTexts.msgJournalExportFailed, 0), 0u);
}

}  // namespace
