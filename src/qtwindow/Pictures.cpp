#include "qtwindow/Pictures.h"

#include <QFontMetricsF>
#include <QIconEngine>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <functional>

namespace pw::ui {
namespace {

using PaintFn = std::function<void(QPainter&, const QRectF&, QIcon::Mode)>;

// Pictures are drawn on a 100 x 100 canvas, scaled into the target.
void FitCanvas(QPainter& p, const QRectF& rect, qreal canvasWidth = 100, qreal canvasHeight = 100) {
  qreal scale = std::min(rect.width() / canvasWidth, rect.height() / canvasHeight);
  p.translate(rect.center().x() - canvasWidth * scale / 2, rect.center().y() - canvasHeight * scale / 2);
  p.scale(scale, scale);
}

QPen Stroke(const QColor& colour, qreal width) {
  QPen pen(colour, width);
  pen.setCapStyle(Qt::RoundCap);
  pen.setJoinStyle(Qt::RoundJoin);
  return pen;
}

QLinearGradient Vertical(const QColor& top, const QColor& bottom, qreal y0 = 0, qreal y1 = 100) {
  QLinearGradient g(0, y0, 0, y1);
  g.setColorAt(0, top);
  g.setColorAt(1, bottom);
  return g;
}

QPainterPath ShieldPath() {
  QPainterPath path;
  path.moveTo(50, 4);
  path.cubicTo(64, 12, 78, 15, 92, 15);
  path.lineTo(92, 46);
  path.cubicTo(92, 72, 74, 88, 50, 97);
  path.cubicTo(26, 88, 8, 72, 8, 46);
  path.lineTo(8, 15);
  path.cubicTo(22, 15, 36, 12, 50, 4);
  path.closeSubpath();
  return path;
}

struct ZoneColours {
  QColor light, dark, edge, mark;
};

ZoneColours ColoursOf(int zone, bool grey) {
  if (grey) return {QColor(0xd4, 0xd4, 0xd4), QColor(0x9a, 0x9a, 0x9a), QColor(0x6e, 0x6e, 0x6e), Qt::white};
  switch (zone) {
    case 2: return {QColor(0x5c, 0xd6, 0x5c), QColor(0x1b, 0x8a, 0x2c), QColor(0x0e, 0x55, 0x1a), Qt::white};
    case 3: return {QColor(0xff, 0xe8, 0x6a), QColor(0xf0, 0xb4, 0x00), QColor(0x9a, 0x6e, 0x00), QColor(0x5a, 0x3c, 0x00)};
    default: return {QColor(0xff, 0x6a, 0x5c), QColor(0xc6, 0x1e, 0x16), QColor(0x7a, 0x0e, 0x0a), Qt::white};
  }
}

// The zone badge: a shield in the zone's colour with its mark (a tick for
// Trusted, a question mark for Unclassified, a cross for Restricted).
void PaintZoneBadge(QPainter& p, int zone, bool grey) {
  ZoneColours c = ColoursOf(zone, grey);
  QPainterPath shield = ShieldPath();
  p.setPen(Stroke(c.edge, 5));
  p.setBrush(Vertical(c.light, c.dark, 4, 97));
  p.drawPath(shield);
  // A soft highlight on the upper half.
  p.setPen(Qt::NoPen);
  QColor shine(255, 255, 255, 70);
  p.setBrush(shine);
  QPainterPath gloss;
  gloss.moveTo(50, 10);
  gloss.cubicTo(62, 17, 74, 20, 86, 20);
  gloss.lineTo(86, 40);
  gloss.cubicTo(60, 46, 40, 46, 14, 40);
  gloss.lineTo(14, 20);
  gloss.cubicTo(26, 20, 38, 17, 50, 10);
  p.drawPath(gloss);

  p.setPen(Stroke(c.mark, 12));
  p.setBrush(Qt::NoBrush);
  if (zone == 2) {
    p.drawPolyline(QPolygonF({QPointF(28, 50), QPointF(44, 67), QPointF(73, 33)}));
  } else if (zone == 3) {
    QPainterPath mark;
    mark.moveTo(36, 38);
    mark.cubicTo(36, 22, 64, 22, 64, 38);
    mark.cubicTo(64, 50, 50, 50, 50, 62);
    p.drawPath(mark);
    p.setPen(Qt::NoPen);
    p.setBrush(c.mark);
    p.drawEllipse(QPointF(50, 79), 7, 7);
  } else {
    p.drawLine(QPointF(33, 33), QPointF(67, 69));
    p.drawLine(QPointF(67, 33), QPointF(33, 69));
  }
}

// The emblem: a gate tower with a lowered portcullis.
void PaintEmblem(QPainter& p) {
  QPainterPath tower;
  tower.moveTo(12, 96);
  tower.lineTo(12, 22);
  for (int i = 0; i < 4; ++i) {  // battlements
    qreal x = 12 + i * 20;
    tower.lineTo(x, 6);
    tower.lineTo(x + 12, 6);
    tower.lineTo(x + 12, 22);
    tower.lineTo(x + 20, 22);
  }
  tower.lineTo(88, 6);
  tower.lineTo(88, 96);
  tower.closeSubpath();
  p.setPen(Stroke(QColor(0x1e, 0x2c, 0x44), 4));
  p.setBrush(Vertical(QColor(0x7d, 0x92, 0xb4), QColor(0x3a, 0x4e, 0x70), 6, 96));
  p.drawPath(tower);

  QPainterPath arch;
  arch.moveTo(28, 96);
  arch.lineTo(28, 56);
  arch.arcTo(QRectF(28, 34, 44, 44), 180, -180);
  arch.lineTo(72, 96);
  arch.closeSubpath();
  p.setPen(Stroke(QColor(0x1e, 0x2c, 0x44), 3));
  p.setBrush(QColor(0x14, 0x1c, 0x2a));
  p.drawPath(arch);

  p.save();
  p.setClipPath(arch);
  p.setPen(Stroke(QColor(0xf2, 0xc1, 0x3a), 4));
  for (qreal x = 35; x < 72; x += 10) p.drawLine(QPointF(x, 30), QPointF(x, 90));
  for (qreal y = 48; y < 92; y += 11) p.drawLine(QPointF(26, y), QPointF(74, y));
  p.restore();
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xf2, 0xc1, 0x3a));
  for (qreal x = 35; x < 72; x += 10) {
    QPolygonF spike({QPointF(x - 3, 90), QPointF(x + 3, 90), QPointF(x, 96)});
    p.drawPolygon(spike);
  }
}

