#include "ui/playback/playback_window.h"

#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QSlider>

#include "core/logging.h"
#include "ui/app_context.h"
#include "ui/geometry/pictures.h"
#include "ui/geometry/playback_layout.h"
#include "ui/image_button.h"
#include "ui/playback/playback_canvas.h"
#include "webservice/camera_list.h"

namespace lumivex {
namespace {

namespace pictures = ui::pictures;

const QColor kBlue(0x40, 0x9A, 0xE4);
const QColor kTitleInk(0xF0, 0xF0, 0xF0);
const QString kTrackbarStyle = QStringLiteral(
    "QSlider::groove:horizontal { height: 4px; background: rgb(200, 222, 242); border-radius: 2px; }"
    "QSlider::sub-page:horizontal { background: rgb(64, 154, 228); border-radius: 2px; }"
    "QSlider::handle:horizontal { background: rgb(64, 154, 228); width: 10px; margin: -6px 0;"
    " border-radius: 5px; }");
const QString kListStyle = QStringLiteral(
    "QListWidget { border: none; background: white; }"
    "QListWidget::item:selected { background: rgb(64, 154, 228); color: white; }");

// The messages a refusing camera is shown with; any other failure is the
// generic one and leaves the title empty.
bool NamedRefusal(const std::string& message) {
  return message == "设备离线" || message == "设备无视频回放列表" || message == "设备无存储卡";
}

QRect ToQRect(const ui::Rect& r) { return {r.x, r.y, r.width, r.height}; }

QString ObjectName(char kind, int id) { return QStringLiteral("%1%2").arg(QChar::fromLatin1(kind)).arg(id); }

}  // namespace

CPlayback::CPlayback(AppContext& app, AudioDevices& audio, DisplayClock& clock, const CameraInfo& camera,
                     QWidget* parent)
    : BandedDialog(parent, ui::kPlaybackBandHeight),
      app_(app),
      sid_(camera.sid.str()),
      name_(QString::fromStdString(camera.name)) {
  setWindowTitle(name_);
  const ui::PlaybackLayout layout = ui::LayOutPlayback();
  setFixedSize(layout.client.width, layout.client.height);
  canvas_ = new CPlaybkCanvas(app_.resFolder, this);
  MakeControls();
  MakeLists();
  session_ = std::make_unique<PlaybackSession>(app_.service, audio, clock, sid_, *canvas_, relay_);
  LoadCatalogue();
}

CPlayback::~CPlayback() { CleanUp(); }

void CPlayback::MakeControls() {
  const ui::PlaybackLayout l = ui::LayOutPlayback();
  ImageButton* close = MakeButton(kPlaybackClose, pictures::kClose, QStringLiteral("关闭"), QString());
  close->setGeometry(ToQRect(l.close));
  connect(close, &QAbstractButton::clicked, this, &CPlayback::reject);

  struct Control {
    int id;
    const char* picture;
    const char* caption;
    const char* tip;
    ui::Rect where;
    void (PlaybackSession::*command)();
  };
  const Control controls[] = {
      {kPlaybackBack, pictures::kPlaybackBack, "快退", "快退十秒", l.back, &PlaybackSession::Back},
      {kPlaybackPause, pictures::kPlaybackPause, "暂停", "暂停播放", l.pause, &PlaybackSession::Pause},
      {kPlaybackResume, pictures::kPlaybackResume, "恢复", "恢复播放", l.pause, &PlaybackSession::Resume},
      {kPlaybackForward, pictures::kPlaybackForward, "快进", "快进十秒", l.forward, &PlaybackSession::Forward},
  };
  for (const Control& c : controls) {
    ImageButton* b = MakeButton(c.id, c.picture, QString::fromUtf8(c.caption), QString::fromUtf8(c.tip));
    b->setGeometry(ToQRect(c.where));
    connect(b, &QAbstractButton::clicked, this, [this, command = c.command, id = c.id] {
      if (!session_) return;
      (session_.get()->*command)();
      if (id == kPlaybackPause || id == kPlaybackResume) ShowPaused(id == kPlaybackPause);
    });
  }
  ShowPaused(false);

  ImageButton* start = MakeButton(kPlaybackStart, pictures::kPlaybackStart, QStringLiteral("开始播放"), QString());
  start->setGeometry(ToQRect(l.start));
  if (start->loaded()) start->ShowCaption(Qt::white);
  connect(start, &QAbstractButton::clicked, this, &CPlayback::Start);

  trackbar_ = new QSlider(Qt::Horizontal, this);
  trackbar_->setObjectName(ObjectName('t', kPlaybackTrackbar));
  trackbar_->setGeometry(ToQRect(l.trackbar));
  trackbar_->setRange(0, 0);
  trackbar_->setStyleSheet(kTrackbarStyle);
  connect(trackbar_, &QAbstractSlider::actionTriggered, this, &CPlayback::TrackbarAction);
  connect(trackbar_, &QAbstractSlider::sliderReleased, this, [this] {
    if (session_) session_->JumpTo(trackbar_->value());
  });

  title_ = MakeDialogLabel(QStringLiteral("正在加载播放列表..."), ToQRect(l.title), this, kTitleInk);
  title_->setObjectName(ObjectName('s', kPlaybackTitle));
  title_->setAlignment(Qt::AlignCenter);
  currentTime_ = MakeDialogLabel(QStringLiteral("00:00:00"), ToQRect(l.currentTime), this, kBlue);
  currentTime_->setObjectName(ObjectName('s', kPlaybackCurrentTime));
  endTime_ = MakeDialogLabel(QStringLiteral("00:00:00"), ToQRect(l.endTime), this, kBlue);
  endTime_->setObjectName(ObjectName('s', kPlaybackEndTime));
}

ImageButton* CPlayback::MakeButton(int id, const char* picture, const QString& caption, const QString& tip) {
  auto* b = new ImageButton(app_.resFolder, picture, id, caption, ImageButton::Focus::kNone, this);
  b->setToolTip(tip);
  for (ImageButton*& slot : buttons_)
    if (!slot) {
      slot = b;
      break;
    }
  return b;
}

void CPlayback::MakeLists() {
  const ui::PlaybackLayout l = ui::LayOutPlayback();
  const int ids[] = {kPlaybackYears, kPlaybackMonths, kPlaybackDays, kPlaybackHours};
  const char* const units[] = {"年", "月", "日", "时"};
  using Chosen = void (CPlayback::*)(int);
  const Chosen chosen[] = {&CPlayback::YearChosen, &CPlayback::MonthChosen, &CPlayback::DayChosen, nullptr};
  for (std::size_t i = 0; i < lists_.size(); ++i) {
    auto* list = new QListWidget(this);
    list->setObjectName(ObjectName('l', ids[i]));
    list->setGeometry(ToQRect(l.lists[i]));
    list->setFrameShape(QFrame::NoFrame);  // the window draws the frame
    list->setStyleSheet(kListStyle);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    if (chosen[i]) connect(list, &QListWidget::currentRowChanged, this, chosen[i]);
    lists_[i] = list;
    QLabel* unit = MakeDialogLabel(QString::fromUtf8(units[i]), ToQRect(l.listLabels[i]), this, kBlue);
    unit->setAlignment(Qt::AlignCenter);
  }
}

ImageButton* CPlayback::button(int id) const {
  for (ImageButton* b : buttons_)
    if (b && b->id() == id) return b;
  return nullptr;
}

QListWidget* CPlayback::list(int id) const {
  const int first = kPlaybackYears;
  return id >= first && id < first + 4 ? lists_[static_cast<std::size_t>(id - first)] : nullptr;
}

QLabel* CPlayback::label(int id) const {
  switch (id) {
    case kPlaybackTitle: return title_;
    case kPlaybackCurrentTime: return currentTime_;
    case kPlaybackEndTime: return endTime_;
    default: return nullptr;
  }
}

void CPlayback::LoadCatalogue() {
  ServiceContext& service = app_.service;
  app_.jobs.Run<std::shared_ptr<Catalogue>>(
      this,
      [&service, sid = sid_] {
        auto result = std::make_shared<Catalogue>();
        result->ok = LoadPlaybackCatalogue(service, sid, result->list, result->message);
        return result;
      },
      [this](std::shared_ptr<Catalogue> result) { CatalogueLoaded(*result); });
}

void CPlayback::CatalogueLoaded(const Catalogue& result) {
  if (closed_) return;
  loading_ = false;
  if (!result.ok) {
    const std::string message = result.message.empty() ? kCatalogueFailedMessage : result.message;
    title_->setText(NamedRefusal(message) ? QString::fromStdString(message) : QString());
    LogLine("playback " + sid_ + ": " + message);
    // Read over the window, which closes once the box has.
    app_.notifier.MessageBoxAndWait("提示", message);
    return reject();
  }
  catalogue_ = result.list;
  FillYears();
  title_->setText(name_);
}

void CPlayback::Start() {
  if (!session_) return;
  const PlaybackDayList::Day* day = SelectedDay();
  const bool hasHour = day && lists_[3]->currentRow() >= 0;
  if (const char* missing =
          MissingSelectionMessage(SelectedYear() != nullptr, SelectedMonth() != nullptr, day != nullptr, hasHour))
    return app_.notifier.MessageBox("提示", missing);
  const int32_t hour = lists_[3]->currentItem()->data(Qt::UserRole).toInt();
  if (session_->StartPlayback(SelectedHour(SelectedYear()->year, SelectedMonth()->month, day->day, hour)))
    ShowPaused(false);
}

// One place for the pair: exactly one of them shows.
void CPlayback::ShowPaused(bool paused) {
  button(kPlaybackPause)->setVisible(!paused);
  button(kPlaybackResume)->setVisible(paused);
}

// Emitted after the slider has moved its position but before its value
// follows: a line step is made ten seconds by moving the position on, the
// drag waits for the release, every other move jumps where it went.
void CPlayback::TrackbarAction(int action) {
  if (!session_) return;
  int32_t position = trackbar_->sliderPosition();
  switch (action) {
    case QAbstractSlider::SliderMove:
      return;
    case QAbstractSlider::SliderSingleStepAdd:
    case QAbstractSlider::SliderSingleStepSub:
      position = LineStepPosition(position, action == QAbstractSlider::SliderSingleStepAdd ? 1 : -1, gap_);
      trackbar_->setSliderPosition(position);
      break;
    default:
      break;
  }
  session_->JumpTo(position);
}

void CPlayback::RecordingKnown(const QString& startLabel, const QString& endLabel, int32_t gap) {
  gap_ = gap;
  currentTime_->setText(startLabel);
  endTime_->setText(endLabel);
  trackbar_->setRange(0, gap);
  trackbar_->setValue(0);
}

// The thumb under the user's drag stays where the user holds it.
void CPlayback::PositionChanged(int32_t position, const QString& timeLabel) {
  if (!trackbar_->isSliderDown()) trackbar_->setValue(position);
  currentTime_->setText(timeLabel);
}

void CPlayback::Relay::RecordingKnown(const std::string& startLabel, const std::string& endLabel, int32_t gap) {
  QMetaObject::invokeMethod(
      &window_,
      [w = &window_, start = QString::fromStdString(startLabel), end = QString::fromStdString(endLabel), gap] {
        if (!w->closed_) w->RecordingKnown(start, end, gap);
      },
      Qt::QueuedConnection);
}

void CPlayback::Relay::PositionChanged(int32_t position, const std::string& timeLabel) {
  QMetaObject::invokeMethod(
      &window_,
      [w = &window_, position, label = QString::fromStdString(timeLabel)] {
        if (!w->closed_) w->PositionChanged(position, label);
      },
      Qt::QueuedConnection);
}

void CPlayback::Relay::StatusChanged(int32_t status) {
  QMetaObject::invokeMethod(
      &window_, [w = &window_, status] { w->status_ = status; }, Qt::QueuedConnection);
}

void CPlayback::CleanUp() {
  if (closed_) return;
  closed_ = true;
  // Stops the start thread, the workers and the painter; none calls the
  // canvas or the relay after this.
  session_.reset();
}

void CPlayback::reject() {
  CleanUp();
  BandedDialog::reject();
}

void CPlayback::keyPressEvent(QKeyEvent* event) {
  if (IsEnterKey(event)) return event->accept();
  if (event->key() == Qt::Key_Escape) return reject();
  BandedDialog::keyPressEvent(event);
}

void CPlayback::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::white);
  p.fillRect(0, 0, width(), ui::kPlaybackBandHeight, kBlue);
  p.setPen(kBlue);
  p.drawRect(rect().adjusted(0, 0, -1, -1));
  for (QListWidget* list : lists_) p.drawRect(list->geometry().adjusted(-1, -1, 0, 0));
}

}  // namespace lumivex
