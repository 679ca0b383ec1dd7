#include "app_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

QIcon AppIcon() {
  QPixmap picture(16, 16);
  picture.fill(Qt::transparent);
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing);

  // The drum: a body with a rounded foot and an elliptic lid.
  const QColor body(0x2f, 0x6f, 0xb3);
  const QColor lid(0x7f, 0xb2, 0xe5);
  painter.setPen(QPen(QColor(0x1a, 0x3f, 0x66), 1));
  painter.setBrush(body);
  QPainterPath drum;
  drum.moveTo(1.5, 3.5);
  drum.lineTo(1.5, 12.0);
  drum.arcTo(QRectF(1.5, 10.0, 11.0, 4.5), 180, 180);
  drum.lineTo(12.5, 3.5);
  drum.closeSubpath();
  painter.drawPath(drum);
  painter.setBrush(lid);
  painter.drawEllipse(QRectF(1.5, 1.5, 11.0, 4.0));

  // The check mark: the structure has been verified.
  painter.setPen(QPen(QColor(0x1e, 0x9e, 0x3a), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.setBrush(Qt::NoBrush);
  painter.drawPolyline(QPolygonF({QPointF(7.5, 10.5), QPointF(10.0, 13.5), QPointF(14.5, 6.5)}));
  painter.end();
  return QIcon(picture);
}