// A padlock, closed (secured) or with its shackle open.
void PaintPadlock(QPainter& p, bool closed) {
  QColor steelEdge(0x4a, 0x4f, 0x57);
  QPainterPath shackle;
  if (closed) {
    shackle.moveTo(28, 50);
    shackle.lineTo(28, 32);
    shackle.arcTo(QRectF(28, 10, 44, 44), 180, -180);
    shackle.lineTo(72, 50);
  } else {
    shackle.moveTo(28, 50);
    shackle.lineTo(28, 22);
    shackle.arcTo(QRectF(28, 0, 44, 44), 180, -180);
    shackle.lineTo(72, 30);
  }
  p.setBrush(Qt::NoBrush);
  p.setPen(Stroke(steelEdge, 15));
  p.drawPath(shackle);
  p.setPen(Stroke(QColor(0xc8, 0xcd, 0xd4), 9));
  p.drawPath(shackle);

  QColor light = closed ? QColor(0x5c, 0xd6, 0x5c) : QColor(0xff, 0x6a, 0x5c);
  QColor dark = closed ? QColor(0x1b, 0x8a, 0x2c) : QColor(0xc6, 0x1e, 0x16);
  QColor edge = closed ? QColor(0x0e, 0x55, 0x1a) : QColor(0x7a, 0x0e, 0x0a);
  p.setPen(Stroke(edge, 4));
  p.setBrush(Vertical(light, dark, 46, 96));
  p.drawRoundedRect(QRectF(14, 46, 72, 50), 9, 9);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0, 0, 0, 150));
  p.drawEllipse(QPointF(50, 65), 7, 7);
  p.drawRect(QRectF(46.5, 66, 7, 17));
}

void PaintBin(QPainter& p) {
  QColor edge(0x3c, 0x40, 0x48);
  p.setPen(Stroke(edge, 4));
  p.setBrush(Vertical(QColor(0xe6, 0xe9, 0xee), QColor(0x9a, 0xa2, 0xae), 24, 96));
  QPainterPath body;
  body.moveTo(20, 26);
  body.lineTo(80, 26);
  body.lineTo(73, 96);
  body.lineTo(27, 96);
  body.closeSubpath();
  p.drawPath(body);
  p.setPen(Stroke(edge, 4));
  for (qreal x : {38.0, 50.0, 62.0}) p.drawLine(QPointF(x, 36), QPointF(x + (x - 50) * 0.08, 86));
  p.setBrush(Vertical(QColor(0xd0, 0xd4, 0xdb), QColor(0x8a, 0x92, 0x9e), 12, 26));
  p.drawRoundedRect(QRectF(12, 14, 76, 12), 3, 3);
  p.drawRoundedRect(QRectF(40, 5, 20, 9), 3, 3);
  // A red cross says "remove".
  p.setPen(Stroke(QColor(0x7a, 0x0e, 0x0a), 15));
  p.drawLine(QPointF(58, 52), QPointF(90, 84));
  p.drawLine(QPointF(90, 52), QPointF(58, 84));
  p.setPen(Stroke(QColor(0xe8, 0x2a, 0x20), 9));
  p.drawLine(QPointF(58, 52), QPointF(90, 84));
  p.drawLine(QPointF(90, 52), QPointF(58, 84));
}

