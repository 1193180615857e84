#pragma once
// What each file of res/ shows: one painter per file name.

#include <QPainter>
#include <functional>
#include <string>

namespace lumivex::res {

// Paints a picture of width x height onto a transparent image.
using PicturePainter = std::function<void(QPainter&, int width, int height)>;

// The painter of a file name, empty when the name is not one of ours.
PicturePainter PainterFor(const std::string& fileName);

// The program's icon at any square size (the desktop's hicolor icons).
PicturePainter AppIconPainter();

}  // namespace lumivex::res
