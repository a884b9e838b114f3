#include "video/TForm5.h"

#include <QHeaderView>
#include <QMoveEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <algorithm>

#include "core/Text.h"
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

TForm5::TForm5(TWaitList& waitList, const QWidget* mainWindow, QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      m_waitList(waitList),
      m_mainWindow(mainWindow) {
  FormCreate();
}

TForm5::~TForm5() { m_waitList.attachView(nullptr); }

void TForm5::FormCreate() {
  setFixedSize(ClientWidth, ClientHeight);
  Image1 = drawIcon(EIcon::Watch, IconSize, IconSize);
  Image2 = drawIcon(EIcon::Remove, IconSize, IconSize);

  StringGrid1 = new QTableWidget(10, 3, this);
  StringGrid1->setGeometry(0, 0, ClientWidth, ClientHeight);
  StringGrid1->setFrameShape(QFrame::NoFrame);
  StringGrid1->horizontalHeader()->hide();
  StringGrid1->verticalHeader()->hide();
  StringGrid1->setShowGrid(false);
  StringGrid1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  StringGrid1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  StringGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
  StringGrid1->setWordWrap(false);
  QFont font("Tahoma");
  font.setPixelSize(15);
  StringGrid1->setFont(font);
  StringGrid1->setCursor(Qt::PointingHandCursor);
  StringGrid1->viewport()->setCursor(Qt::PointingHandCursor);
  for (QHeaderView* header : {StringGrid1->horizontalHeader(), StringGrid1->verticalHeader()}) {
    header->setMinimumSectionSize(1);
    header->setSectionResizeMode(QHeaderView::Fixed);
  }
  StringGrid1->verticalHeader()->setDefaultSectionSize(RowHeight);
  StringGrid1->setColumnWidth(0, 200);
  StringGrid1->setColumnWidth(1, IconSize);
  StringGrid1->setColumnWidth(2, IconSize);
  StringGrid1->setItemDelegate(new TWaitGridDelegate(Image1, Image2, StringGrid1));
  connect(StringGrid1, &QTableWidget::cellClicked, this,
          [this](int row, int col) { m_waitList.StringGrid1Click(col, row); });

  // The wait list rebuilds the grid as soon as its window exists.
  m_waitList.attachView(this);
}

void TForm5::setMainWindow(const QWidget* mainWindow) { m_mainWindow = mainWindow; }

std::optional<QPoint> TForm5::placeFor() const {
  if (m_mainWindow == nullptr) return std::nullopt;
  QRect main = m_mainWindow->frameGeometry();
  return QPoint(main.x() + main.width(), main.y());
}

void TForm5::placeBesideMainWindow() {
  std::optional<QPoint> place = placeFor();
  if (!place) return;
  m_correctedFrom.reset();
  move(*place);
}

void TForm5::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  FormShow();
}

void TForm5::FormShow() {
  setWindowTitle(fromCp1252(UiTexts.menuWaitList));
  placeBesideMainWindow();
}

void TForm5::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  // The window belongs beside the main window and there is no portable way to forbid moving
  // it, so a move away from that place is undone.
  std::optional<QPoint> place = placeFor();
  if (!place || !isVisible() || pos() == *place) return;
  if (m_correctedFrom == pos()) return;
  m_correctedFrom = pos();
  move(*place);
}

void TForm5::showWindow() {
  show();
  raise();
}

void TForm5::clearEntryTexts() {
  for (int row = 0; row < StringGrid1->rowCount(); ++row) {
    if (QTableWidgetItem* item = StringGrid1->item(row, 0)) item->setText(QString());
  }
}

void TForm5::setRowCount(int rows) { StringGrid1->setRowCount(std::max(1, rows)); }

void TForm5::setEntryText(int row, const std::string& text) {
  if (row < 0 || row >= StringGrid1->rowCount()) return;
  QTableWidgetItem* item = StringGrid1->item(row, 0);
  if (item == nullptr) {
    item = new QTableWidgetItem;
    StringGrid1->setItem(row, 0, item);
  }
  item->setText(fromCp1252(text));
}

std::string TForm5::entryText(int row) const {
  const QTableWidgetItem* item = StringGrid1->item(row, 0);
  return item == nullptr ? std::string() : utf8ToCp1252(item->text().toStdString());
}