void PaintPlus(QPainter& p, const QPointF& centre, qreal radius) {
  p.setPen(Stroke(QColor(0x0e, 0x55, 0x1a), 3));
  p.setBrush(Vertical(QColor(0x5c, 0xd6, 0x5c), QColor(0x1b, 0x8a, 0x2c), centre.y() - radius, centre.y() + radius));
  p.drawEllipse(centre, radius, radius);
  p.setPen(Stroke(Qt::white, radius * 0.36));
  qreal arm = radius * 0.55;
  p.drawLine(QPointF(centre.x() - arm, centre.y()), QPointF(centre.x() + arm, centre.y()));
  p.drawLine(QPointF(centre.x(), centre.y() - arm), QPointF(centre.x(), centre.y() + arm));
}

void PaintGlobeWithPlus(QPainter& p) {
  QRadialGradient sea(QPointF(34, 30), 60);
  sea.setColorAt(0, QColor(0x9c, 0xd2, 0xff));
  sea.setColorAt(1, QColor(0x1f, 0x62, 0xb8));
  p.setPen(Stroke(QColor(0x12, 0x3c, 0x74), 4));
  p.setBrush(sea);
  p.drawEllipse(QPointF(42, 44), 36, 36);
  p.setBrush(Qt::NoBrush);
  p.setPen(Stroke(QColor(255, 255, 255, 170), 3));
  p.drawEllipse(QPointF(42, 44), 15, 36);
  p.drawLine(QPointF(42, 8), QPointF(42, 80));
  p.drawLine(QPointF(6, 44), QPointF(78, 44));
  p.drawArc(QRectF(10, 8, 64, 30), 200 * 16, 140 * 16);
  p.drawArc(QRectF(10, 50, 64, 30), 20 * 16, 140 * 16);
  PaintPlus(p, QPointF(74, 74), 22);
}

void PaintPrinter(QPainter& p) {
  QColor edge(0x3c, 0x40, 0x48);
  p.setPen(Stroke(edge, 3.5));
  p.setBrush(Qt::white);
  p.drawRect(QRectF(26, 6, 48, 34));  // paper waiting at the back
  p.setBrush(Vertical(QColor(0xd8, 0xdc, 0xe2), QColor(0x80, 0x88, 0x94), 34, 78));
  p.drawRoundedRect(QRectF(6, 34, 88, 44), 8, 8);
  p.setBrush(QColor(0x2a, 0x2e, 0x34));
  p.drawRect(QRectF(20, 60, 60, 7));
  p.setBrush(Qt::white);
  p.drawRect(QRectF(24, 64, 52, 32));  // the printed page
  p.setPen(Stroke(QColor(0x1f, 0x62, 0xb8), 3.5));
  for (qreal y : {73.0, 80.0, 87.0}) p.drawLine(QPointF(31, y), QPointF(y == 87.0 ? 55 : 69, y));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x3c, 0xc8, 0x50));
  p.drawEllipse(QPointF(82, 46), 4, 4);
}

// Grey for a disabled icon, drawn over whatever the picture painted.
void Desaturate(QPainter& p, const QRectF& rect) {
  p.save();
  p.resetTransform();
  p.setCompositionMode(QPainter::CompositionMode_SourceAtop);
  p.fillRect(rect, QColor(0xc0, 0xc0, 0xc0, 170));
  p.restore();
}

class PaintedIconEngine : public QIconEngine {
 public:
  explicit PaintedIconEngine(PaintFn paint) : paint_(std::move(paint)) {}
  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    paint_(*painter, rect, mode);
    painter->restore();
  }
  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return scaledPixmap(size, mode, state, 1.0);
  }
  QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override {
    QPixmap pixmap(size * scale);
    pixmap.fill(Qt::transparent);
    pixmap.setDevicePixelRatio(scale);
    QPainter painter(&pixmap);
    paint(&painter, QRect(QPoint(0, 0), size), mode, state);
    return pixmap;
  }
  QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }
  QIconEngine* clone() const override { return new PaintedIconEngine(paint_); }

 private:
  PaintFn paint_;
};

}  // namespace

void PaintImageListPicture(QPainter& p, int index, const QRectF& rect) {
  if (index < 1 || index > kImageListCount) return;
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  FitCanvas(p, rect);
  switch (index) {
    case 1:
    case 8: PaintEmblem(p); break;
    case 2:
    case 3:
    case 4: PaintZoneBadge(p, index, false); break;
    case 5:
    case 6:
    case 7: PaintZoneBadge(p, index - 3, true); break;
    case 9: PaintPadlock(p, true); break;
    case 10: PaintPadlock(p, false); break;
    case 11: PaintBin(p); break;
  }
  p.restore();
}

