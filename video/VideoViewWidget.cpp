#include "VideoViewWidget.h"

#include <QPainter>

TVideoView::TVideoView(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void TVideoView::setPicture(TBytes jpeg) {
  m_jpeg = std::move(jpeg);
  update();
}

void TVideoView::paintEvent(QPaintEvent*) {
  if (m_jpeg && !m_jpeg->empty()) {
    QImage decoded = QImage::fromData(m_jpeg->data(), static_cast<int>(m_jpeg->size()), "JPEG");
    if (!decoded.isNull()) m_lastGood = decoded;
  }
  if (m_lastGood.isNull()) return;
  QPainter painter(this);
  QRect target = fitCentred(m_lastGood.size(), size());
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(target, m_lastGood);
}

void TVideoView::mouseDoubleClickEvent(QMouseEvent*) { emit doubleClicked(); }

QRect fitCentred(QSize picture, QSize area) {
  if (picture.isEmpty() || area.isEmpty()) return {};
  // Scale by the tighter of the two ratios, in integer arithmetic so that sizes are cut down.
  long long w = area.width();
  long long h = static_cast<long long>(picture.height()) * area.width() / picture.width();
  if (h > area.height()) {
    h = area.height();
    w = static_cast<long long>(picture.width()) * area.height() / picture.height();
  }
  int left = static_cast<int>((area.width() - w) / 2);
  int top = static_cast<int>((area.height() - h) / 2);
  return QRect(left, top, static_cast<int>(w), static_cast<int>(h));
}
