#include "video/VideoViewWidget.h"

#include <QPaintEvent>
#include <QPainter>

#include "base/TimingMark.h"

TVideoView::TVideoView(QWidget* parent) : QWidget(parent) {
  // The backdrop shows around a picture narrower or lower than the area.
  setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void TVideoView::setPicture(TBytes jpeg) {
  m_jpeg = jpeg;
  if (jpeg && jpeg == m_current.bytes()) {
    // The idle picture is handed over again every second: what is on screen already is it.
    if (!m_pending.empty()) {
      m_pending.clear();
      update();
    }
    return;
  }
  TJPEGImage image;
  // A header that does not read, or asks for too large a picture, can never be shown: the
  // picture on screen (or the one still waiting for a paint) stays.
  if (!image.load(std::move(jpeg))) return;
  m_pending = std::move(image);
  update();
}

void TVideoView::refreshShown(QSize area) {
  // One decode per paint at most: a waiting picture, else the shown one for a new area size.
  TJPEGImage source;
  if (!m_pending.empty()) {
    source = std::move(m_pending);
    m_pending.clear();
  } else if (area != m_shownFor && !m_current.empty()) {
    source = m_current;
  } else {
    return;
  }
  ++m_decodeCount;
  QImage scaled = source.scaledFor(area.width(), area.height(), m_workspace);
  timingMark("picture-decoded");
  if (scaled.isNull()) return;
  m_shown = std::move(scaled);
  m_shownFor = area;
  m_shownAt =
      TJPEGImage::fitRect(source.width(), source.height(), area.width(), area.height()).topLeft();
  m_current = std::move(source);
}

void TVideoView::paintEvent(QPaintEvent*) {
  const qreal ratio = devicePixelRatioF();
  const QSize area = (QSizeF(size()) * ratio).toSize();
  refreshShown(area);
  if (m_shown.isNull()) return;
  QPainter painter(this);
  if (m_shownFor == area) {
    // Already at its final size: a plain copy.
    m_shown.setDevicePixelRatio(ratio);
    painter.drawImage(QPointF(m_shownAt) / ratio, m_shown);
    timingMark("picture-painted");
    return;
  }
  // The area changed size in the same paint as a frame failed to decode: stretch what is on
  // screen rather than decode a second time.
  const QRect target = fitCentred(m_shown.size(), area);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  m_shown.setDevicePixelRatio(1.0);
  painter.drawImage(QRectF(QPointF(target.topLeft()) / ratio, QSizeF(target.size()) / ratio),
                    m_shown);
}

void TVideoView::mouseDoubleClickEvent(QMouseEvent*) { emit doubleClicked(); }

QRect fitCentred(QSize picture, QSize area) {
  return TJPEGImage::fitRect(picture.width(), picture.height(), area.width(), area.height());
}
