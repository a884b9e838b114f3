#include "ui/AboutArtwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

// The panel: a dark rounded face with a camera, a speaker grille and a lit call button.
void drawPanel(QPainter& painter, const QRectF& face) {
  painter.setPen(QPen(QColor(0x22, 0x26, 0x2c), 1.5));
  QLinearGradient metal(face.topLeft(), face.topRight());
  metal.setColorAt(0, QColor(0x4a, 0x52, 0x5c));
  metal.setColorAt(1, QColor(0x2e, 0x34, 0x3b));
  painter.setBrush(metal);
  painter.drawRoundedRect(face, 10, 10);

  const QPointF lens(face.center().x(), face.top() + 24);
  painter.setBrush(QColor(0x10, 0x12, 0x16));
  painter.drawEllipse(lens, 13, 13);
  painter.setBrush(QColor(0x2f, 0x6f, 0xb3));
  painter.setPen(Qt::NoPen);
  painter.drawEllipse(lens, 6, 6);
  painter.setBrush(QColor(255, 255, 255, 170));
  painter.drawEllipse(lens + QPointF(-2.5, -2.5), 2, 2);

  painter.setPen(QPen(QColor(0x16, 0x19, 0x1d), 2, Qt::SolidLine, Qt::RoundCap));
  for (int row = 0; row < 4; ++row) {
    const double y = face.top() + 52 + row * 7;
    painter.drawLine(QPointF(face.left() + 22, y), QPointF(face.right() - 22, y));
  }

  const QPointF button(face.center().x(), face.bottom() - 26);
  painter.setPen(QPen(QColor(0x6d, 0xd3, 0x7e), 2.5));
  painter.setBrush(QColor(0x9a, 0xa3, 0xad));
  painter.drawEllipse(button, 11, 11);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0x3a, 0x40, 0x48));
  painter.drawEllipse(button, 5, 5);
}

// Arcs from the camera towards the title: the picture on its way to the desk.
void drawWaves(QPainter& painter, const QPointF& from) {
  for (int ring = 0; ring < 3; ++ring) {
    const double radius = 18 + ring * 11;
    painter.setPen(
        QPen(QColor(0x2f, 0x6f, 0xb3, 200 - ring * 55), 2.5, Qt::SolidLine, Qt::RoundCap));
    painter.setBrush(Qt::NoBrush);
    painter.drawArc(QRectF(from.x() - radius, from.y() - radius, 2 * radius, 2 * radius), -40 * 16,
                    80 * 16);
  }
}

}  // namespace

QPixmap drawAboutArtwork(QSize size) {
  QPixmap picture(size);
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing);

  QLinearGradient sky(0, 0, 0, size.height());
  sky.setColorAt(0, QColor(0xf7, 0xf9, 0xfb));
  sky.setColorAt(0.45, QColor(0xe4, 0xeb, 0xf2));
  sky.setColorAt(1, QColor(0xcf, 0xd9, 0xe4));
  painter.fillRect(picture.rect(), sky);

  // A wall line under the panel, and a soft band behind the title.
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0x2f, 0x6f, 0xb3, 28));
  painter.drawRect(QRectF(0, 4, size.width(), 62));
  painter.setBrush(QColor(0x2f, 0x6f, 0xb3));
  painter.drawRect(QRectF(0, 66, size.width(), 2));

  const QRectF face(34, 14, 66, 118);
  painter.setBrush(QColor(0, 0, 0, 40));
  painter.drawRoundedRect(face.translated(3, 3), 10, 10);
  drawPanel(painter, face);
  drawWaves(painter, QPointF(face.right() - 6, face.top() + 24));
  return picture;
}
