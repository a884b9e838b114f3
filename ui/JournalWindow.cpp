#include "ui/JournalWindow.h"

#include <QComboBox>
#include <QDateTime>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QTableView>
#include <QVBoxLayout>

#include "base/Text.h"
#include "core/UiTexts.h"

namespace {

QString ansi(const std::string& text) { return QString::fromStdString(cp1252ToUtf8(text)); }
QString utf8(const std::string& text) { return QString::fromStdString(text); }

constexpr int RowHeight = 64;
constexpr int ThumbnailWidth = 84;

QString outcomeText(EJournalOutcome outcome) {
  const TUiTexts& t = UiTexts;
  switch (outcome) {
    case EJournalOutcome::Shown:
      return ansi(t.txtJournalShown);
    case EJournalOutcome::Waited:
      return ansi(t.txtJournalWaited);
    case EJournalOutcome::RejectedCalled:
    case EJournalOutcome::RejectedCalling:
      return ansi(t.txtJournalRejected);
    case EJournalOutcome::DroppedWaitOff:
      return ansi(t.txtJournalWaitOff);
    case EJournalOutcome::DroppedWaitFull:
      return ansi(t.txtJournalWaitFull);
    case EJournalOutcome::NotStarted:
      return ansi(t.txtJournalNotStarted);
  }
  return {};
}

QPixmap pixmapOf(const std::vector<unsigned char>& jpeg) {
  QPixmap pixmap;
  if (!jpeg.empty()) pixmap.loadFromData(jpeg.data(), static_cast<uint>(jpeg.size()), "JPEG");
  return pixmap;
}

}  // namespace

TJournalModel::TJournalModel(const TJournalStore& store, QObject* parent)
    : QAbstractTableModel(parent), m_store(store) {}

void TJournalModel::setRows(std::vector<TJournalRow> rows) {
  beginResetModel();
  m_rows = std::move(rows);
  m_thumbnails.clear();
  endResetModel();
}

int TJournalModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int TJournalModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : ColumnCount;
}

QVariant TJournalModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const TJournalRow& r = row(index.row());
  if (role == Qt::BackgroundRole && r.missed) return QColor(255, 226, 226);
  if (role == Qt::DecorationRole && index.column() == PictureColumn) {
    if (!r.hasPicture) return {};
    auto cached = m_thumbnails.find(r.id);
    if (cached == m_thumbnails.end())
      cached = m_thumbnails.insert(r.id, pixmapOf(m_store.thumbnail(r.id)));
    return *cached;
  }
  if (role != Qt::DisplayRole) return {};
  switch (index.column()) {
    case TimeColumn:
      return QDateTime::fromMSecsSinceEpoch(r.entry.ringTimeMs)
          .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case PanelColumn:
      return utf8(r.entry.panel);
    case CallerColumn:
      return utf8(r.entry.calling);
    case OutcomeColumn:
      return r.missed ? outcomeText(r.entry.outcome) + " - " + ansi(UiTexts.txtJournalMissed)
                      : outcomeText(r.entry.outcome);
    case WatchedColumn:
      return r.watchedMs > 0 ? QStringLiteral("%1 s").arg(r.watchedMs / 1000) : QString();
    case DoorColumn:
      if (!r.doorOpened && r.relayResult.empty()) return QString();
      return (r.doorOpened ? QStringLiteral("\u2713 ") : QStringLiteral("\u2717 ")) +
             utf8(r.relayResult);
    case VoiceColumn:
      return r.voiceSent ? ansi(UiTexts.txtJournalSent) : QString();
    default:
      return {};
  }
}

QVariant TJournalModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  const TUiTexts& t = UiTexts;
  switch (section) {
    case TimeColumn:
      return ansi(t.colJournalTime);
    case PanelColumn:
      return ansi(t.lblJournalPanel);
    case CallerColumn:
      return ansi(t.colJournalCaller);
    case OutcomeColumn:
      return ansi(t.colJournalOutcome);
    case WatchedColumn:
      return ansi(t.colJournalWatched);
    case DoorColumn:
      return ansi(t.colJournalDoor);
    case VoiceColumn:
      return ansi(t.colJournalVoice);
    default:
      return QString();
  }
}

