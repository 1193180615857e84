// The video wall on the offscreen platform: the cells of every layout, how
// cameras keep their order across layouts, paging, drag and drop with real
// mouse events, whole-wall mode, selection, what a window paints, the
// pan/tilt arrows, the layout chooser; and the Qt sound devices as far as
// they can be checked without a sound card.

// Mouse events go through the window system, which routes them to the
// window under the cursor and keeps the pressed window's grab, as a user's do.
#define QTEST_QPA_MOUSE_HANDLING

#include <QAbstractButton>
#include <QApplication>
#include <QImage>
#include <QMediaDevices>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "config/user_settings.h"
#include "core/global.h"
#include "stream/audio_memory.h"
#include "stream/camera.h"
#include "support/recording_notifier.h"
#include "support/temp_dir.h"
#include "ui/geometry/pictures.h"
#include "ui/qt_audio.h"
#include "ui/split_canvas.h"
#include "ui/video_wall_widget.h"
#include "webservice/service_context.h"

using namespace lumivex;

namespace {

constexpr WallLayout k1x1{1, 1, 0}, k2x2{2, 2, 0}, k3x3{3, 3, 0}, k4x4{4, 4, 0}, k3x3M{3, 3, 1}, k4x4M{4, 4, 1};
constexpr int kWallWidth = 1005;
constexpr int kWallHeight = 603;
const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kBorder = qRgb(64, 155, 228);
const QRgb kSelection = qRgb(64, 155, 225);

// A wall of 1005 x 603 with cameras that never stream: AssignWindow is
// all a window needs of them.
struct Rig {
  explicit Rig(WallLayout layout = k2x2) {
    wall = std::make_unique<CCanvas>(nullptr, LUMIVEX_RES_DIR, layout);
    wall->resize(kWallWidth, kWallHeight);
    wall->show();
    env = std::make_unique<StreamEnvironment>(ctx, *wall, devices);
  }
  ~Rig() {
    cameras.clear();  // before the wall, whose audio switch they leave
    env.reset();
  }

  bool Shown() { return QTest::qWaitForWindowExposed(wall.get()); }

  CCamera& Add(const std::string& name) {
    cameras.push_back(std::make_unique<CCamera>(*env, "sid" + std::to_string(cameras.size()), name));
    return *cameras.back();
  }
  // As a starting session does.
  CCamera& Start(const std::string& name) {
    CCamera& camera = Add(name);
    wall->AssignWindow(camera);
    return camera;
  }
  CSubCanvas* WindowOf(const CCamera& camera) const { return wall->window(camera.place()); }
  QPoint CentreOf(const CCamera& camera) const { return WindowOf(camera)->geometry().center(); }
  std::vector<CSubCanvas*> VisibleWindows() const {
    std::vector<CSubCanvas*> shown;
    for (CSubCanvas* w : wall->findChildren<CSubCanvas*>())
      if (w->isVisible()) shown.push_back(w);
    return shown;
  }

  test::TempDir home;
  Global g;
  UserSettings settings;
  test::RecordingNotifier notifier;
  ServiceContext ctx{g, settings, notifier, home.str()};
  MemoryDevices devices;
  std::unique_ptr<CCanvas> wall;
  std::unique_ptr<StreamEnvironment> env;
  std::vector<std::unique_ptr<CCamera>> cameras;
};

// Fills a window's back buffer at its drawing size: blue = x, green = y,
// red = x + y (each modulo 256), and presents it without caption or icons.
void PresentPattern(CSubCanvas& window, const FrameOverlay& overlay = {}) {
  const PictureSize size = window.DrawingSize();
  Picture& back = window.BackBuffer();
  back.Resize(size.width, size.height);
  for (int y = 0; y < size.height; ++y)
    for (int x = 0; x < size.width; ++x) {
      uint8_t* px = back.pixels.data() + y * back.stride + x * 4;
      px[0] = static_cast<uint8_t>(x);
      px[1] = static_cast<uint8_t>(y);
      px[2] = static_cast<uint8_t>(x + y);
      px[3] = 0xFF;
    }
  window.Present(overlay);
}

QRgb Pattern(int x, int y) { return qRgb((x + y) & 0xFF, y & 0xFF, x & 0xFF); }

void PresentSolid(CSubCanvas& window, QRgb colour, const FrameOverlay& overlay = {}) {
  const PictureSize size = window.DrawingSize();
  Picture& back = window.BackBuffer();
  back.Resize(size.width, size.height);
  for (std::size_t i = 0; i < back.pixels.size(); i += 4) {
    back.pixels[i] = static_cast<uint8_t>(qBlue(colour));
    back.pixels[i + 1] = static_cast<uint8_t>(qGreen(colour));
    back.pixels[i + 2] = static_cast<uint8_t>(qRed(colour));
    back.pixels[i + 3] = 0xFF;
  }
  window.Present(overlay);
}

QImage Grab(QWidget& w) { return w.grab().toImage().convertToFormat(QImage::Format_RGB32); }

// Press, `moves` steps of the cursor from `from` to `to`, release at `to`;
// wall coordinates, sent to the wall's window as a user's mouse would.
void DragOnWall(CCanvas& wall, QPoint from, QPoint to, int moves) {
  QTest::mousePress(&wall, Qt::LeftButton, {}, from);
  for (int i = 1; i <= moves; ++i) QTest::mouseMove(&wall, from + (to - from) * i / moves);
  QTest::mouseRelease(&wall, Qt::LeftButton, {}, to);
}

std::vector<QRect> Grid(int cols, int rows, int cw, int ch) {
  std::vector<QRect> cells;
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c) cells.emplace_back(c * cw, r * ch, cw, ch);
  return cells;
}

}  // namespace