QIcon ImageListIcon(int index) {
  if (index < 1 || index > kImageListCount) return {};
  return QIcon(new PaintedIconEngine([index](QPainter& p, const QRectF& rect, QIcon::Mode mode) {
    bool off = mode == QIcon::Disabled;
    if (off && index >= 2 && index <= 4) {
      PaintImageListPicture(p, index + 3, rect);
      return;
    }
    PaintImageListPicture(p, index, rect);
    if (off) Desaturate(p, rect);
  }));
}

QIcon ButtonIcon(ButtonPicture picture) {
  return QIcon(new PaintedIconEngine([picture](QPainter& p, const QRectF& rect, QIcon::Mode mode) {
    p.save();
    FitCanvas(p, rect);
    if (picture == ButtonPicture::Add) PaintGlobeWithPlus(p); else PaintPrinter(p);
    p.restore();
    if (mode == QIcon::Disabled) Desaturate(p, rect);
  }));
}

void PaintPanelPicture(QPainter& p, StatusPanel panel, const QRectF& rect) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  QColor top, bottom, edge;
  switch (panel) {
    case StatusPanel::Secured:
      top = QColor(0x3f, 0xb8, 0x4c), bottom = QColor(0x16, 0x6e, 0x24), edge = QColor(0x0c, 0x48, 0x16);
      break;
    case StatusPanel::SemiSecure:
      top = QColor(0xff, 0xe0, 0x5a), bottom = QColor(0xf0, 0xa8, 0x00), edge = QColor(0x9a, 0x6a, 0x00);
      break;
    case StatusPanel::Unsecure:
      top = QColor(0xf0, 0x4c, 0x40), bottom = QColor(0xa8, 0x14, 0x10), edge = QColor(0x6a, 0x08, 0x06);
      break;
  }
  p.setPen(Qt::NoPen);
  p.setBrush(Vertical(top, bottom, rect.top(), rect.bottom()));
  p.drawRect(rect);

  // The state's sign as a large watermark on the right.
  qreal side = rect.height() * 0.86;
  QRectF sign(rect.right() - side - rect.height() * 0.12, rect.center().y() - side / 2, side, side);
  p.setOpacity(0.28);
  p.save();
  FitCanvas(p, sign);
  switch (panel) {
    case StatusPanel::Secured: PaintPadlock(p, true); break;
    case StatusPanel::SemiSecure: PaintZoneBadge(p, 3, false); break;
    case StatusPanel::Unsecure: PaintPadlock(p, false); break;
  }
  p.restore();
  p.setOpacity(1);
  p.setPen(QPen(edge, 2));
  p.setBrush(Qt::NoBrush);
  p.drawRect(rect.adjusted(1, 1, -1, -1));
  p.restore();
}

void PaintProductPicture(QPainter& p, const QRectF& whole) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  p.fillRect(whole, Vertical(QColor(0x24, 0x34, 0x52), QColor(0x10, 0x18, 0x28), whole.top(), whole.bottom()));
  // The picture box that holds the picture shows only its upper part.
  QRectF rect(whole.topLeft(), QSizeF(whole.width(), whole.height() * 0.85));
  qreal side = rect.height() * 0.78;
  QRectF emblem(rect.left() + rect.height() * 0.11, rect.top() + (rect.height() - side) / 2, side, side);
  PaintImageListPicture(p, 8, emblem);

  qreal textLeft = emblem.right() + rect.height() * 0.14;
  QRectF text(textLeft, rect.top(), rect.right() - textLeft, rect.height());
  QFont title("Liberation Serif");
  title.setStyleHint(QFont::Serif);
  title.setBold(true);
  // The largest size at which the word fits beside the emblem.
  int pixels = std::max(8, static_cast<int>(rect.height() * 0.26));
  title.setPixelSize(pixels);
  qreal room = text.width() - rect.height() * 0.1;
  qreal wide = QFontMetricsF(title).horizontalAdvance("PORTWARDEN");
  if (wide > room) title.setPixelSize(std::max(6, static_cast<int>(pixels * room / wide)));
  p.setFont(title);
  p.setPen(QColor(0xf2, 0xc1, 0x3a));
  p.drawText(text.adjusted(0, 0, 0, -rect.height() * 0.5), Qt::AlignLeft | Qt::AlignBottom, "PORTWARDEN");
  QFont tagline("Liberation Sans");
  tagline.setPixelSize(std::max(7, static_cast<int>(rect.height() * 0.12)));
  p.setFont(tagline);
  p.setPen(QColor(0xd6, 0xe0, 0xf0));
  p.drawText(text.adjusted(0, rect.height() * 0.56, -4, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
             "Script Security and\nTrusted Sites Manager");
  p.restore();
}

}  // namespace pw::ui
