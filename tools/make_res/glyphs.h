#pragma once
// Pictograms drawn on a 24 x 24 grid and scaled into any square box, so a
// glyph looks the same on a button, an overlay icon or a status picture.

#include <QColor>
#include <QPainter>
#include <QRectF>

namespace lumivex::res {

enum class Glyph {
  kVideoCamera,
  kSplit,
  kCloseDevice,
  kQuality1,  // one, two or three of three bars lit
  kQuality2,
  kQuality3,
  kBell,
  kChevronLeft,
  kChevronRight,
  kRotate,
  kPhotoCamera,
  kSpeakerMuted,
  kSpeakerOn,
  kMicMuted,
  kMicOn,
  kRecordDot,   // second colour: the dot
  kRecordStop,  // second colour: the square
  kArrowUp,
  kArrowDown,
  kArrowLeft,
  kArrowRight,
  kPadlock,
  kScreenPlay,
  kFailureBadge,  // ink: the disc, second colour: the cross
  kRewind,
  kFastForward,
  kPause,
  kPlay,
  kMinimize,
  kMaximize,
  kRestore,
  kClose,
  kMenu,
};

// Draws glyph into box (a square) with ink; second is the other colour of
// the glyphs that have two (unlit bars, record dot and square, badge cross).
void DrawGlyph(QPainter& painter, Glyph glyph, const QRectF& box, const QColor& ink,
               const QColor& second = QColor());

}  // namespace lumivex::res