class WallTest : public QObject {
  Q_OBJECT

 private slots:
  // Every layout's page 0 on 1005 x 603, in slot order, and nothing else shown.
  void CellsOfTheSixLayouts() {
    Rig rig;
    QVERIFY(rig.Shown());
    const std::pair<WallLayout, std::vector<QRect>> expected[] = {
        {k1x1, {{0, 0, 1005, 603}}},
        {k2x2, {{0, 0, 502, 301}, {502, 0, 502, 301}, {0, 301, 502, 301}, {502, 301, 502, 301}}},
        {k3x3, Grid(3, 3, 335, 201)},
        {k4x4, Grid(4, 4, 251, 150)},
        // The large cell, down the last column, then along the last row.
        {k3x3M, {{0, 0, 670, 402}, {670, 0, 335, 201}, {670, 201, 335, 201}, {0, 402, 335, 201},
                 {335, 402, 335, 201}, {670, 402, 335, 201}}},
        {k4x4M, {{0, 0, 753, 450}, {753, 0, 251, 150}, {753, 150, 251, 150}, {753, 300, 251, 150},
                 {0, 450, 251, 150}, {251, 450, 251, 150}, {502, 450, 251, 150}, {753, 450, 251, 150}}},
    };
    for (const auto& [layout, cells] : expected) {
      rig.wall->ApplyLayout(layout);
      QCOMPARE(rig.VisibleWindows().size(), cells.size());
      for (std::size_t s = 0; s < cells.size(); ++s) {
        CSubCanvas* w = rig.wall->window({0, static_cast<int>(s)});
        QVERIFY(w && w->isVisible());
        QCOMPARE(w->geometry(), cells[s]);
        QCOMPARE(w->order(), static_cast<int>(s));
      }
    }
    // 64 windows, six a page: ten full pages and four windows on the eleventh.
    rig.wall->ApplyLayout(k3x3M);
    QVERIFY(rig.wall->window({10, 3}));
    QVERIFY(!rig.wall->window({10, 4}));
    QVERIFY(!rig.wall->window({11, 0}));
    // 2x2: the rightmost column and the bottom row belong to no cell.
    rig.wall->ApplyLayout(k2x2);
    const QImage wall = Grab(*rig.wall);
    QCOMPARE(wall.pixel(1004, 100), kWhite);
    QCOMPARE(wall.pixel(700, 602), kWhite);
    QCOMPARE(wall.pixel(1003, 100), kBorder);  // the window's own right border
  }

  void UnofferedLayoutIsTwoByTwo() {
    Rig rig(WallLayout{5, 7, 0});
    QVERIFY(rig.wall->layout() == k2x2);
    rig.wall->ApplyLayout(WallLayout{0, 0, 1});
    QVERIFY(rig.wall->layout() == k2x2);
    QCOMPARE(rig.VisibleWindows().size(), std::size_t{4});
  }

