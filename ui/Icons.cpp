#include "ui/Icons.h"

#include <QPainter>
#include <QPainterPath>

namespace {

const QColor kInk(0x1d, 0x35, 0x57);
const QColor kAccent(0xe6, 0x39, 0x46);

void drawShape(QPainter& p, EIcon kind, const QRectF& r) {
  const qreal w = r.width();
  const qreal h = r.height();
  const QPointF c = r.center();
  p.setPen(QPen(kInk, std::max<qreal>(1.2, w / 14)));
  switch (kind) {
    case EIcon::Relay: {  // a key
      p.setBrush(Qt::NoBrush);
      p.drawEllipse(QPointF(r.left() + w * 0.3, c.y()), w * 0.17, w * 0.17);
      p.drawLine(QPointF(r.left() + w * 0.47, c.y()), QPointF(r.right() - w * 0.1, c.y()));
      p.drawLine(QPointF(r.right() - w * 0.2, c.y()),
                 QPointF(r.right() - w * 0.2, c.y() + h * 0.18));
      p.drawLine(QPointF(r.right() - w * 0.1, c.y()),
                 QPointF(r.right() - w * 0.1, c.y() + h * 0.18));
      break;
    }
    case EIcon::Favourite: {  // a star
      QPainterPath star;
      for (int i = 0; i < 10; ++i) {
        qreal radius = (i % 2 == 0) ? w * 0.42 : w * 0.18;
        qreal angle = -M_PI / 2 + i * M_PI / 5;
        QPointF pt(c.x() + radius * std::cos(angle), c.y() + radius * std::sin(angle));
        if (i == 0)
          star.moveTo(pt);
        else
          star.lineTo(pt);
      }
      star.closeSubpath();
      p.setBrush(QColor(0xf4, 0xa2, 0x61));
      p.drawPath(star);
      break;
    }
    case EIcon::Stop:
      p.setBrush(kAccent);
      p.drawRect(QRectF(c.x() - w * 0.28, c.y() - h * 0.28, w * 0.56, h * 0.56));
      break;
    case EIcon::Snapshot:
      p.setBrush(QColor(0xa8, 0xda, 0xdc));
      p.drawRoundedRect(QRectF(r.left() + w * 0.1, r.top() + h * 0.3, w * 0.8, h * 0.55), 2, 2);
      p.setBrush(Qt::white);
      p.drawEllipse(QPointF(c.x(), r.top() + h * 0.57), w * 0.16, w * 0.16);
      p.drawRect(QRectF(c.x() - w * 0.12, r.top() + h * 0.18, w * 0.24, h * 0.12));
      break;
    case EIcon::Voice:
      p.setBrush(kInk);
      p.drawRoundedRect(QRectF(c.x() - w * 0.12, r.top() + h * 0.12, w * 0.24, h * 0.45), 4, 4);
      p.setBrush(Qt::NoBrush);
      p.drawArc(QRectF(c.x() - w * 0.25, r.top() + h * 0.3, w * 0.5, h * 0.4), 180 * 16, 180 * 16);
      p.drawLine(QPointF(c.x(), r.top() + h * 0.7), QPointF(c.x(), r.bottom() - h * 0.1));
      break;
    case EIcon::Listen:
    case EIcon::ListenStop: {
      QPolygonF speaker;
      speaker << QPointF(r.left() + w * 0.12, c.y() - h * 0.12)
              << QPointF(r.left() + w * 0.3, c.y() - h * 0.12)
              << QPointF(r.left() + w * 0.5, c.y() - h * 0.3)
              << QPointF(r.left() + w * 0.5, c.y() + h * 0.3)
              << QPointF(r.left() + w * 0.3, c.y() + h * 0.12)
              << QPointF(r.left() + w * 0.12, c.y() + h * 0.12);
      p.setBrush(kInk);
      p.drawPolygon(speaker);
      p.setBrush(Qt::NoBrush);
      if (kind == EIcon::Listen) {
        p.drawArc(QRectF(c.x() - w * 0.2, c.y() - h * 0.25, w * 0.45, h * 0.5), -50 * 16, 100 * 16);
      } else {
        p.setPen(QPen(kAccent, w / 10));
        p.drawLine(QPointF(r.right() - w * 0.35, c.y() - h * 0.15),
                   QPointF(r.right() - w * 0.1, c.y() + h * 0.15));
        p.drawLine(QPointF(r.right() - w * 0.1, c.y() - h * 0.15),
                   QPointF(r.right() - w * 0.35, c.y() + h * 0.15));
      }
      break;
    }
    case EIcon::PinOff:
    case EIcon::PinOn: {
      p.setBrush(kind == EIcon::PinOn ? kAccent : QColor(0xb0, 0xb0, 0xb0));
      p.drawEllipse(QPointF(c.x(), r.top() + h * 0.32), w * 0.2, w * 0.2);
      p.drawLine(QPointF(c.x(), r.top() + h * 0.52), QPointF(c.x(), r.bottom() - h * 0.08));
      break;
    }
    case EIcon::LedOff:
    case EIcon::LedOn:
      p.setBrush(kind == EIcon::LedOn ? QColor(0x2d, 0xc6, 0x53) : QColor(0x80, 0x80, 0x80));
      p.drawEllipse(c, w * 0.3, h * 0.3);
      break;
    case EIcon::Minimise:
      p.drawLine(QPointF(r.left() + w * 0.2, r.bottom() - h * 0.25),
                 QPointF(r.right() - w * 0.2, r.bottom() - h * 0.25));
      break;
    case EIcon::Quit:
      p.setPen(QPen(kAccent, w / 8));
      p.drawLine(r.topLeft() + QPointF(w * 0.25, h * 0.25),
                 r.bottomRight() - QPointF(w * 0.25, h * 0.25));
      p.drawLine(QPointF(r.right() - w * 0.25, r.top() + h * 0.25),
                 QPointF(r.left() + w * 0.25, r.bottom() - h * 0.25));
      break;
    case EIcon::Settings:
      p.setBrush(Qt::NoBrush);
      p.drawEllipse(c, w * 0.3, h * 0.3);
      p.setBrush(kInk);
      p.drawEllipse(c, w * 0.1, h * 0.1);
      break;
    case EIcon::WaitList:
      for (int i = 0; i < 3; ++i)
        p.drawLine(QPointF(r.left() + w * 0.2, r.top() + h * (0.3 + 0.2 * i)),
                   QPointF(r.right() - w * 0.2, r.top() + h * (0.3 + 0.2 * i)));
      break;
    case EIcon::Manual:
    case EIcon::Watch: {
      p.setBrush(QColor(0x2d, 0xc6, 0x53));
      QPolygonF play;
      play << QPointF(r.left() + w * 0.3, r.top() + h * 0.2) << QPointF(r.right() - w * 0.2, c.y())
           << QPointF(r.left() + w * 0.3, r.bottom() - h * 0.2);
      p.drawPolygon(play);
      break;
    }
    case EIcon::FullScreen:
      p.setBrush(Qt::NoBrush);
      p.drawRect(QRectF(r.left() + w * 0.15, r.top() + h * 0.2, w * 0.7, h * 0.6));
      break;
    case EIcon::About:
    case EIcon::Help:
      p.setBrush(kInk);
      p.drawEllipse(c, w * 0.35, h * 0.35);
      p.setPen(Qt::white);
      p.setFont(QFont("DejaVu Sans", std::max(6, static_cast<int>(h * 0.45)), QFont::Bold));
      p.drawText(r, Qt::AlignCenter, kind == EIcon::About ? "i" : "?");
      break;
    case EIcon::Remove:
      p.setPen(QPen(kAccent, w / 7));
      p.drawLine(r.topLeft() + QPointF(w * 0.25, h * 0.25),
                 r.bottomRight() - QPointF(w * 0.25, h * 0.25));
      p.drawLine(QPointF(r.right() - w * 0.25, r.top() + h * 0.25),
                 QPointF(r.left() + w * 0.25, r.bottom() - h * 0.25));
      break;
    case EIcon::Add:
      p.setPen(QPen(kInk, w / 7));
      p.drawLine(QPointF(c.x(), r.top() + h * 0.2), QPointF(c.x(), r.bottom() - h * 0.2));
      p.drawLine(QPointF(r.left() + w * 0.2, c.y()), QPointF(r.right() - w * 0.2, c.y()));
      break;
    case EIcon::Refresh:  // a circular arrow
      p.setBrush(Qt::NoBrush);
      p.drawArc(r.adjusted(w * 0.2, h * 0.2, -w * 0.2, -h * 0.2), 60 * 16, 280 * 16);
      p.drawLine(QPointF(r.right() - w * 0.25, r.top() + h * 0.15),
                 QPointF(r.right() - w * 0.25, r.top() + h * 0.35));
      break;
    case EIcon::Eye:
    case EIcon::EyeCrossed: {
      QPainterPath lid;
      lid.moveTo(r.left() + w * 0.08, c.y());
      lid.quadTo(c.x(), r.top() + h * 0.1, r.right() - w * 0.08, c.y());
      lid.quadTo(c.x(), r.bottom() - h * 0.1, r.left() + w * 0.08, c.y());
      p.setBrush(Qt::white);
      p.drawPath(lid);
      p.setBrush(kInk);
      p.drawEllipse(c, w * 0.13, w * 0.13);
      if (kind == EIcon::EyeCrossed) {
        p.setPen(QPen(kAccent, w / 9));
        p.drawLine(r.topLeft() + QPointF(w * 0.15, h * 0.15),
                   r.bottomRight() - QPointF(w * 0.15, h * 0.15));
      }
      break;
    }
    case EIcon::Information:
      p.setBrush(QColor(0x45, 0x7b, 0x9d));
      p.setPen(Qt::NoPen);
      p.drawEllipse(r.adjusted(1, 1, -1, -1));
      p.setPen(QPen(Qt::white, w / 7));
      p.drawLine(QPointF(c.x(), c.y() - h * 0.05), QPointF(c.x(), r.bottom() - h * 0.25));
      p.drawPoint(QPointF(c.x(), r.top() + h * 0.28));
      break;
  }
}

}  // namespace

QPixmap drawIcon(EIcon kind, int width, int height) {
  QPixmap pixmap(width, height);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  drawShape(p, kind, QRectF(0, 0, width, height));
  return pixmap;
}

QIcon menuIcon(EIcon kind) { return QIcon(drawIcon(kind, 16, 16)); }
