#pragma once
// The few colours every picture is drawn with: a flat, dark blue-grey client
// with the program's blue as its accent.

#include <QColor>

namespace lumivex::res {

inline const QColor kBase{38, 48, 59};  // status pictures
inline const QColor kTile{52, 65, 79};  // toolbar button
inline const QColor kTilePressed{31, 39, 49};
inline const QColor kTileFocused{62, 77, 94};
inline const QColor kTileDimmed{44, 53, 64};
inline const QColor kAccent{64, 155, 228};  // the header band's blue
inline const QColor kAccentLight{94, 185, 255};
inline const QColor kGlyph{230, 237, 243};
inline const QColor kGlyphMuted{138, 151, 166};
inline const QColor kGlyphDimmed{90, 101, 115};
inline const QColor kAlert{229, 72, 77};       // recording, failure
inline const QColor kPaper{253, 253, 253};     // device tree background
inline const QColor kShade{20, 26, 33, 150};   // backdrop over video
inline const QColor kPressShade{0, 0, 0, 50};  // caption button pressed
inline const QColor kFocusShine{255, 255, 255, 45};

}  // namespace lumivex::res