  // K1 to K4 on page 0 and K5 on page 1 become K1 to K5 on pages 0 to 4.
  void LayoutChangeKeepsTheOrder() {
    Rig rig;
    QVERIFY(rig.Shown());
    for (int i = 1; i <= 5; ++i) rig.Start("K" + std::to_string(i));
    QCOMPARE(rig.cameras[4]->place().page, 1);
    QCOMPARE(rig.cameras[4]->place().index, 0);
    rig.wall->NextPage();
    QCOMPARE(rig.wall->currentPage(), 1);
    rig.wall->ApplyLayout(k1x1);
    QCOMPARE(rig.wall->currentPage(), 0);
    for (int i = 0; i < 5; ++i) {
      QCOMPARE(rig.cameras[i]->place().page, i);
      QCOMPARE(rig.cameras[i]->place().index, 0);
      QCOMPARE(rig.wall->window({i, 0})->camera(), rig.cameras[i].get());
    }
    QCOMPARE(rig.VisibleWindows(), std::vector<CSubCanvas*>{rig.wall->window({0, 0})});
    QCOMPARE(rig.wall->window({0, 0})->geometry(), QRect(0, 0, 1005, 603));
  }

  void PagingCountsClosedCameras() {
    Rig rig;
    QVERIFY(rig.Shown());
    rig.Start("K1");
    rig.wall->NextPage();
    QCOMPARE(rig.wall->currentPage(), 0);  // one camera: one page
    for (int i = 2; i <= 5; ++i) rig.Start("K" + std::to_string(i));
    rig.wall->NextPage();
    QCOMPARE(rig.wall->currentPage(), 1);
    QCOMPARE(rig.VisibleWindows().size(), std::size_t{4});  // K5 and three empty windows
    QVERIFY(rig.WindowOf(*rig.cameras[4])->isVisible());
    QVERIFY(!rig.WindowOf(*rig.cameras[0])->isVisible());
    rig.wall->NextPage();
    QCOMPARE(rig.wall->currentPage(), 0);  // after the last, the first
    rig.wall->PreviousPage();
    QCOMPARE(rig.wall->currentPage(), 1);  // before the first, the last
    rig.wall->PreviousPage();
    QCOMPARE(rig.wall->currentPage(), 0);
    QCOMPARE(rig.VisibleWindows().size(), std::size_t{4});

    // Four left after one close-video command: paging still counts five.
    rig.wall->ReleaseWindow(*rig.cameras[4]);
    rig.wall->NextPage();
    QCOMPARE(rig.wall->currentPage(), 0);
    rig.wall->CountClose();
    rig.wall->NextPage();
    QCOMPARE(rig.wall->currentPage(), 1);
  }

  void DragOntoAnotherWindowSwaps() {
    Rig rig;
    QVERIFY(rig.Shown());
    for (int i = 1; i <= 4; ++i) rig.Start("K" + std::to_string(i));
    CSubCanvas* k1 = rig.WindowOf(*rig.cameras[0]);
    CSubCanvas* k4 = rig.WindowOf(*rig.cameras[3]);
    QSignalSpy selection(rig.wall.get(), &CCanvas::selectionChanged);

    // Three moves are no drag.
    DragOnWall(*rig.wall, {251, 150}, {753, 451}, 3);
    QCOMPARE(k1->geometry(), QRect(0, 0, 502, 301));
    QCOMPARE(rig.wall->selectedCamera(), rig.cameras[0].get());

    DragOnWall(*rig.wall, {251, 150}, {753, 451}, 6);
    QCOMPARE(k1->geometry(), QRect(502, 301, 502, 301));
    QCOMPARE(k4->geometry(), QRect(0, 0, 502, 301));
    QCOMPARE(k1->order(), 3);
    QCOMPARE(k4->order(), 0);
    QCOMPARE(rig.wall->selectedCamera(), rig.cameras[0].get());
    QVERIFY(k1->DrawingSize() == (PictureSize{500, 299}));  // the shrink went with the selection
    QVERIFY(k4->DrawingSize() == (PictureSize{502, 301}));
    QVERIFY(selection.count() >= 1);
    QCOMPARE(selection.last().at(0).value<CCamera*>(), rig.cameras[0].get());
    // The place of a camera on the wall is its window's, as the sessions see it.
    QCOMPARE(rig.cameras[0]->place().index, 0);

    // The new order outlives a layout change: K4 is now first.
    rig.wall->ApplyLayout(k1x1);
    QCOMPARE(rig.wall->window({0, 0})->camera(), rig.cameras[3].get());
    QCOMPARE(rig.wall->window({3, 0})->camera(), rig.cameras[0].get());
  }

