#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QPixmap>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Dialogs.h"
#include "platform/JournalStore.h"

class QComboBox;
class QLabel;
class QPushButton;
class QTableView;

// The journal's rows for the table, newest first. Thumbnails are read from the file only for
// the rows the view paints, so a long journal opens as fast as a short one.
class TJournalModel : public QAbstractTableModel {
 public:
  enum EColumn {
    PictureColumn,
    TimeColumn,
    PanelColumn,
    CallerColumn,
    OutcomeColumn,
    WatchedColumn,
    DoorColumn,
    VoiceColumn,
    ColumnCount
  };
  explicit TJournalModel(const TJournalStore& store, QObject* parent = nullptr);

  void setRows(std::vector<TJournalRow> rows);
  const TJournalRow& row(int index) const { return m_rows.at(static_cast<std::size_t>(index)); }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  const TJournalStore& m_store;
  std::vector<TJournalRow> m_rows;
  mutable QHash<qint64, QPixmap> m_thumbnails;
};

// The visitor journal window (menu Tools): the calls newest first with their thumbnails,
// filtered by day and by panel; missed calls stand out; a double click shows the picture full
// size; one day exports as CSV with its pictures. Reads the file through a connection of its
// own while the journal's thread writes. Created hidden; closing only hides it. UI thread only.
class TJournalWindow : public QWidget {
 public:
  // beforeRead: brings the file up to date (the writes still queued); opened: told every time
  // the user brings the window up.
  TJournalWindow(std::string journalPath, IDialogs& dialogs, std::function<void()> beforeRead,
                 std::function<void()> opened, QWidget* parent = nullptr);
  ~TJournalWindow() override;

  // Reads the file again and brings the window up.
  void showJournal();
  // Reads the file again, keeping the filters where they can be kept.
  void reload();
  void applyTexts();
  // Exports the day of the filter (else the newest day listed) into folder; false and a box
  // when it cannot.
  bool exportDayTo(const std::string& folder);
  // The picture of that table row, full size, in a window of its own; null without a picture.
  QWidget* showPicture(int row);

  QComboBox* m_dayCombo = nullptr;
  QComboBox* m_panelCombo = nullptr;
  QTableView* m_table = nullptr;
  QPushButton* m_exportButton = nullptr;
  TJournalModel* model() const { return m_model; }

 private:
  void refill();
  void onExportClicked();
  std::string chosen(const QComboBox* combo) const;

  std::string m_path;
  IDialogs& m_dialogs;
  std::function<void()> m_beforeRead;
  std::function<void()> m_opened;
  TJournalStore m_store;
  TJournalModel* m_model = nullptr;
  QLabel* m_dayLabel = nullptr;
  QLabel* m_panelLabel = nullptr;
  bool m_filling = false;
};
