#include "ui/WaitListWindow.h"

#include <QHeaderView>
#include <QMoveEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <algorithm>

#include "base/Text.h"
#include "core/UiTexts.h"
#include "ui/Icons.h"

namespace {

constexpr int ClientWidth = 245;
constexpr int ClientHeight = 253;
constexpr int RowHeight = 24;
constexpr int IconSize = 20;

QString fromCp1252(const std::string& text) { return QString::fromStdString(cp1252ToUtf8(text)); }

// Draws column 0's text, the two icons at the top-left of their cells (empty rows included)
// and a line under every cell: the grid has horizontal lines only.
class TWaitGridDelegate final : public QStyledItemDelegate {
 public:
  TWaitGridDelegate(QPixmap watch, QPixmap remove, QObject* parent)
      : QStyledItemDelegate(parent), m_watch(watch), m_remove(remove) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyledItemDelegate::paint(painter, option, index);
    if (index.column() == 1) painter->drawPixmap(option.rect.topLeft(), m_watch);
    if (index.column() == 2) painter->drawPixmap(option.rect.topLeft(), m_remove);
    painter->save();
    painter->setPen(option.palette.color(QPalette::Mid));
    painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
    painter->restore();
  }

 private:
  QPixmap m_watch;
  QPixmap m_remove;
};

}  // namespace

TWaitListWindow::TWaitListWindow(TWaitList& waitList, const QWidget* mainWindow, QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      m_waitList(waitList),
      m_mainWindow(mainWindow) {
  // A caller added while the receptionist types must not take the keyboard away.
  setAttribute(Qt::WA_ShowWithoutActivating);
  buildGrid();
}

TWaitListWindow::~TWaitListWindow() { m_waitList.attachView(nullptr); }

void TWaitListWindow::buildGrid() {
  setFixedSize(ClientWidth, ClientHeight);
  m_watchIcon = drawIcon(EIcon::Watch, IconSize, IconSize);
  m_removeIcon = drawIcon(EIcon::Remove, IconSize, IconSize);

  m_grid = new QTableWidget(10, 3, this);
  m_grid->setGeometry(0, 0, ClientWidth, ClientHeight);
  m_grid->setFrameShape(QFrame::NoFrame);
  m_grid->horizontalHeader()->hide();
  m_grid->verticalHeader()->hide();
  m_grid->setShowGrid(false);
  m_grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
  m_grid->setWordWrap(false);
  QFont font("Tahoma");
  font.setPixelSize(15);
  m_grid->setFont(font);
  m_grid->setCursor(Qt::PointingHandCursor);
  m_grid->viewport()->setCursor(Qt::PointingHandCursor);
  for (QHeaderView* header : {m_grid->horizontalHeader(), m_grid->verticalHeader()}) {
    header->setMinimumSectionSize(1);
    header->setSectionResizeMode(QHeaderView::Fixed);
  }
  m_grid->verticalHeader()->setDefaultSectionSize(RowHeight);
  m_grid->setColumnWidth(0, 200);
  m_grid->setColumnWidth(1, IconSize);
  m_grid->setColumnWidth(2, IconSize);
  m_grid->setItemDelegate(new TWaitGridDelegate(m_watchIcon, m_removeIcon, m_grid));
  connect(m_grid, &QTableWidget::cellClicked, this,
          [this](int row, int col) { m_waitList.onGridCellClicked(col, row); });

  // The wait list rebuilds the grid as soon as its window exists.
  m_waitList.attachView(this);
}

void TWaitListWindow::setMainWindow(const QWidget* mainWindow) { m_mainWindow = mainWindow; }

std::optional<QPoint> TWaitListWindow::placeFor() const {
  if (m_mainWindow == nullptr) return std::nullopt;
  QRect main = m_mainWindow->frameGeometry();
  return QPoint(main.x() + main.width(), main.y());
}

void TWaitListWindow::placeBesideMainWindow() {
  std::optional<QPoint> place = placeFor();
  if (!place) return;
  m_correctedFrom.reset();
  move(*place);
}

void TWaitListWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  titleAndPlace();
}

void TWaitListWindow::titleAndPlace() {
  setWindowTitle(fromCp1252(UiTexts.menuWaitList));
  placeBesideMainWindow();
}

void TWaitListWindow::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  // The window belongs beside the main window and there is no portable way to forbid moving
  // it, so a move away from that place is undone.
  std::optional<QPoint> place = placeFor();
  if (!place || !isVisible() || pos() == *place) return;
  if (m_correctedFrom == pos()) return;
  m_correctedFrom = pos();
  move(*place);
}

void TWaitListWindow::showWindow() {
  show();
  raise();
}

void TWaitListWindow::clearEntryTexts() {
  for (int row = 0; row < m_grid->rowCount(); ++row) {
    if (QTableWidgetItem* item = m_grid->item(row, 0)) item->setText(QString());
  }
}

void TWaitListWindow::setRowCount(int rows) { m_grid->setRowCount(std::max(1, rows)); }

void TWaitListWindow::setEntryText(int row, const std::string& text) {
  if (row < 0 || row >= m_grid->rowCount()) return;
  QTableWidgetItem* item = m_grid->item(row, 0);
  if (item == nullptr) {
    item = new QTableWidgetItem;
    m_grid->setItem(row, 0, item);
  }
  item->setText(fromCp1252(text));
}

std::string TWaitListWindow::entryText(int row) const {
  const QTableWidgetItem* item = m_grid->item(row, 0);
  return item == nullptr ? std::string() : utf8ToCp1252(item->text().toStdString());
}