  void DropOverAGapLeavesTheWindowThere() {
    Rig rig;
    QVERIFY(rig.Shown());
    rig.Start("K1");
    CCamera& k2 = rig.Start("K2");
    CSubCanvas* w = rig.WindowOf(k2);
    // Grabbed in its middle and dropped on the free column at x = 1004.
    DragOnWall(*rig.wall, {753, 150}, {1004, 100}, 5);
    QCOMPARE(w->geometry(), QRect(503, 0, 502, 301));
    QCOMPARE(w->order(), 1);
    QCOMPARE(rig.wall->window({0, 0})->geometry(), QRect(0, 0, 502, 301));
  }

  void WholeWallModeAndBack() {
    Rig rig;
    QVERIFY(rig.Shown());
    for (int i = 1; i <= 5; ++i) rig.Start("K" + std::to_string(i));
    QTest::mouseDClick(rig.wall.get(), Qt::LeftButton, {}, QPoint(600, 100));
    QVERIFY(rig.wall->fullWall());  // K2's window
    rig.wall->SetFullWall(false);
    QVERIFY(!rig.wall->fullWall());
    rig.wall->SetFullWall(true);  // the selected camera's window, K2's
    QCOMPARE(rig.WindowOf(*rig.cameras[1])->geometry(), QRect(0, 0, 1005, 603));
    rig.wall->SetFullWall(false);
    QCOMPARE(rig.WindowOf(*rig.cameras[1])->geometry(), QRect(502, 0, 502, 301));

    rig.wall->NextPage();
    CSubCanvas* k5 = rig.WindowOf(*rig.cameras[4]);
    // An empty window of the page ignores it.
    QTest::mouseDClick(rig.wall.get(), Qt::LeftButton, {}, QPoint(700, 100));
    QVERIFY(!rig.wall->fullWall());
    QCOMPARE(rig.VisibleWindows().size(), std::size_t{4});

    QTest::mouseDClick(rig.wall.get(), Qt::LeftButton, {}, QPoint(100, 100));
    QVERIFY(rig.wall->fullWall());
    QCOMPARE(k5->geometry(), QRect(0, 0, 1005, 603));
    QCOMPARE(rig.VisibleWindows(), std::vector<CSubCanvas*>{k5});
    QVERIFY(k5->DrawingSize() == (PictureSize{1005, 603}));  // the whole client area

    // A resize keeps it filling the wall.
    rig.wall->resize(800, 500);
    QCOMPARE(k5->geometry(), QRect(0, 0, 800, 500));
    rig.wall->resize(kWallWidth, kWallHeight);

    QTest::mouseDClick(rig.wall.get(), Qt::LeftButton, {}, QPoint(500, 300));
    QVERIFY(!rig.wall->fullWall());
    QCOMPARE(rig.wall->currentPage(), 0);
    QCOMPARE(rig.VisibleWindows().size(), std::size_t{4});
    QCOMPARE(rig.WindowOf(*rig.cameras[4])->geometry(), QRect(0, 0, 502, 301));
    QCOMPARE(rig.wall->window({0, 0})->geometry(), QRect(0, 0, 502, 301));
  }

  void ReleasingTheWholeWallCameraBringsTheGridBack() {
    Rig rig;
    QVERIFY(rig.Shown());
    CCamera& k1 = rig.Start("K1");
    rig.Start("K2");
    QTest::mouseDClick(rig.wall.get(), Qt::LeftButton, {}, QPoint(100, 100));
    QVERIFY(rig.wall->fullWall());
    QSignalSpy selection(rig.wall.get(), &CCanvas::selectionChanged);
    CSubCanvas* w = rig.WindowOf(k1);
    rig.wall->ReleaseWindow(k1);
    QVERIFY(!rig.wall->fullWall());
    QVERIFY(!rig.wall->selectedCamera());
    QVERIFY(!w->camera());
    QVERIFY(QTest::qWaitFor([&] { return rig.VisibleWindows().size() == 4; }, 2000));
    QCOMPARE(w->geometry(), QRect(0, 0, 502, 301));
    QVERIFY(QTest::qWaitFor([&] { return selection.count() == 1; }, 2000));
    QCOMPARE(selection.at(0).at(0).value<CCamera*>(), nullptr);
  }

