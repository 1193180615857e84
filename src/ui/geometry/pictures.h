#pragma once
// The pictures the program reads from the res/ folder beside it: file names
// and the sizes they are drawn at. The widgets load them by these names;
// make_res draws every one of them.

#include <string>
#include <string_view>
#include <vector>

namespace lumivex::ui::pictures {

// Status pictures, stretched over a video window or the playback area.
inline constexpr char kCameraRect[] = "CameraRect.bmp";  // idle and connecting
inline constexpr char kCameraRectFailed[] = "CameraRect8.bmp";
inline constexpr char kPlayback[] = "CameraRectPlayback.bmp";  // idle and connecting
inline constexpr char kPlaybackFailed[] = "CameraRectPlayback2.bmp";
inline constexpr int kStatusWidth = 640;  // the playback area, half the composition surface
inline constexpr int kStatusHeight = 360;

// Overlay icons over the picture, kOverlayIconSize square, with alpha.
inline constexpr char kVideoRecord[] = "VideoRecord.png";
inline constexpr char kDevAudio[] = "DevAudio.png";
inline constexpr char kLocalAudio[] = "LocalAudio.png";

// Device tree: the group header icons and the thumbnails of a camera row.
inline constexpr char kExpand[] = "expand.bmp";
inline constexpr char kCollapse[] = "collapse.bmp";
inline constexpr int kGroupIconSize = 22;
inline constexpr char kThumbnail[] = "cameraThumnail.bmp";
inline constexpr char kThumbnailLocked[] = "cameraThumnailLock.bmp";
inline constexpr int kThumbnailWidth = 96;
inline constexpr int kThumbnailHeight = 72;

// Window and tray icon.
inline constexpr char kAppIcon[] = "lumivex.png";
inline constexpr int kAppIconSize = 64;

// A bitmap button has three files: "<base>_normal.png", "<base>_pressed.png"
// and "<base>_focused.png".
enum class ButtonState { kNormal, kPressed, kFocused };
inline constexpr ButtonState kButtonStates[] = {ButtonState::kNormal, ButtonState::kPressed,
                                                ButtonState::kFocused};
std::string ButtonPicture(std::string_view base, ButtonState state);

// Toolbar buttons (kToolbarButtonWidth x kToolbarButtonHeight). "start" is
// the button that switches a function on, "stop" its counterpart.
inline constexpr char kSplit[] = "tb_split";
inline constexpr char kCloseDevice[] = "tb_close_device";
inline constexpr char kQualityLow[] = "tb_quality_low";  // 88000 bit/s
inline constexpr char kQualitySd[] = "tb_quality_sd";    // 480000
inline constexpr char kQualityHd[] = "tb_quality_hd";    // 1200000
inline constexpr char kAlarm[] = "tb_alarm";
inline constexpr char kPreviousPage[] = "tb_page_previous";
inline constexpr char kNextPage[] = "tb_page_next";
inline constexpr char kRotate[] = "tb_rotate";
inline constexpr char kSnapshot[] = "tb_snapshot";
inline constexpr char kDeviceAudioStart[] = "tb_audio_start";
inline constexpr char kDeviceAudioStop[] = "tb_audio_stop";
inline constexpr char kTalkStart[] = "tb_talk_start";
inline constexpr char kTalkStop[] = "tb_talk_stop";
inline constexpr char kRecordStart[] = "tb_record_start";
inline constexpr char kRecordStop[] = "tb_record_stop";
inline constexpr const char* kToolbarButtons[] = {
    kSplit,        kCloseDevice, kQualityLow,  kQualitySd, kQualityHd,        kAlarm,
    kPreviousPage, kNextPage,    kRotate,      kSnapshot,  kDeviceAudioStart, kDeviceAudioStop,
    kTalkStart,    kTalkStop,    kRecordStart, kRecordStop};

// The "stop" audio buttons of a model without audio: one dimmed picture for
// every state.
inline constexpr char kDeviceAudioStopDimmed[] = "tb_audio_stop_dimmed.png";
inline constexpr char kTalkStopDimmed[] = "tb_talk_stop_dimmed.png";

// Caption buttons on the header band (kCaptionButtonWidth x kCaptionButtonHeight).
inline constexpr char kMinimize[] = "cap_minimize";
inline constexpr char kMaximize[] = "cap_maximize";
inline constexpr char kRestore[] = "cap_restore";
inline constexpr char kClose[] = "cap_close";
inline constexpr char kMenu[] = "cap_menu";
inline constexpr const char* kCaptionButtons[] = {kMinimize, kMaximize, kRestore, kClose, kMenu};

// The settings sheet's tabs on its header band (kTabWidth x kTabHeight):
// the look of the page shown and the look of the one to click; the button
// writes its caption over the picture.
inline constexpr char kTabSelected[] = "tab_selected";
inline constexpr char kTabClickable[] = "tab_clickable";
inline constexpr const char* kTabButtons[] = {kTabSelected, kTabClickable};
inline constexpr int kTabWidth = 96;
inline constexpr int kTabHeight = 32;

// Pan/tilt arrows over the picture (kPtzButtonSize square, with alpha).
inline constexpr char kPtzUp[] = "ptz_up";
inline constexpr char kPtzDown[] = "ptz_down";
inline constexpr char kPtzLeft[] = "ptz_left";
inline constexpr char kPtzRight[] = "ptz_right";
inline constexpr const char* kPtzButtons[] = {kPtzUp, kPtzDown, kPtzLeft, kPtzRight};

// The playback window's buttons (their places in ui/geometry/playback_layout.h):
// back, pause, resume and forward show a glyph, "开始播放" its caption over
// the picture.
inline constexpr char kPlaybackBack[] = "pb_back";
inline constexpr char kPlaybackPause[] = "pb_pause";
inline constexpr char kPlaybackResume[] = "pb_resume";
inline constexpr char kPlaybackForward[] = "pb_forward";
inline constexpr const char* kPlaybackControls[] = {kPlaybackBack, kPlaybackPause, kPlaybackResume,
                                                   kPlaybackForward};
inline constexpr char kPlaybackStart[] = "pb_start";

struct PictureFile {
  std::string name;
  int width = 0;
  int height = 0;
};

// Every file of res/, each with its size.
std::vector<PictureFile> AllPictures();

}  // namespace lumivex::ui::pictures
