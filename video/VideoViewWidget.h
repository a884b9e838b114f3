#pragma once

#include <QImage>
#include <QPoint>
#include <QSize>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <vector>

#include "video/JpegImage.h"
#include "video/PictureWorkspace.h"

// The video area: shows one JPEG picture scaled to the area with its aspect kept and
// centred. The picture's compressed bytes are shared with whoever handed them over, never
// copied; only their header is read when they arrive. Pixels are made when the area paints,
// and only for the latest picture, so frames that arrive faster than the screen paints are
// never decoded. A picture whose bytes do not decode leaves the previous one on screen.
//
// UI thread only.
class TVideoView : public QWidget {
  Q_OBJECT
 public:
  using TBytes = std::shared_ptr<const std::vector<unsigned char>>;
  explicit TVideoView(QWidget* parent = nullptr);

  // Takes a share of the bytes and reads their header; nothing is decoded here.
  void setPicture(TBytes jpeg);
  // The bytes last handed to setPicture, as they were handed over.
  const TBytes& picture() const { return m_jpeg; }

  // How many times a paint has decoded a picture, failed decodes included (for benchmarks and
  // tests: decodes must never outnumber paints).
  std::uint64_t decodeCount() const { return m_decodeCount; }

 signals:
  void doubleClicked();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  // Makes m_shown for the area's current size from the pending picture, or from the shown
  // one again when the area has changed size.
  void refreshShown(QSize area);

  TBytes m_jpeg;
  TPictureWorkspace m_workspace;  // kept from frame to frame: buffers, filter tables
  TJPEGImage m_pending;           // handed over, not decoded yet
  TJPEGImage m_current;           // the picture m_shown was made from
  QImage m_shown;                 // m_current decoded and scaled for m_shownFor
  QSize m_shownFor;               // the area size, in device pixels, m_shown was made for
  QPoint m_shownAt;               // its top left inside the area, in device pixels
  std::uint64_t m_decodeCount = 0;
};

// The largest rectangle of the picture's aspect that fits the area, cut to whole pixels and
// centred (offsets halved and rounded down).
QRect fitCentred(QSize picture, QSize area);