  void SelectionFrameFollowsTheClick() {
    Rig rig;
    QVERIFY(rig.Shown());
    CSubCanvas* w1 = rig.WindowOf(rig.Start("K1"));
    CSubCanvas* w2 = rig.WindowOf(rig.Start("K2"));
    const QRgb grey = qRgb(40, 40, 40);
    PresentSolid(*w1, grey);
    PresentSolid(*w2, grey);
    QTest::mouseClick(rig.wall.get(), Qt::LeftButton, {}, QPoint(100, 100));
    QCOMPARE(rig.wall->selectedCamera(), rig.cameras[0].get());
    QImage one = Grab(*w1), two = Grab(*w2);
    QCOMPARE(one.pixel(0, 150), kBorder);
    QCOMPARE(one.pixel(1, 150), kSelection);
    QCOMPARE(one.pixel(250, 300), kBorder);
    QCOMPARE(one.pixel(250, 299), kSelection);
    QCOMPARE(one.pixel(2, 150), grey);
    QCOMPARE(two.pixel(0, 150), kBorder);
    QCOMPARE(two.pixel(1, 150), grey);
    QVERIFY(w1->DrawingSize() == (PictureSize{500, 299}));

    QTest::mouseClick(rig.wall.get(), Qt::LeftButton, {}, QPoint(600, 100));
    QCOMPARE(rig.wall->selectedCamera(), rig.cameras[1].get());
    QVERIFY(w1->DrawingSize() == (PictureSize{502, 301}));
    PresentSolid(*w1, grey);
    one = Grab(*w1);
    two = Grab(*w2);
    QCOMPARE(one.pixel(1, 150), grey);
    QCOMPARE(two.pixel(1, 150), kSelection);

    // An empty window selects nothing.
    QTest::mouseClick(rig.wall.get(), Qt::LeftButton, {}, QPoint(100, 400));
    QCOMPARE(rig.wall->selectedCamera(), rig.cameras[1].get());
  }

  // The picture is copied pixel for pixel into the drawing rectangle.
  void PicturePaintedOneToOne() {
    Rig rig;
    QVERIFY(rig.Shown());
    CSubCanvas* w = rig.WindowOf(rig.Start("K1"));
    PresentPattern(*w);
    QImage shot = Grab(*w);
    for (int y = 1; y < 300; ++y)
      for (int x = 1; x < 501; ++x)
        if (shot.pixel(x, y) != Pattern(x, y)) QFAIL(qPrintable(QStringLiteral("pixel %1,%2").arg(x).arg(y)));

    // Selected: one pixel in, under the frame.
    QTest::mouseClick(rig.wall.get(), Qt::LeftButton, {}, QPoint(100, 100));
    QCOMPARE(w->drawingRect(), QRect(1, 1, 500, 299));
    PresentPattern(*w);
    shot = Grab(*w);
    for (int y = 2; y < 299; ++y)
      for (int x = 2; x < 500; ++x)
        if (shot.pixel(x, y) != Pattern(x - 1, y - 1)) QFAIL(qPrintable(QStringLiteral("pixel %1,%2").arg(x).arg(y)));
  }

  void CaptionAndIconsOverThePicture() {
    Rig rig;
    QVERIFY(rig.Shown());
    CSubCanvas* w = rig.WindowOf(rig.Start("K1"));
    FrameOverlay overlay;
    overlay.caption = "K1  50.00K/s";
    overlay.deviceAudio = true;
    PresentSolid(*w, qRgb(0, 0, 0), overlay);
    const QImage shot = Grab(*w);
    // The caption, in its blue, starts at (6, 12) on an upright picture.
    int captionPixels = 0, strayPixels = 0;
    for (int y = 1; y < 300; ++y)
      for (int x = 1; x < 501; ++x) {
        const QRgb p = shot.pixel(x, y);
        const bool bluish = qBlue(p) > 120 && qBlue(p) > 2 * qRed(p);
        const bool inCaption = x >= 6 && x < 160 && y >= 12 && y < 28;
        const bool inIcon = QRect(100, 273, 23, 23).contains(x, y);  // (w / 5, h - 28)
        if (bluish && inCaption) ++captionPixels;
        if (p != qRgb(0, 0, 0) && !inCaption && !inIcon) ++strayPixels;
      }
    QVERIFY2(captionPixels > 20, qPrintable(QString::number(captionPixels)));
    QCOMPARE(strayPixels, 0);
    // The device-audio icon at its own size: its opaque pixels as they are in the file.
    const QImage icon = QImage(QString(LUMIVEX_RES_DIR) + "/" + ui::pictures::kDevAudio).convertToFormat(QImage::Format_ARGB32);
    QVERIFY(!icon.isNull());
    int opaque = 0;
    for (int y = 0; y < icon.height(); ++y)
      for (int x = 0; x < icon.width(); ++x) {
        const QRgb p = icon.pixel(x, y);
        if (qAlpha(p) != 255) continue;
        ++opaque;
        QCOMPARE(shot.pixel(100 + x, 273 + y), qRgb(qRed(p), qGreen(p), qBlue(p)));
      }
    QVERIFY(opaque > 0);
  }