TJournalWindow::TJournalWindow(std::string journalPath, IDialogs& dialogs,
                               std::function<void()> beforeRead, std::function<void()> opened,
                               QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_path(std::move(journalPath)),
      m_dialogs(dialogs),
      m_beforeRead(std::move(beforeRead)),
      m_opened(std::move(opened)),
      m_store(m_path) {
  setObjectName("journalWindow");
  resize(760, 480);
  auto* layout = new QVBoxLayout(this);
  auto* filters = new QHBoxLayout;
  m_dayLabel = new QLabel(this);
  m_dayCombo = new QComboBox(this);
  m_dayCombo->setObjectName("journalDayCombo");
  m_panelLabel = new QLabel(this);
  m_panelCombo = new QComboBox(this);
  m_panelCombo->setObjectName("journalPanelCombo");
  m_exportButton = new QPushButton(this);
  m_exportButton->setObjectName("journalExportButton");
  filters->addWidget(m_dayLabel);
  filters->addWidget(m_dayCombo);
  filters->addWidget(m_panelLabel);
  filters->addWidget(m_panelCombo);
  filters->addStretch();
  filters->addWidget(m_exportButton);
  layout->addLayout(filters);

  m_model = new TJournalModel(m_store, this);
  m_table = new QTableView(this);
  m_table->setObjectName("journalTable");
  m_table->setModel(m_model);
  m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_table->setIconSize(QSize(ThumbnailWidth, RowHeight - 4));
  // Fixed heights: the view never has to look at every row to lay them out.
  m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  m_table->verticalHeader()->setDefaultSectionSize(RowHeight);
  m_table->verticalHeader()->hide();
  m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  m_table->setColumnWidth(TJournalModel::PictureColumn, ThumbnailWidth + 8);
  m_table->setColumnWidth(TJournalModel::TimeColumn, 130);
  m_table->horizontalHeader()->setStretchLastSection(true);
  layout->addWidget(m_table);

  connect(m_dayCombo, &QComboBox::currentIndexChanged, this, [this] {
    if (!m_filling) refill();
  });
  connect(m_panelCombo, &QComboBox::currentIndexChanged, this, [this] {
    if (!m_filling) refill();
  });
  connect(m_table, &QTableView::doubleClicked, this,
          [this](const QModelIndex& index) { showPicture(index.row()); });
  connect(m_exportButton, &QPushButton::clicked, this, &TJournalWindow::onExportClicked);
  applyTexts();
}

TJournalWindow::~TJournalWindow() = default;

void TJournalWindow::applyTexts() {
  const TUiTexts& t = UiTexts;
  setWindowTitle(ansi(t.menuJournal));
  m_dayLabel->setText(ansi(t.lblJournalDay));
  m_panelLabel->setText(ansi(t.lblJournalPanel));
  m_exportButton->setText(ansi(t.btnJournalExport));
  if (m_dayCombo->count() > 0) m_dayCombo->setItemText(0, ansi(t.lblJournalAll));
  if (m_panelCombo->count() > 0) m_panelCombo->setItemText(0, ansi(t.lblJournalAll));
}

std::string TJournalWindow::chosen(const QComboBox* combo) const {
  return combo->currentIndex() <= 0 ? std::string() : combo->currentText().toStdString();
}

void TJournalWindow::showJournal() {
  reload();
  show();
  raise();
  activateWindow();
  if (m_opened) m_opened();
}

void TJournalWindow::reload() {
  if (m_beforeRead) m_beforeRead();
  if (!m_store.isOpen()) m_store.openForReading();
  const std::string day = chosen(m_dayCombo);
  const std::string panel = chosen(m_panelCombo);
  m_filling = true;
  auto fillCombo = [](QComboBox* combo, const std::vector<std::string>& items,
                      const std::string& keep) {
    combo->clear();
    combo->addItem(ansi(UiTexts.lblJournalAll));
    for (const std::string& item : items) combo->addItem(utf8(item));
    const int at = keep.empty() ? 0 : combo->findText(utf8(keep));
    combo->setCurrentIndex(at < 0 ? 0 : at);
  };
  fillCombo(m_dayCombo, m_store.days(), day);
  fillCombo(m_panelCombo, m_store.panels(), panel);
  m_filling = false;
  refill();
}

void TJournalWindow::refill() {
  m_model->setRows(m_store.rows({chosen(m_dayCombo), chosen(m_panelCombo)}));
}

QWidget* TJournalWindow::showPicture(int row) {
  if (row < 0 || row >= m_model->rowCount() || !m_model->row(row).hasPicture) return nullptr;
  const QPixmap picture = pixmapOf(m_store.picture(m_model->row(row).id));
  if (picture.isNull()) return nullptr;
  auto* viewer = new QScrollArea(this);
  viewer->setWindowFlag(Qt::Window);
  viewer->setAttribute(Qt::WA_DeleteOnClose);
  viewer->setObjectName("journalPicture");
  auto* label = new QLabel(viewer);
  label->setPixmap(picture);
  viewer->setWidget(label);
  viewer->setWindowTitle(
      utf8(m_model->row(row).entry.calling + " - " + m_model->row(row).entry.panel));
  viewer->resize(picture.size().grownBy(QMargins(2, 2, 2, 2)));
  viewer->show();
  return viewer;
}

bool TJournalWindow::exportDayTo(const std::string& folder) {
  std::string day = chosen(m_dayCombo);
  if (day.empty() && m_dayCombo->count() > 1) day = m_dayCombo->itemText(1).toStdString();
  if (day.empty()) return false;
  if (!m_store.exportDay(day, folder)) {
    m_dialogs.message(UiTexts.msgJournalExportFailed + " " + utf8ToCp1252(m_store.lastError()),
                      EDialogIcon::Warning);
    return false;
  }
  m_dialogs.message(UiTexts.msgJournalExported + " " + utf8ToCp1252(folder),
                    EDialogIcon::Information);
  return true;
}

void TJournalWindow::onExportClicked() {
  const QString folder = QFileDialog::getExistingDirectory(this, ansi(UiTexts.btnJournalExport));
  if (!folder.isEmpty()) exportDayTo(folder.toStdString());
}
