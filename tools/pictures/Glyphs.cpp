#include "Glyphs.h"

#include <QFont>
#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>
#include <numbers>

namespace glyphs {
namespace {

// The Sapphire colours shared with the skin.
const QColor Deep(0x17, 0x4A, 0x8F);
const QColor Mid(0x2F, 0x6F, 0xC9);
const QColor Light(0x9C, 0xC4, 0xF2);
const QColor Paper(0xFB, 0xFD, 0xFF);
const QColor Green(0x2E, 0x9E, 0x4F);
const QColor Red(0xD2, 0x40, 0x3C);
const QColor Amber(0xF2, 0xB1, 0x34);

QImage Canvas(int width, int height) {
  QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  return image;
}

// A painter whose coordinates run from 0 to 100 across a square picture.
class TGlyphPainter : public QPainter {
public:
  TGlyphPainter(QImage &image, int size) : QPainter(&image) {
    setRenderHint(QPainter::Antialiasing);
    scale(size / 100.0, size / 100.0);
  }
};

QLinearGradient Vertical(const QColor &top, const QColor &bottom, qreal y0 = 0, qreal y1 = 100) {
  QLinearGradient g(0, y0, 0, y1);
  g.setColorAt(0, top);
  g.setColorAt(1, bottom);
  return g;
}

void Document(QPainter &p, const QRectF &r) {
  const qreal fold = r.width() * 0.32;
  QPainterPath page;
  page.moveTo(r.left(), r.top());
  page.lineTo(r.right() - fold, r.top());
  page.lineTo(r.right(), r.top() + fold);
  page.lineTo(r.right(), r.bottom());
  page.lineTo(r.left(), r.bottom());
  page.closeSubpath();
  p.setPen(QPen(Deep, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Vertical(Paper, Light, r.top(), r.bottom()));
  p.drawPath(page);
  QPainterPath corner;
  corner.moveTo(r.right() - fold, r.top());
  corner.lineTo(r.right() - fold, r.top() + fold);
  corner.lineTo(r.right(), r.top() + fold);
  p.setBrush(Light);
  p.drawPath(corner);
}

void FilmStrip(QPainter &p, const QRectF &r) {
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x26, 0x2B, 0x33));
  p.drawRoundedRect(r, 6, 6);
  p.setBrush(Paper);
  const int holes = 4;
  const qreal step = r.height() / holes;
  for (int i = 0; i < holes; ++i) {
    const qreal y = r.top() + step * i + step * 0.3;
    p.drawRect(QRectF(r.left() + r.width() * 0.07, y, r.width() * 0.1, step * 0.4));
    p.drawRect(QRectF(r.right() - r.width() * 0.17, y, r.width() * 0.1, step * 0.4));
  }
  p.setBrush(Vertical(Light, Mid, r.top(), r.bottom()));
  p.drawRect(
      QRectF(r.left() + r.width() * 0.25, r.top() + r.height() * 0.1, r.width() * 0.5, r.height() * 0.8));
}

// A round badge with a plus, a minus or a cross in the lower right corner.
enum class TBadge { Plus, Minus, Cross };
void Badge(QPainter &p, TBadge kind, const QColor &colour) {
  p.setPen(QPen(Qt::white, 4));
  p.setBrush(colour);
  p.drawEllipse(QPointF(72, 72), 24, 24);
  p.setPen(QPen(Qt::white, 9, Qt::SolidLine, Qt::RoundCap));
  switch (kind) {
  case TBadge::Plus:
    p.drawLine(QPointF(72, 60), QPointF(72, 84));
    p.drawLine(QPointF(60, 72), QPointF(84, 72));
    break;
  case TBadge::Minus:
    p.drawLine(QPointF(60, 72), QPointF(84, 72));
    break;
  case TBadge::Cross:
    p.drawLine(QPointF(63, 63), QPointF(81, 81));
    p.drawLine(QPointF(81, 63), QPointF(63, 81));
    break;
  }
}

void Folder(QPainter &p, const QRectF &r) {
  p.setPen(QPen(QColor(0xB9, 0x7A, 0x10), 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  QPainterPath back;
  back.moveTo(r.left(), r.bottom());
  back.lineTo(r.left(), r.top());
  back.lineTo(r.left() + r.width() * 0.38, r.top());
  back.lineTo(r.left() + r.width() * 0.48, r.top() + r.height() * 0.15);
  back.lineTo(r.right(), r.top() + r.height() * 0.15);
  back.lineTo(r.right(), r.bottom());
  back.closeSubpath();
  p.setBrush(QColor(0xE8, 0xA5, 0x2A));
  p.drawPath(back);
  p.setBrush(Vertical(QColor(0xFF, 0xD9, 0x7A), Amber, r.top(), r.bottom()));
  p.drawRoundedRect(QRectF(r.left(), r.top() + r.height() * 0.32, r.width(), r.height() * 0.68), 3, 3);
}

// A filled disc in the button colour with a white shape on it.
void Disc(QPainter &p, const QColor &colour) {
  QRadialGradient g(QPointF(40, 30), 70);
  g.setColorAt(0, colour.lighter(150));
  g.setColorAt(1, colour);
  p.setPen(QPen(colour.darker(130), 3));
  p.setBrush(g);
  p.drawEllipse(QPointF(50, 50), 46, 46);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
}

void Triangle(QPainter &p, QPointF a, QPointF b, QPointF c) {
  const QPointF points[] = {a, b, c};
  p.drawPolygon(points, 3);
}

// An arrow pointing up (direction -1) or down (direction 1).
QImage VerticalArrow(int size, int direction) {
  QImage image = Canvas(size, size);
  TGlyphPainter p(image, size);
  Disc(p, Mid);
  const qreal tip = 50 + direction * 30, base = 50 - direction * 2;
  Triangle(p, QPointF(50, tip), QPointF(24, base), QPointF(76, base));
  p.drawRect(QRectF(41, direction < 0 ? 48 : 22, 18, 30));
  return image;
}

} // namespace

QImage AddFile(int size) {
  QImage image = Canvas(size, size);
  TGlyphPainter p(image, size);
  Document(p, QRectF(14, 6, 60, 82));
  p.setPen(QPen(Mid, 4, Qt::SolidLine, Qt::RoundCap));
  for (int y = 34; y <= 58; y += 12)
    p.drawLine(QPointF(24, y), QPointF(52, y));
  Badge(p, TBadge::Plus, Green);
  return image;
}

QImage AddFolder(int size) {
  QImage image = Canvas(size, size);
  TGlyphPainter p(image, size);
  Folder(p, QRectF(6, 14, 76, 64));
  Badge(p, TBadge::Plus, Green);
  return image;
}

QImage EditFile(int size) {
  QImage image = Canvas(size, size);
  TGlyphPainter p(image, size);
  Document(p, QRectF(10, 6, 60, 82));
  p.translate(62, 56);
  p.rotate(45);
  p.setPen(QPen(QColor(0x8A, 0x5A, 0x10), 3));
  p.setBrush(Amber);
  p.drawRect(QRectF(-9, -44, 18, 62));
  p.setBrush(QColor(0xF3, 0xD9, 0xB1));
  Triangle(p, QPointF(-9, 18), QPointF(9, 18), QPointF(0, 34));
  p.setBrush(Red);
  p.drawRect(QRectF(-9, -52, 18, 10));
  return image;
}

QImage About(int size) {
  QImage image = Canvas(size, size);
  TGlyphPainter p(image, size);
  Disc(p, Mid);
  p.drawEllipse(QPointF(50, 27), 8, 8);
  p.drawRoundedRect(QRectF(42, 42, 16, 40), 5, 5);
  return image;
}

QImage Convert(int size) {
  QImage image = Canvas(size, size);
  TGlyphPainter p(image, size);
  Disc(p, Green);
  // Two arcs chasing each other: one file becomes another.
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(Qt::white, 9, Qt::SolidLine, Qt::FlatCap));
  const QRectF ring(24, 24, 52, 52);
  p.drawArc(ring, 30 * 16, 140 * 16);
  p.drawArc(ring, 210 * 16, 140 * 16);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  Triangle(p, QPointF(13, 44), QPointF(35, 44), QPointF(24, 60));
  Triangle(p, QPointF(65, 56), QPointF(87, 56), QPointF(76, 40));
  return image;
}

QImage Remove(int size) {
  QImage image = Canvas(size, size);
  TGlyphPainter p(image, size);
  Document(p, QRectF(10, 6, 58, 80));
  Badge(p, TBadge::Minus, Red);
  return image;
}

QImage Clear(int size) {
  QImage image = Canvas(size, size);
  TGlyphPainter p(image, size);
  Disc(p, Red);
  p.setPen(QPen(Qt::white, 12, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(32, 32), QPointF(68, 68));
  p.drawLine(QPointF(68, 32), QPointF(32, 68));
  return image;
}

QImage MoveUp(int size) {
  return VerticalArrow(size, -1);
}
QImage MoveDown(int size) {
  return VerticalArrow(size, 1);
}

QImage DropDown(int size, bool enabled) {
  QImage image = Canvas(size, size);
  TGlyphPainter p(image, size);
  p.setPen(Qt::NoPen);
  p.setBrush(enabled ? Deep : QColor(0x9A, 0xA8, 0xBB));
  Triangle(p, QPointF(14, 32), QPointF(86, 32), QPointF(50, 74));
  return image;
}

QImage Play(int size) {
  QImage image = Canvas(size, size);
  TGlyphPainter p(image, size);
  Disc(p, Mid);
  Triangle(p, QPointF(38, 26), QPointF(38, 74), QPointF(76, 50));
  return image;
}

QImage Stop(int size) {
  QImage image = Canvas(size, size);
  TGlyphPainter p(image, size);
  Disc(p, Mid);
  p.drawRoundedRect(QRectF(31, 31, 38, 38), 4, 4);
  return image;
}

QImage Previous(int size) {
  QImage image = Canvas(size, size);
  TGlyphPainter p(image, size);
  Disc(p, Mid);
  p.drawRect(QRectF(26, 30, 9, 40));
  Triangle(p, QPointF(72, 30), QPointF(72, 70), QPointF(37, 50));
  return image;
}

QImage Next(int size) {
  QImage image = Canvas(size, size);
  TGlyphPainter p(image, size);
  Disc(p, Mid);
  p.drawRect(QRectF(65, 30, 9, 40));
  Triangle(p, QPointF(28, 30), QPointF(28, 70), QPointF(63, 50));
  return image;
}

QImage Snapshot(int size) {
  QImage image = Canvas(size, size);
  TGlyphPainter p(image, size);
  p.setPen(QPen(QColor(0x1F, 0x24, 0x2B), 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Vertical(QColor(0x6B, 0x76, 0x85), QColor(0x34, 0x3B, 0x45)));
  p.drawRoundedRect(QRectF(6, 26, 88, 62), 10, 10);
  p.drawRect(QRectF(34, 14, 32, 14));
  p.setBrush(Vertical(Light, Deep, 34, 82));
  p.setPen(QPen(Qt::white, 5));
  p.drawEllipse(QPointF(50, 57), 22, 22);
  p.setPen(Qt::NoPen);
  p.setBrush(Amber);
  p.drawEllipse(QPointF(81, 37), 5, 5);
  return image;
}

QImage Open(int size) {
  QImage image = Canvas(size, size);
  TGlyphPainter p(image, size);
  Folder(p, QRectF(6, 16, 88, 70));
  return image;
}

QImage SnapOption(int size) {
  QImage image = Canvas(size, size);
  TGlyphPainter p(image, size);
  QPainterPath gear;
  const int teeth = 8;
  for (int i = 0; i < teeth * 2; ++i) {
    const double angle = i * std::numbers::pi / teeth;
    const double r = i % 2 ? 36 : 46;
    const QPointF a(50 + r * std::cos(angle - 0.2), 50 + r * std::sin(angle - 0.2));
    const QPointF b(50 + r * std::cos(angle + 0.2), 50 + r * std::sin(angle + 0.2));
    if (i == 0)
      gear.moveTo(a);
    else
      gear.lineTo(a);
    gear.lineTo(b);
  }
  gear.closeSubpath();
  gear.addEllipse(QPointF(50, 50), 15, 15);
  p.setPen(QPen(Deep, 3));
  p.setBrush(Vertical(Light, Mid));
  p.drawPath(gear);
  return image;
}

QImage Audio(int size) {
  QImage image = Canvas(size, size);
  TGlyphPainter p(image, size);
  p.setPen(Qt::NoPen);
  p.setBrush(Mid);
  p.drawEllipse(QPointF(28, 78), 17, 13);
  p.drawEllipse(QPointF(74, 68), 17, 13);
  p.drawRect(QRectF(34, 14, 10, 64));
  p.drawRect(QRectF(80, 6, 10, 62));
  const QPointF beam[] = {{34, 14}, {90, 4}, {90, 22}, {34, 32}};
  p.drawPolygon(beam, 4);
  return image;
}

QImage Video(int size) {
  QImage image = Canvas(size, size);
  TGlyphPainter p(image, size);
  FilmStrip(p, QRectF(14, 4, 72, 92));
  return image;
}

QImage AppIcon(int size) {
  QImage image = Canvas(size, size);
  TGlyphPainter p(image, size);
  FilmStrip(p, QRectF(6, 4, 62, 88));
  p.resetTransform();
  const int badge = size * 56 / 100;
  p.drawImage(size - badge, size - badge, Convert(badge));
  return image;
}

QImage PlaySection(int size) {
  QImage image = Canvas(size, size);
  TGlyphPainter p(image, size);
  Disc(p, Mid);
  p.drawRect(QRectF(20, 28, 6, 44));
  p.drawRect(QRectF(74, 28, 6, 44));
  Triangle(p, QPointF(38, 32), QPointF(38, 68), QPointF(66, 50));
  return image;
}

QImage MarkIn(int size) {
  QImage image = Canvas(size, size);
  TGlyphPainter p(image, size);
  Disc(p, Green);
  p.drawRect(QRectF(28, 24, 10, 52));
  p.drawRect(QRectF(28, 24, 24, 9));
  p.drawRect(QRectF(28, 67, 24, 9));
  Triangle(p, QPointF(76, 36), QPointF(76, 64), QPointF(54, 50));
  return image;
}

QImage MarkOut(int size) {
  QImage image = Canvas(size, size);
  TGlyphPainter p(image, size);
  Disc(p, Red);
  p.drawRect(QRectF(62, 24, 10, 52));
  p.drawRect(QRectF(48, 24, 24, 9));
  p.drawRect(QRectF(48, 67, 24, 9));
  Triangle(p, QPointF(24, 36), QPointF(24, 64), QPointF(46, 50));
  return image;
}

// The font made smaller until the text fits the room: a narrow banner shows its texts whole.
void FitText(QPainter &p, QFont font, const QString &text, int room) {
  while (font.pixelSize() > 6 && QFontMetrics(font).horizontalAdvance(text) > room)
    font.setPixelSize(font.pixelSize() - 1);
  p.setFont(font);
}

QImage Banner(int width, int height, int rightRoom) {
  QImage image = Canvas(width, height);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, width, 0);
  sky.setColorAt(0, Deep);
  sky.setColorAt(0.6, Mid);
  sky.setColorAt(1, QColor(0x5E, 0x97, 0xDF));
  p.fillRect(image.rect(), sky);
  // Soft light waves across the banner.
  p.setPen(Qt::NoPen);
  for (int i = 0; i < 3; ++i) {
    QPainterPath wave;
    wave.moveTo(0, height * (0.7 + 0.1 * i));
    wave.cubicTo(width * 0.3, height * (0.2 + 0.2 * i), width * 0.6, height * (1.2 - 0.1 * i), width,
                 height * (0.4 + 0.15 * i));
    wave.lineTo(width, height);
    wave.lineTo(0, height);
    p.setBrush(QColor(255, 255, 255, 18 + 8 * i));
    p.drawPath(wave);
  }
  const int logo = height - 16;
  p.drawImage(QRect(14, 8, logo, logo), Video(logo));
  QFont title("DejaVu Sans", 1);
  title.setPixelSize(height * 2 / 5);
  title.setBold(true);
  const int room = width - 26 - logo - rightRoom;
  FitText(p, title, "Tavrelle Video Converter", room);
  p.setPen(Qt::white);
  p.drawText(QRect(24 + logo, 4, width, height * 3 / 5), Qt::AlignLeft | Qt::AlignBottom,
             "Tavrelle Video Converter");
  QFont subtitle = title;
  subtitle.setBold(false);
  subtitle.setPixelSize(height / 5);
  FitText(p, subtitle, "Video and audio for every player and phone", room);
  p.setPen(QColor(0xDC, 0xEA, 0xFB));
  p.drawText(QRect(26 + logo, height * 3 / 5 + 2, width, height * 2 / 5), Qt::AlignLeft | Qt::AlignTop,
             "Video and audio for every player and phone");
  return image;
}

QImage PreviewIdle(int width, int height) {
  QImage image = Canvas(width, height);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QRadialGradient glow(width / 2.0, height / 2.0, width * 0.7);
  glow.setColorAt(0, QColor(0x24, 0x3B, 0x5E));
  glow.setColorAt(1, QColor(0x0C, 0x12, 0x1C));
  p.fillRect(image.rect(), glow);
  const int disc = std::min(width, height) / 3;
  p.setOpacity(0.85);
  p.drawImage(QRect((width - disc) / 2, (height - disc) / 2 - 12, disc, disc), Play(disc));
  p.setOpacity(1);
  QFont font("DejaVu Sans", 1);
  font.setPixelSize(13);
  p.setFont(font);
  p.setPen(QColor(0xA9, 0xC3, 0xE6));
  p.drawText(QRect(0, (height + disc) / 2, width, 30), Qt::AlignCenter, "Select a file and press Play");
  return image;
}

QImage AboutPicture(int width, int height) {
  const int size = height / 3;
  QImage image = Banner(width, height, size + 20);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.drawImage(QRect(width - size - 16, height - size - 12, size, size), Convert(size));
  return image;
}

QList<QImage> ConvertingFrames(int size, int count) {
  QList<QImage> frames;
  const int dots = 8;
  for (int f = 0; f < count; ++f) {
    QImage image = Canvas(size, size);
    TGlyphPainter p(image, size);
    p.setPen(Qt::NoPen);
    for (int d = 0; d < dots; ++d) {
      const double angle = 2 * std::numbers::pi * d / dots - std::numbers::pi / 2;
      // The head dot moves one place per frame; the tail fades behind it.
      const int age = ((f * dots / count) - d + dots) % dots;
      // Colours of the GIF palette, so the animation keeps them exactly.
      const QColor colour = age == 0 ? QColor(0x00, 0x33, 0x99)
                                     : (age < 3 ? QColor(0x33, 0x66, 0xCC) : QColor(0x99, 0xCC, 0xFF));
      p.setBrush(colour);
      const double r = age == 0 ? 11 : 9 - age * 0.6;
      p.drawEllipse(QPointF(50 + 34 * std::cos(angle), 50 + 34 * std::sin(angle)), r, r);
    }
    frames << image;
  }
  return frames;
}

} // namespace glyphs