  void StatusPicturesAndProgressBlocks() {
    Rig rig;
    QVERIFY(rig.Shown());
    CSubCanvas* w = rig.WindowOf(rig.Start("K1"));
    const QImage idle(QString(LUMIVEX_RES_DIR) + "/" + ui::pictures::kCameraRect);
    const QImage failed(QString(LUMIVEX_RES_DIR) + "/" + ui::pictures::kCameraRectFailed);
    QVERIFY(!idle.isNull() && !failed.isNull());
    // Stretched over the drawing rectangle: 640 x 360 onto 502 x 301, the
    // picture's own middle in the window's middle.
    auto near = [](QRgb a, QRgb b) {
      return std::abs(qRed(a) - qRed(b)) < 24 && std::abs(qGreen(a) - qGreen(b)) < 24 && std::abs(qBlue(a) - qBlue(b)) < 24;
    };
    w->ShowStatus(StatusPicture::kFailed);
    QImage shot = Grab(*w);
    QVERIFY(near(shot.pixel(251, 150), failed.pixel(320, 180)));
    QVERIFY(near(shot.pixel(25, 15), failed.pixel(32, 18)));

    // Connecting on 502 x 301: blocks 30 x 14 at y 240, from x 141 every
    // 38 pixels; the first is active, then the window moves it on by itself.
    w->ShowStatus(StatusPicture::kConnecting);
    shot = Grab(*w);
    QVERIFY(near(shot.pixel(251, 60), idle.pixel(320, 72)));
    auto activeBlock = [](const QImage& image) {
      int active = -1;
      for (int k = 0; k < 6; ++k) {
        const QRgb a = image.pixel(141 + k * 38, 240), b = image.pixel(141 + k * 38 + 29, 253);
        if (a != b) return -2;
        if (a == qRgb(0x40, 0x9B, 0xE4)) active = active < 0 ? k : 99;
        else if (a != qRgb(0x5E, 0xB9, 0xFF)) return -2;
      }
      return active;
    };
    QCOMPARE(activeBlock(shot), 0);
    QVERIFY(shot.pixel(141 + 30, 245) != qRgb(0x5E, 0xB9, 0xFF));  // the gap between blocks
    QTRY_COMPARE_WITH_TIMEOUT(activeBlock(Grab(*w)), 1, 5000);
  }

  void PicturesFromAnotherThread() {
    Rig rig;
    QVERIFY(rig.Shown());
    CSubCanvas* w = rig.WindowOf(rig.Start("K1"));
    std::atomic<int> presented{0};
    std::thread session([&] {
      for (int i = 0; i < 200; ++i) {
        PresentSolid(*w, qRgb(i, 0, 0));
        ++presented;
      }
    });
    while (presented < 200) Grab(*w);  // paints race the presents
    session.join();
    QCOMPARE(Grab(*w).pixel(100, 100), qRgb(199, 0, 0));
  }

  void PanTiltButtonsOnlyForAPlayingPanTiltModel() {
    Rig rig;
    QVERIFY(rig.Shown());
    rig.wall->SetPanTiltModel([](const CCamera& c) { return c.name().rfind("y", 0) == 0; });
    CCamera& y = rig.Start("y-cam");
    CCamera& plain = rig.Start("q-cam");
    CSubCanvas* w = rig.WindowOf(y);
    auto shown = [](CSubCanvas* window) {
      for (int i = 0; i < 4; ++i)
        if (!window->ptzButton(i)->isVisible()) return false;
      return true;
    };
    y.m_VideoStatus = STATUS_VIDEO_CONNECTING;
    QTest::mouseMove(rig.wall.get(), QPoint(200, 120));
    QVERIFY(!shown(w));
    y.m_VideoStatus = STATUS_VIDEO_PLAYING;
    QTest::mouseMove(rig.wall.get(), QPoint(201, 120));
    QVERIFY(shown(w));
    QCOMPARE(w->ptzButton(0)->geometry(), QRect(502 / 2 - 10, 15, 40, 40));
    QCOMPARE(w->ptzButton(3)->geometry(), QRect(502 - 55, 301 / 2 - 10, 40, 40));
    QTest::mouseMove(rig.wall.get(), QPoint(10, 120));  // within 20 pixels of the edge
    QVERIFY(!shown(w));
    plain.m_VideoStatus = STATUS_VIDEO_PLAYING;
    QTest::mouseMove(rig.wall.get(), QPoint(700, 120));
    QVERIFY(!shown(rig.WindowOf(plain)));

    QTest::mouseMove(rig.wall.get(), QPoint(200, 120));
    QVERIFY(shown(w));
    QTest::mousePress(w->ptzButton(0), Qt::LeftButton);
    QVERIFY(y.panTiltPending(PtzDirection::kUp));
    QTest::mouseRelease(w->ptzButton(0), Qt::LeftButton);

    // The keys steer whatever the model.
    CSubCanvas* other = rig.WindowOf(plain);
    QTest::mouseClick(rig.wall.get(), Qt::LeftButton, {}, QPoint(700, 120));
    QTest::keyClick(other, Qt::Key_Left);
    QVERIFY(plain.panTiltPending(PtzDirection::kLeft));
    QVERIFY(!plain.panTiltPending(PtzDirection::kRight));

    // Released, the window drops its buttons.
    rig.wall->ReleaseWindow(y);
    QVERIFY(QTest::qWaitFor([&] { return !w->ptzButton(0)->isVisible(); }, 2000));
  }

