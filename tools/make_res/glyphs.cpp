#include "glyphs.h"

#include <QPainterPath>
#include <QPen>
#include <QPolygonF>

namespace lumivex::res {

namespace {

QPen Stroke(const QColor& color, qreal width) {
  return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void Fill(QPainter& p, const QPainterPath& path, const QColor& color) { p.fillPath(path, color); }

void FillPolygon(QPainter& p, const QPolygonF& polygon, const QColor& color) {
  QPainterPath path;
  path.addPolygon(polygon);
  path.closeSubpath();
  Fill(p, path, color);
}

void Line(QPainter& p, const QColor& c, qreal w, QPointF a, QPointF b) {
  p.setPen(Stroke(c, w));
  p.drawLine(a, b);
}

void Cross(QPainter& p, const QColor& c, qreal w, QRectF r) {
  Line(p, c, w, r.topLeft(), r.bottomRight());
  Line(p, c, w, r.topRight(), r.bottomLeft());
}

void VideoCamera(QPainter& p, const QColor& ink) {
  QPainterPath body;
  body.addRoundedRect(QRectF(2, 7, 14, 10), 2, 2);
  Fill(p, body, ink);
  FillPolygon(p, {{{16.8, 10.5}, {22, 7.5}, {22, 16.5}, {16.8, 13.5}}}, ink);
}

void Split(QPainter& p, const QColor& ink) {
  QPainterPath path;
  for (qreal x : {3.0, 12.5}) {
    for (qreal y : {3.0, 12.5}) path.addRoundedRect(QRectF(x, y, 8.5, 8.5), 1.5, 1.5);
  }
  Fill(p, path, ink);
}

void CloseDevice(QPainter& p, const QColor& ink) {
  p.setPen(Stroke(ink, 2));
  p.setBrush(Qt::NoBrush);
  p.drawRoundedRect(QRectF(2.5, 3.5, 19, 13.5), 2, 2);
  Line(p, ink, 2, {8, 21}, {16, 21});
  Cross(p, ink, 2, QRectF(9, 7, 6, 6.5));
}

void Quality(QPainter& p, int lit, const QColor& ink, const QColor& unlit) {
  const qreal heights[] = {6, 11, 16};
  for (int i = 0; i < 3; ++i) {
    QPainterPath bar;
    bar.addRoundedRect(QRectF(3.5 + i * 6.5, 20 - heights[i], 4.5, heights[i]), 1, 1);
    Fill(p, bar, i < lit ? ink : unlit);
  }
}

void Bell(QPainter& p, const QColor& ink) {
  QPainterPath bell;
  bell.moveTo(4.5, 17);
  bell.lineTo(19.5, 17);
  bell.lineTo(17.5, 14.5);
  bell.lineTo(17.5, 10.5);
  bell.cubicTo(17.5, 7, 15, 4.5, 12, 4.5);
  bell.cubicTo(9, 4.5, 6.5, 7, 6.5, 10.5);
  bell.lineTo(6.5, 14.5);
  bell.closeSubpath();
  bell.addEllipse(QPointF(12, 19.5), 2.2, 2.2);
  bell.addEllipse(QPointF(12, 3.5), 1.3, 1.3);
  Fill(p, bell, ink);
}

void Chevron(QPainter& p, const QColor& ink, bool left) {
  p.setPen(Stroke(ink, 3));
  p.setBrush(Qt::NoBrush);
  qreal tip = left ? 8 : 16;
  qreal back = left ? 15.5 : 8.5;
  p.drawPolyline(QPolygonF({{back, 5}, {tip, 12}, {back, 19}}));
}

// Three quarters of a circle, clockwise, and its head pointing on.
void Rotate(QPainter& p, const QColor& ink) {
  QPainterPath arc;
  QRectF circle(5, 5, 14, 14);
  arc.arcMoveTo(circle, 120);
  arc.arcTo(circle, 120, -300);
  p.setPen(Stroke(ink, 2.4));
  p.setBrush(Qt::NoBrush);
  p.drawPath(arc);
  FillPolygon(p, {{{1.2, 13}, {8.8, 13}, {5, 7.8}}}, ink);
}

void PhotoCamera(QPainter& p, const QColor& ink) {
  QPainterPath path;
  path.setFillRule(Qt::OddEvenFill);
  path.addRoundedRect(QRectF(2.5, 7, 19, 13), 2.5, 2.5);
  path.addEllipse(QPointF(12, 13.5), 4.3, 4.3);
  path.addEllipse(QPointF(12, 13.5), 2.2, 2.2);
  Fill(p, path, ink);
  QPainterPath bump;
  bump.addRoundedRect(QRectF(8, 4.5, 8, 3.5), 1, 1);
  Fill(p, bump, ink);
}

void Speaker(QPainter& p, const QColor& ink, bool on) {
  FillPolygon(p, {{{3, 9}, {7, 9}, {12, 4.5}, {12, 19.5}, {7, 15}, {3, 15}}}, ink);
  if (!on) {
    Cross(p, ink, 2, QRectF(15.5, 9, 5.5, 6));
    return;
  }
  p.setPen(Stroke(ink, 2));
  p.setBrush(Qt::NoBrush);
  for (qreal r : {4.0, 7.5}) p.drawArc(QRectF(12 - r, 12 - r, 2 * r, 2 * r), -45 * 16, 90 * 16);
}

void Mic(QPainter& p, const QColor& ink, bool on) {
  QPainterPath capsule;
  capsule.addRoundedRect(QRectF(9, 2.5, 6, 11.5), 3, 3);
  Fill(p, capsule, ink);
  p.setPen(Stroke(ink, 2));
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(5.5, 5, 13, 12), 180 * 16, 180 * 16);
  Line(p, ink, 2, {12, 17}, {12, 21});
  Line(p, ink, 2, {8.5, 21}, {15.5, 21});
  if (!on) Line(p, ink, 2, {4, 3}, {20, 21});
}

void Record(QPainter& p, const QColor& ring, const QColor& mark, bool stop) {
  p.setPen(Stroke(ring, 1.8));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(QPointF(12, 12), 9, 9);
  QPainterPath path;
  if (stop) {
    path.addRoundedRect(QRectF(7.5, 7.5, 9, 9), 1.5, 1.5);
  } else {
    path.addEllipse(QPointF(12, 12), 5.5, 5.5);
  }
  Fill(p, path, mark);
}

// Drawn pointing up, turned by quarter turns for the other three.
void Arrow(QPainter& p, const QColor& ink, int quarterTurns) {
  p.translate(12, 12);
  p.rotate(90.0 * quarterTurns);
  p.translate(-12, -12);
  FillPolygon(p, {{{12, 6}, {19.5, 16}, {4.5, 16}}}, ink);
}

void Padlock(QPainter& p, const QColor& ink) {
  QPainterPath shackle;
  shackle.moveTo(8, 11);
  shackle.lineTo(8, 8);
  shackle.arcTo(QRectF(8, 4, 8, 8), 180, -180);
  shackle.lineTo(16, 11);
  p.setPen(Stroke(ink, 2.2));
  p.setBrush(Qt::NoBrush);
  p.drawPath(shackle);
  QPainterPath body;
  body.setFillRule(Qt::OddEvenFill);
  body.addRoundedRect(QRectF(5, 11, 14, 10), 2, 2);
  body.addEllipse(QPointF(12, 15.5), 1.6, 1.6);
  Fill(p, body, ink);
}

void ScreenPlay(QPainter& p, const QColor& ink) {
  p.setPen(Stroke(ink, 2));
  p.setBrush(Qt::NoBrush);
  p.drawRoundedRect(QRectF(2, 4, 20, 14.5), 2, 2);
  Line(p, ink, 2, {8, 21}, {16, 21});
  FillPolygon(p, {{{9.5, 7.5}, {16, 11.25}, {9.5, 15}}}, ink);
}

void FailureBadge(QPainter& p, const QColor& disc, const QColor& cross) {
  QPainterPath path;
  path.addEllipse(QPointF(12, 12), 10, 10);
  Fill(p, path, disc);
  Cross(p, cross, 2.6, QRectF(8, 8, 8, 8));
}

// Two triangles pointing the way the recording moves.
void Skip(QPainter& p, const QColor& ink, bool forward) {
  for (qreal x : {2.5, 12.0}) {
    QPolygonF triangle = forward ? QPolygonF({{x, 6}, {x + 9.5, 12}, {x, 18}})
                                 : QPolygonF({{x + 9.5, 6}, {x, 12}, {x + 9.5, 18}});
    FillPolygon(p, triangle, ink);
  }
}

void Pause(QPainter& p, const QColor& ink) {
  QPainterPath bars;
  bars.addRoundedRect(QRectF(6.5, 5, 4, 14), 1, 1);
  bars.addRoundedRect(QRectF(13.5, 5, 4, 14), 1, 1);
  Fill(p, bars, ink);
}

void Play(QPainter& p, const QColor& ink) { FillPolygon(p, {{{7.5, 5}, {19, 12}, {7.5, 19}}}, ink); }

void Caption(QPainter& p, Glyph glyph, const QColor& ink) {
  p.setPen(Stroke(ink, 2));
  p.setBrush(Qt::NoBrush);
  switch (glyph) {
    case Glyph::kMinimize:
      p.drawLine(QPointF(6, 13), QPointF(18, 13));
      break;
    case Glyph::kMaximize:
      p.drawRect(QRectF(6.5, 6.5, 11, 11));
      break;
    case Glyph::kRestore:
      p.drawRect(QRectF(5.5, 9, 9.5, 9.5));
      p.drawPolyline(QPolygonF({{9, 6}, {18.5, 6}, {18.5, 15}}));
      break;
    case Glyph::kClose:
      Cross(p, ink, 2, QRectF(6.5, 6.5, 11, 11));
      break;
    default:
      p.drawPolyline(QPolygonF({{7, 9.5}, {12, 14.5}, {17, 9.5}}));
      break;
  }
}

}  // namespace

void DrawGlyph(QPainter& p, Glyph glyph, const QRectF& box, const QColor& ink,
               const QColor& second) {
  p.save();
  p.translate(box.topLeft());
  p.scale(box.width() / 24.0, box.height() / 24.0);
  switch (glyph) {
    case Glyph::kVideoCamera:
      VideoCamera(p, ink);
      break;
    case Glyph::kSplit:
      Split(p, ink);
      break;
    case Glyph::kCloseDevice:
      CloseDevice(p, ink);
      break;
    case Glyph::kQuality1:
      Quality(p, 1, ink, second);
      break;
    case Glyph::kQuality2:
      Quality(p, 2, ink, second);
      break;
    case Glyph::kQuality3:
      Quality(p, 3, ink, second);
      break;
    case Glyph::kBell:
      Bell(p, ink);
      break;
    case Glyph::kChevronLeft:
      Chevron(p, ink, true);
      break;
    case Glyph::kChevronRight:
      Chevron(p, ink, false);
      break;
    case Glyph::kRotate:
      Rotate(p, ink);
      break;
    case Glyph::kPhotoCamera:
      PhotoCamera(p, ink);
      break;
    case Glyph::kSpeakerMuted:
      Speaker(p, ink, false);
      break;
    case Glyph::kSpeakerOn:
      Speaker(p, ink, true);
      break;
    case Glyph::kMicMuted:
      Mic(p, ink, false);
      break;
    case Glyph::kMicOn:
      Mic(p, ink, true);
      break;
    case Glyph::kRecordDot:
      Record(p, ink, second, false);
      break;
    case Glyph::kRecordStop:
      Record(p, ink, second, true);
      break;
    case Glyph::kArrowUp:
      Arrow(p, ink, 0);
      break;
    case Glyph::kArrowRight:
      Arrow(p, ink, 1);
      break;
    case Glyph::kArrowDown:
      Arrow(p, ink, 2);
      break;
    case Glyph::kArrowLeft:
      Arrow(p, ink, 3);
      break;
    case Glyph::kPadlock:
      Padlock(p, ink);
      break;
    case Glyph::kScreenPlay:
      ScreenPlay(p, ink);
      break;
    case Glyph::kFailureBadge:
      FailureBadge(p, ink, second);
      break;
    case Glyph::kRewind:
      Skip(p, ink, false);
      break;
    case Glyph::kFastForward:
      Skip(p, ink, true);
      break;
    case Glyph::kPause:
      Pause(p, ink);
      break;
    case Glyph::kPlay:
      Play(p, ink);
      break;
    case Glyph::kMinimize:
    case Glyph::kMaximize:
    case Glyph::kRestore:
    case Glyph::kClose:
    case Glyph::kMenu:
      Caption(p, glyph, ink);
      break;
  }
  p.restore();
}

}  // namespace lumivex::res
