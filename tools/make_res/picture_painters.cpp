#include "picture_painters.h"

#include <QPainterPath>
#include <QRadialGradient>
#include <algorithm>
#include <map>

#include "glyphs.h"
#include "palette.h"
#include "ui/geometry/pictures.h"

namespace lumivex::res {

namespace pics = lumivex::ui::pictures;
using pics::ButtonState;

namespace {

void RoundedFill(QPainter& p, const QRectF& r, qreal radius, const QColor& color) {
  QPainterPath path;
  path.addRoundedRect(r, radius, radius);
  p.fillPath(path, color);
}

QRectF Centered(int width, int height, qreal size, qreal dy = 0) {
  return {(width - size) / 2, (height - size) / 2 + dy, size, size};
}

// A toolbar button: a rounded tile with the glyph in its middle; pressed
// sinks the glyph by a pixel, focused rings the tile in the accent.
PicturePainter ToolbarButton(Glyph glyph, ButtonState state, QColor ink = kGlyph,
                             QColor second = kGlyphMuted) {
  return [=](QPainter& p, int w, int h) {
    QRectF tile(1, 1, w - 2, h - 2);
    bool pressed = state == ButtonState::kPressed;
    RoundedFill(p, tile, 6,
                pressed                          ? kTilePressed
                : state == ButtonState::kFocused ? kTileFocused
                                                 : kTile);
    if (state == ButtonState::kFocused) {
      p.setPen(QPen(kAccent, 2));
      p.setBrush(Qt::NoBrush);
      p.drawRoundedRect(tile.adjusted(1, 1, -1, -1), 5, 5);
    }
    DrawGlyph(p, glyph, Centered(w, h, 24, pressed ? 1 : 0), ink, second);
  };
}

PicturePainter DimmedToolbarButton(Glyph glyph) {
  return [=](QPainter& p, int w, int h) {
    RoundedFill(p, QRectF(1, 1, w - 2, h - 2), 6, kTileDimmed);
    DrawGlyph(p, glyph, Centered(w, h, 24), kGlyphDimmed);
  };
}

// Caption buttons sit on the blue header band: no tile of their own, only a
// shade while pressed (red for close) or a shine while focused.
PicturePainter CaptionButton(Glyph glyph, ButtonState state) {
  return [=](QPainter& p, int w, int h) {
    QRectF r(0, 0, w, h);
    if (state == ButtonState::kPressed) {
      RoundedFill(p, r, 3, glyph == Glyph::kClose ? kAlert : kPressShade);
    } else if (state == ButtonState::kFocused) {
      RoundedFill(p, r, 3, kFocusShine);
    }
    DrawGlyph(p, glyph, Centered(w, h, 16), Qt::white);
  };
}

// Over live video: a translucent disc keeps the arrow visible on any picture.
PicturePainter PtzButton(Glyph arrow, ButtonState state) {
  return [=](QPainter& p, int w, int h) {
    QRectF disc(2, 2, w - 4, h - 4);
    p.setPen(Qt::NoPen);
    p.setBrush(state == ButtonState::kPressed ? kAccent : kShade);
    p.drawEllipse(disc);
    if (state == ButtonState::kFocused) {
      p.setPen(QPen(kAccentLight, 2));
      p.setBrush(Qt::NoBrush);
      p.drawEllipse(disc.adjusted(1, 1, -1, -1));
    }
    DrawGlyph(p, arrow, Centered(w, h, 24), kGlyph);
  };
}

// A tab with rounded upper corners standing on the band's lower edge: the
// shown page's tab is the white of the body below it, the other a light
// veil over the blue.
PicturePainter Tab(bool selected, ButtonState state) {
  return [=](QPainter& p, int w, int h) {
    QPainterPath path;
    path.addRoundedRect(QRectF(0, 0, w, h + 6), 5, 5);
    QPainterPath band;
    band.addRect(QRectF(0, 0, w, h));
    QColor face = selected ? QColor(Qt::white) : QColor(255, 255, 255, 40);
    if (!selected && state == ButtonState::kPressed) face.setAlpha(80);
    if (!selected && state == ButtonState::kFocused) face.setAlpha(60);
    p.fillPath(path.intersected(band), face);
  };
}

// The playback window's controls stand on its white body: a tile of the
// band's blue with a white glyph (or, for "开始播放", a small play mark left
// of the caption the button writes); pressed darkens it and sinks the glyph.
PicturePainter PlaybackButton(Glyph glyph, ButtonState state, bool captioned) {
  return [=](QPainter& p, int w, int h) {
    QRectF tile(0.5, 0.5, w - 1, h - 1);
    bool pressed = state == ButtonState::kPressed;
    RoundedFill(p, tile, 4, pressed ? kAccent.darker(125) : kAccent);
    if (state == ButtonState::kFocused) {
      p.setPen(QPen(kAccentLight, 1.5));
      p.setBrush(Qt::NoBrush);
      p.drawRoundedRect(tile.adjusted(1, 1, -1, -1), 3, 3);
    }
    qreal size = h * 0.6;
    qreal dy = pressed ? 1 : 0;
    QRectF box = captioned ? QRectF(h * 0.3, (h - size) / 2 + dy, size, size) : Centered(w, h, size, dy);
    DrawGlyph(p, glyph, box, Qt::white);
  };
}

PicturePainter OverlayIcon(Glyph glyph, QColor second = QColor()) {
  return [=](QPainter& p, int w, int h) {
    p.setPen(Qt::NoPen);
    p.setBrush(kShade);
    p.drawEllipse(QRectF(0.5, 0.5, w - 1, h - 1));
    DrawGlyph(p, glyph, Centered(w, h, 17), kGlyph, second);
  };
}

// Status pictures keep their glyph in the upper part: the progress blocks
// run at four fifths of the height.
PicturePainter StatusPicture(Glyph glyph, bool failed) {
  return [=](QPainter& p, int w, int h) {
    p.fillRect(QRect(0, 0, w, h), kBase);
    qreal size = h / 3.0;
    QRectF box((w - size) / 2, h * 0.42 - size / 2, size, size);
    DrawGlyph(p, glyph, box, failed ? kGlyphDimmed : kGlyphMuted);
    if (failed) {
      qreal badge = size * 0.4;
      DrawGlyph(p, Glyph::kFailureBadge,
                QRectF(box.right() - badge * 0.8, box.center().y(), badge, badge), kAlert, kGlyph);
    }
  };
}

PicturePainter Thumbnail(bool locked) {
  return [=](QPainter& p, int w, int h) {
    p.fillRect(QRect(0, 0, w, h), kTile);
    DrawGlyph(p, Glyph::kVideoCamera, Centered(w, h, h * 0.66),
              locked ? kGlyphDimmed : kGlyphMuted);
    if (locked) {
      QRectF lock(w - 34, h - 34, 28, 28);
      p.setPen(Qt::NoPen);
      p.setBrush(kBase);
      p.drawEllipse(lock);
      DrawGlyph(p, Glyph::kPadlock, lock.adjusted(4, 3, -4, -5), kAccentLight);
    }
  };
}

// The tree's group header draws these on its near-white rows.
PicturePainter GroupIcon(bool expanded) {
  return [=](QPainter& p, int w, int h) {
    p.fillRect(QRect(0, 0, w, h), kPaper);
    QPolygonF triangle = expanded ? QPolygonF({{6, 8.5}, {16, 8.5}, {11, 14.5}})
                                  : QPolygonF({{8.5, 6}, {14.5, 11}, {8.5, 16}});
    QPainterPath path;
    path.addPolygon(triangle);
    path.closeSubpath();
    p.fillPath(path, kAccent);
  };
}

// The program's icon, in the window and on the desktop (16 to 256 px): a
// camera lens on the accent tile. Proportions only, so every size matches
// the scalable SVG of packaging/.
void AppIcon(QPainter& p, int w, int h) {
  qreal s = std::min(w, h);
  RoundedFill(p, QRectF(s * 0.03, s * 0.03, s * 0.94, s * 0.94), s * 0.22, kAccent);
  QPointF c(s / 2, s / 2);
  p.setPen(Qt::NoPen);
  p.setBrush(kBase);  // the barrel
  p.drawEllipse(c, s * 0.36, s * 0.36);
  p.setBrush(kTileFocused);  // the inner ring
  p.drawEllipse(c, s * 0.27, s * 0.27);
  QRadialGradient glass(c, s * 0.21);
  glass.setColorAt(0, kAccentLight);
  glass.setColorAt(1, kBase);
  p.setBrush(glass);
  p.drawEllipse(c, s * 0.21, s * 0.21);
  p.setBrush(QColor(255, 255, 255, 170));  // a reflection, upper left
  p.drawEllipse(QPointF(s * 0.43, s * 0.43), s * 0.065, s * 0.065);
  p.setBrush(kAlert);  // the recording light
  p.drawEllipse(QPointF(s * 0.80, s * 0.20), s * 0.07, s * 0.07);
}

using Table = std::map<std::string, PicturePainter>;

void AddButton(Table& table, const char* base, Glyph glyph, QColor ink = kGlyph,
               QColor second = kGlyphMuted) {
  for (ButtonState state : pics::kButtonStates) {
    table[pics::ButtonPicture(base, state)] = ToolbarButton(glyph, state, ink, second);
  }
}

void AddToolbar(Table& t) {
  AddButton(t, pics::kSplit, Glyph::kSplit);
  AddButton(t, pics::kCloseDevice, Glyph::kCloseDevice);
  AddButton(t, pics::kQualityLow, Glyph::kQuality1, kAccentLight);
  AddButton(t, pics::kQualitySd, Glyph::kQuality2, kAccentLight);
  AddButton(t, pics::kQualityHd, Glyph::kQuality3, kAccentLight);
  AddButton(t, pics::kAlarm, Glyph::kBell);
  AddButton(t, pics::kPreviousPage, Glyph::kChevronLeft);
  AddButton(t, pics::kNextPage, Glyph::kChevronRight);
  AddButton(t, pics::kRotate, Glyph::kRotate);
  AddButton(t, pics::kSnapshot, Glyph::kPhotoCamera);
  // A "start" button shows the function off; its "stop" partner shows it
  // running, in the accent.
  AddButton(t, pics::kDeviceAudioStart, Glyph::kSpeakerMuted);
  AddButton(t, pics::kDeviceAudioStop, Glyph::kSpeakerOn, kAccentLight);
  AddButton(t, pics::kTalkStart, Glyph::kMicMuted);
  AddButton(t, pics::kTalkStop, Glyph::kMicOn, kAccentLight);
  AddButton(t, pics::kRecordStart, Glyph::kRecordDot, kGlyph, kAlert);
  AddButton(t, pics::kRecordStop, Glyph::kRecordStop, kAlert, kAlert);
  t[pics::kDeviceAudioStopDimmed] = DimmedToolbarButton(Glyph::kSpeakerOn);
  t[pics::kTalkStopDimmed] = DimmedToolbarButton(Glyph::kMicOn);
}

void AddCaptionAndPtz(Table& t) {
  const std::pair<const char*, Glyph> caption[] = {{pics::kMinimize, Glyph::kMinimize},
                                                   {pics::kMaximize, Glyph::kMaximize},
                                                   {pics::kRestore, Glyph::kRestore},
                                                   {pics::kClose, Glyph::kClose},
                                                   {pics::kMenu, Glyph::kMenu}};
  const std::pair<const char*, Glyph> ptz[] = {{pics::kPtzUp, Glyph::kArrowUp},
                                               {pics::kPtzDown, Glyph::kArrowDown},
                                               {pics::kPtzLeft, Glyph::kArrowLeft},
                                               {pics::kPtzRight, Glyph::kArrowRight}};
  for (ButtonState state : pics::kButtonStates) {
    for (auto [base, glyph] : caption) {
      t[pics::ButtonPicture(base, state)] = CaptionButton(glyph, state);
    }
    for (auto [base, glyph] : ptz) t[pics::ButtonPicture(base, state)] = PtzButton(glyph, state);
    t[pics::ButtonPicture(pics::kTabSelected, state)] = Tab(true, state);
    t[pics::ButtonPicture(pics::kTabClickable, state)] = Tab(false, state);
  }
}

void AddPlayback(Table& t) {
  const std::pair<const char*, Glyph> controls[] = {{pics::kPlaybackBack, Glyph::kRewind},
                                                    {pics::kPlaybackPause, Glyph::kPause},
                                                    {pics::kPlaybackResume, Glyph::kPlay},
                                                    {pics::kPlaybackForward, Glyph::kFastForward}};
  for (ButtonState state : pics::kButtonStates) {
    for (auto [base, glyph] : controls) t[pics::ButtonPicture(base, state)] = PlaybackButton(glyph, state, false);
    t[pics::ButtonPicture(pics::kPlaybackStart, state)] = PlaybackButton(Glyph::kPlay, state, true);
  }
}

Table BuildTable() {
  Table t;
  t[pics::kCameraRect] = StatusPicture(Glyph::kVideoCamera, false);
  t[pics::kCameraRectFailed] = StatusPicture(Glyph::kVideoCamera, true);
  t[pics::kPlayback] = StatusPicture(Glyph::kScreenPlay, false);
  t[pics::kPlaybackFailed] = StatusPicture(Glyph::kScreenPlay, true);
  t[pics::kVideoRecord] = OverlayIcon(Glyph::kRecordDot, kAlert);
  t[pics::kDevAudio] = OverlayIcon(Glyph::kSpeakerOn);
  t[pics::kLocalAudio] = OverlayIcon(Glyph::kMicOn);
  t[pics::kExpand] = GroupIcon(true);
  t[pics::kCollapse] = GroupIcon(false);
  t[pics::kThumbnail] = Thumbnail(false);
  t[pics::kThumbnailLocked] = Thumbnail(true);
  t[pics::kAppIcon] = AppIcon;
  AddToolbar(t);
  AddCaptionAndPtz(t);
  AddPlayback(t);
  return t;
}

}  // namespace

PicturePainter AppIconPainter() { return AppIcon; }

PicturePainter PainterFor(const std::string& fileName) {
  static const Table table = BuildTable();
  auto it = table.find(fileName);
  return it == table.end() ? PicturePainter() : it->second;
}

}  // namespace lumivex::res