  void LayoutChooser() {
    Rig rig(k3x3);
    QVERIFY(rig.Shown());
    QSignalSpy changed(rig.wall.get(), &CCanvas::layoutChanged);
    const QPoint corner = rig.wall->mapToGlobal(QPoint(20, 590));
    rig.wall->ShowLayoutChooser(corner);
    CSplitCanvas* chooser = rig.wall->layoutChooser();
    QVERIFY(chooser && chooser->isVisible());
    QCOMPARE(chooser->mapToGlobal(chooser->rect().bottomLeft()) + QPoint(0, 1), corner);
    QCOMPARE(chooser->currentButton(), 1018);  // the plain layout of the wall's columns
    QVERIFY(chooser->button(1018)->hasFocus());
    std::vector<QString> captions;
    for (const auto& choice : CSplitCanvas::kChoices) captions.push_back(chooser->button(choice.id)->text());
    QCOMPARE(captions, (std::vector<QString>{"h1*w1", "h2*w2", "h3*w3", "h4*h4", "h3*w3[M]", "h4*h4[M]"}));

    QTest::mouseClick(chooser->button(1022), Qt::LeftButton);
    QVERIFY(!chooser->isVisible());
    QCOMPARE(changed.count(), 1);
    QVERIFY(changed.at(0).at(0).value<WallLayout>() == k4x4M);
    QVERIFY(rig.wall->layout() == k4x4M);
    QCOMPARE(rig.VisibleWindows().size(), std::size_t{8});

    // The same button again: nothing, even in whole-wall mode.
    rig.Start("K1");
    QTest::mouseDClick(rig.wall.get(), Qt::LeftButton, {}, QPoint(100, 100));
    QVERIFY(rig.wall->fullWall());
    rig.wall->ShowLayoutChooser(corner);
    QCOMPARE(chooser->currentButton(), 1022);
    QTest::mouseClick(chooser->button(1022), Qt::LeftButton);
    QCOMPARE(changed.count(), 1);
    QVERIFY(rig.wall->fullWall());

    // Esc hides it; so does a click on a video window.
    rig.wall->ShowLayoutChooser(corner);
    QTest::keyClick(chooser->button(1022), Qt::Key_Escape);
    QVERIFY(!chooser->isVisible());
    rig.wall->ShowLayoutChooser(corner);
    QTest::mouseClick(rig.wall.get(), Qt::LeftButton, {}, QPoint(300, 300));
    QVERIFY(!rig.wall->layoutChooserVisible());
  }

  void SixtyFifthCameraGetsNoWindow() {
    Rig rig(k4x4);
    std::vector<bool> taken(64 * 16, false);
    for (int i = 0; i < 64; ++i) {
      CCamera& c = rig.Start("K" + std::to_string(i));
      const WallPlace p = c.place();
      QVERIFY(p.valid() && p.page < 4);
      QVERIFY(!taken[p.page * 16 + p.index]);
      taken[p.page * 16 + p.index] = true;
    }
    CCamera& late = rig.Start("late");
    QVERIFY(!late.place().valid());
    CCamera& third = *rig.cameras[2];
    const WallPlace freed = third.place();
    rig.wall->ReleaseWindow(third);
    const WallPlace again = rig.wall->AssignWindow(late);
    QCOMPARE(again.page, freed.page);
    QCOMPARE(again.index, freed.index);
    // A camera that has a window keeps it.
    QCOMPARE(rig.wall->AssignWindow(late).index, freed.index);
  }

