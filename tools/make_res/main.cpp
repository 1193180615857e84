// make_res FOLDER: draws every picture the program reads from res/ into
// FOLDER. The same build always writes the same bytes.

#include <QImage>
#include <QPainter>
#include <QString>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "picture_painters.h"
#include "ui/geometry/pictures.h"

namespace {

bool Write(const lumivex::ui::pictures::PictureFile& file, const std::filesystem::path& folder) {
  auto paint = lumivex::res::PainterFor(file.name);
  if (!paint) {
    std::fprintf(stderr, "make_res: nothing draws %s\n", file.name.c_str());
    return false;
  }
  QImage image(file.width, file.height, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    paint(painter, file.width, file.height);
  }
  // BMP holds no alpha: Qt writes an opaque image as 24 bits a pixel.
  bool bmp = file.name.ends_with(".bmp");
  if (bmp) image = image.convertToFormat(QImage::Format_RGB32);
  QString path = QString::fromStdString((folder / file.name).string());
  if (!image.save(path, bmp ? "BMP" : "PNG")) {
    std::fprintf(stderr, "make_res: cannot write %s\n", path.toLocal8Bit().constData());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_res FOLDER\n");
    return 2;
  }
  std::filesystem::path folder(argv[1]);
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) {
    std::fprintf(stderr, "make_res: cannot make %s: %s\n", argv[1], error.message().c_str());
    return 1;
  }
  int written = 0;
  for (const auto& file : lumivex::ui::pictures::AllPictures()) {
    if (!Write(file, folder)) return 1;
    ++written;
  }
  std::printf("make_res: %d pictures in %s\n", written, argv[1]);
  return 0;
}
