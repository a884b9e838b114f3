#pragma once

#include <QImage>
#include <QWidget>
#include <memory>
#include <vector>

// The video area (Image1): shows one JPEG picture scaled to the area with its aspect kept and
// centred. The picture's compressed bytes are shared with whoever handed them over; they are
// decoded only when the area is painted. UI thread only.
class TVideoView : public QWidget {
  Q_OBJECT
 public:
  using TBytes = std::shared_ptr<const std::vector<unsigned char>>;
  explicit TVideoView(QWidget* parent = nullptr);

  // Takes a share of the bytes; nothing is decoded here.
  void setPicture(TBytes jpeg);
  const TBytes& picture() const { return m_jpeg; }

 signals:
  void doubleClicked();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  TBytes m_jpeg;
  QImage m_lastGood;  // what stays on screen when a picture's bytes do not decode
};

// The largest rectangle of the picture's aspect that fits the area, cut to whole pixels and
// centred (offsets halved and rounded down).
QRect fitCentred(QSize picture, QSize area);