  // Without a sound card nothing plays; what can be checked is the format
  // handed to Qt and the refusal without a device.
  void SoundFormats() {
    const QAudioFormat aac = ToQAudioFormat({2, 44100});
    QCOMPARE(aac.sampleRate(), 44100);
    QCOMPARE(aac.channelCount(), 2);
    QCOMPARE(aac.sampleFormat(), QAudioFormat::Int16);
    QCOMPARE(aac.bytesPerFrame(), 4);
    QCOMPARE(aac.bytesForDuration(1000000), 176400);
    const QAudioFormat speex = ToQAudioFormat({1, 8000});
    QCOMPARE(speex.bytesPerFrame(), 2);
    QCOMPARE(speex.bytesForDuration(1000000), 16000);
    QVERIFY(!ToQAudioFormat({3, 8000}).isValid());
    QVERIFY(!ToQAudioFormat({1, 0}).isValid());
    QVERIFY(!ToQAudioFormat({1, 8000, 8}).isValid());
  }

  // Buffers are played when the device has taken all their bytes and no
  // more than what came after them is still waiting in it.
  void PlayedBuffersAreCounted() {
    PlayQueue queue;
    std::vector<uint8_t> a(100, 1), b(100, 2), c(100, 3);
    queue.Push(a.data(), a.size());
    queue.Push(b.data(), b.size());
    queue.Push(c.data(), c.size());
    std::string device;
    auto take = [&device](std::size_t limit) {
      return [&device, limit](const uint8_t* data, std::size_t size) {
        const std::size_t n = std::min(size, limit);
        device.append(reinterpret_cast<const char*>(data), n);
        return static_cast<int64_t>(n);
      };
    };
    QCOMPARE(queue.Feed(150, take(1000)), std::size_t{150});
    QCOMPARE(device, std::string(100, '\1') + std::string(50, '\2'));
    QCOMPARE(queue.Played(150), 0);  // nothing played yet
    QCOMPARE(queue.Played(60), 0);   // 90 bytes played: a not done
    QCOMPARE(queue.Played(50), 1);   // 100: a done
    QCOMPARE(queue.Played(0), 0);    // b is not all in the device yet
    QCOMPARE(queue.Feed(1000, take(30)), std::size_t{30});  // the device takes what it can
    QCOMPARE(queue.Feed(1000, take(1000)), std::size_t{120});
    QCOMPARE(device.size(), std::size_t{300});
    QCOMPARE(queue.Played(100), 1);  // b
    QCOMPARE(queue.Played(0), 1);    // c
    QCOMPARE(queue.Feed(1000, take(1000)), std::size_t{0});
    queue.Push(a.data(), a.size());
    QCOMPARE(queue.Feed(1000, [](const uint8_t*, std::size_t) { return int64_t{-1}; }), std::size_t{0});
  }

  void CapturedBytesInWholeBlocks() {
    BlockCutter cutter(3200);
    std::vector<std::size_t> blocks;
    std::vector<uint8_t> firsts;
    auto block = [&](const uint8_t* data, std::size_t size) {
      blocks.push_back(size);
      firsts.push_back(data[0]);
    };
    std::vector<uint8_t> bytes(8000);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i / 3200);
    cutter.Add(bytes.data(), 1000, block);
    QVERIFY(blocks.empty());
    cutter.Add(bytes.data() + 1000, 6000, block);  // 7000: two blocks, 600 wait
    QCOMPARE(blocks, (std::vector<std::size_t>{3200, 3200}));
    QCOMPARE(firsts, (std::vector<uint8_t>{0, 1}));
    cutter.Add(bytes.data() + 7000, 1000, block);  // 1600
    QCOMPARE(blocks.size(), std::size_t{2});
  }

  void SoundRefusedWithoutADevice() {
    QtAudioOutput output{QAudioDevice()};
    QVERIFY(!output.Open({1, 8000}, [] {}));
    const uint8_t silence[4] = {};
    QVERIFY(!output.Write(silence, sizeof silence));
    output.Close();
    QtAudioInput input{QAudioDevice()};
    QVERIFY(!input.Open({1, 8000}, 3200, [](const uint8_t*, std::size_t) {}));
    QVERIFY(!input.Start());
    input.Close();

    QtAudioDevices devices;
    QCOMPARE(devices.MakeOutput() == nullptr, QMediaDevices::defaultAudioOutput().isNull());
    QCOMPARE(devices.MakeInput() == nullptr, QMediaDevices::defaultAudioInput().isNull());
  }
};

QTEST_MAIN(WallTest)
#include "test_video_wall.moc"
