#pragma once
// CPlayback: the modal playback window of one camera. On opening it asks
// the service for the camera's recorded hours and fills the year, month,
// day and hour lists; "开始播放" plays the selected hour in the video area
// through the window's own PlaybackSession, which the trackbar and the four
// buttons steer. Closing (the close button, Esc) destroys the session, which
// stops everything, before the canvas goes.
//
// Threads: the widgets are the GUI thread's. The catalogue runs as a
// background job; the session's listener calls come from its threads and
// are queued to the GUI thread, so no core thread touches a widget.

#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "playback/catalogue.h"
#include "playback/playback_session.h"
#include "ui/dialog_look.h"

class QLabel;
class QListWidget;
class QSlider;

namespace lumivex {

struct AppContext;
struct CameraInfo;
class AudioDevices;
class CPlaybkCanvas;
class ImageButton;

// The controls' ids, from which their object names come ("b1090", "l1229").
enum PlaybackControl : int {
  kPlaybackClose = 1090,
  kPlaybackTrackbar = 1234,
  kPlaybackBack = 1235,
  kPlaybackPause = 1137,
  kPlaybackResume = 1237,
  kPlaybackForward = 1138,
  kPlaybackStart = 1233,
  kPlaybackTitle = 1255,
  kPlaybackYears = 1229,
  kPlaybackMonths = 1230,
  kPlaybackDays = 1231,
  kPlaybackHours = 1232,
  kPlaybackCurrentTime = 1253,
  kPlaybackEndTime = 1254,
};

class CPlayback : public BandedDialog {
  Q_OBJECT

 public:
  // clock: the wall's, which the window's ticks share.
  CPlayback(AppContext& app, AudioDevices& audio, DisplayClock& clock, const CameraInfo& camera,
            QWidget* parent = nullptr);
  ~CPlayback() override;

  ImageButton* button(int id) const;
  QListWidget* list(int id) const;
  QLabel* label(int id) const;
  QSlider* trackbar() const { return trackbar_; }
  CPlaybkCanvas* canvas() const { return canvas_; }
  // Null once the window has closed.
  PlaybackSession* session() const { return session_.get(); }
  bool loading() const { return loading_; }
  // The last status the session reported (STATUS_READY ... STATUS_VIDEO_FAILED).
  int32_t status() const { return status_; }

  void reject() override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  // Carries the session's calls onto the GUI thread.
  class Relay : public PlaybackListener {
   public:
    explicit Relay(CPlayback& window) : window_(window) {}
    void RecordingKnown(const std::string& startLabel, const std::string& endLabel, int32_t gap) override;
    void PositionChanged(int32_t position, const std::string& timeLabel) override;
    void StatusChanged(int32_t status) override;

   private:
    CPlayback& window_;
  };
  struct Catalogue {
    bool ok = false;
    PlaybackDayList list;
    std::string message;
  };

  void MakeControls();
  void MakeLists();
  ImageButton* MakeButton(int id, const char* picture, const QString& caption, const QString& tip);
  void LoadCatalogue();
  void CatalogueLoaded(const Catalogue& result);

  // playback_lists.cpp
  void FillYears();
  void FillMonths();
  void FillDays();
  void FillHours();
  void YearChosen(int row);
  void MonthChosen(int row);
  void DayChosen(int row);
  const PlaybackDayList::Year* SelectedYear() const;
  const PlaybackDayList::Month* SelectedMonth() const;
  const PlaybackDayList::Day* SelectedDay() const;

  void Start();
  void ShowPaused(bool paused);
  void TrackbarAction(int action);
  void RecordingKnown(const QString& startLabel, const QString& endLabel, int32_t gap);
  void PositionChanged(int32_t position, const QString& timeLabel);
  // Stops the session and abandons the catalogue; once.
  void CleanUp();

  AppContext& app_;
  const std::string sid_;
  const QString name_;
  CPlaybkCanvas* canvas_ = nullptr;
  QSlider* trackbar_ = nullptr;
  QLabel* title_ = nullptr;
  QLabel* currentTime_ = nullptr;
  QLabel* endTime_ = nullptr;
  std::array<QListWidget*, 4> lists_{};  // year, month, day, hour
  std::array<ImageButton*, 6> buttons_{};

  PlaybackDayList catalogue_;
  bool loading_ = true;
  bool closed_ = false;
  int32_t gap_ = 0;
  int32_t status_ = 0;

  Relay relay_{*this};
  std::unique_ptr<PlaybackSession> session_;  // after the canvas and the relay it uses
};

}  // namespace lumivex
