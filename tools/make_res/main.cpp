// make_res FOLDER [ICON_FOLDER ICON_NAME]: draws every picture the program
// reads from res/ into FOLDER and, given ICON_FOLDER, the program's icon as
// a hicolor theme tree: ICON_FOLDER/<N>x<N>/apps/ICON_NAME.png. The same
// build always writes the same bytes.

#include <QImage>
#include <QPainter>
#include <QString>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <string>
#include <system_error>

#include "picture_painters.h"
#include "ui/geometry/pictures.h"

namespace {

// The sizes desktops look for in the hicolor theme.
constexpr int kIconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

QImage Draw(const lumivex::res::PicturePainter& paint, int width, int height) {
  QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  paint(painter, width, height);
  return image;
}

bool Save(const QImage& image, const std::filesystem::path& path, const char* format) {
  if (image.save(QString::fromStdString(path.string()), format)) return true;
  std::fprintf(stderr, "make_res: cannot write %s\n", path.c_str());
  return false;
}

bool MakeFolder(const std::filesystem::path& folder) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (!error) return true;
  std::fprintf(stderr, "make_res: cannot make %s: %s\n", folder.c_str(), error.message().c_str());
  return false;
}

bool Write(const lumivex::ui::pictures::PictureFile& file, const std::filesystem::path& folder) {
  auto paint = lumivex::res::PainterFor(file.name);
  if (!paint) {
    std::fprintf(stderr, "make_res: nothing draws %s\n", file.name.c_str());
    return false;
  }
  QImage image = Draw(paint, file.width, file.height);
  // BMP holds no alpha: Qt writes an opaque image as 24 bits a pixel.
  bool bmp = file.name.ends_with(".bmp");
  if (bmp) image = image.convertToFormat(QImage::Format_RGB32);
  return Save(image, folder / file.name, bmp ? "BMP" : "PNG");
}

bool WriteIcons(const std::filesystem::path& folder, const std::string& name) {
  for (int size : kIconSizes) {
    auto apps = folder / (std::to_string(size) + "x" + std::to_string(size)) / "apps";
    if (!MakeFolder(apps)) return false;
    if (!Save(Draw(lumivex::res::AppIconPainter(), size, size), apps / (name + ".png"), "PNG")) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 4) {
    std::fprintf(stderr, "usage: make_res FOLDER [ICON_FOLDER ICON_NAME]\n");
    return 2;
  }
  std::filesystem::path folder(argv[1]);
  if (!MakeFolder(folder)) return 1;
  int written = 0;
  for (const auto& file : lumivex::ui::pictures::AllPictures()) {
    if (!Write(file, folder)) return 1;
    ++written;
  }
  std::printf("make_res: %d pictures in %s\n", written, argv[1]);
  if (argc == 4) {
    if (!WriteIcons(argv[2], argv[3])) return 1;
    std::printf("make_res: %zu icons in %s\n", std::size(kIconSizes), argv[2]);
  }
  return 0;
}
