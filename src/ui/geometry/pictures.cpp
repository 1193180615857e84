#include "ui/geometry/pictures.h"

#include "ui/geometry/main_window_geometry.h"
#include "ui/geometry/playback_layout.h"
#include "ui/geometry/ptz_buttons.h"
#include "ui/geometry/video_overlay.h"

namespace lumivex::ui::pictures {

std::string ButtonPicture(std::string_view base, ButtonState state) {
  std::string name(base);
  switch (state) {
    case ButtonState::kNormal:
      return name + "_normal.png";
    case ButtonState::kPressed:
      return name + "_pressed.png";
    case ButtonState::kFocused:
      return name + "_focused.png";
  }
  return name + "_normal.png";
}

namespace {

template <typename Bases>
void AddButtons(std::vector<PictureFile>& files, const Bases& bases, int width, int height) {
  for (const char* base : bases) {
    for (ButtonState state : kButtonStates) {
      files.push_back({ButtonPicture(base, state), width, height});
    }
  }
}

}  // namespace

std::vector<PictureFile> AllPictures() {
  std::vector<PictureFile> files = {
      {kCameraRect, kStatusWidth, kStatusHeight},
      {kCameraRectFailed, kStatusWidth, kStatusHeight},
      {kPlayback, kStatusWidth, kStatusHeight},
      {kPlaybackFailed, kStatusWidth, kStatusHeight},
      {kVideoRecord, kOverlayIconSize, kOverlayIconSize},
      {kDevAudio, kOverlayIconSize, kOverlayIconSize},
      {kLocalAudio, kOverlayIconSize, kOverlayIconSize},
      {kExpand, kGroupIconSize, kGroupIconSize},
      {kCollapse, kGroupIconSize, kGroupIconSize},
      {kThumbnail, kThumbnailWidth, kThumbnailHeight},
      {kThumbnailLocked, kThumbnailWidth, kThumbnailHeight},
      {kAppIcon, kAppIconSize, kAppIconSize},
      {kDeviceAudioStopDimmed, kToolbarButtonWidth, kToolbarButtonHeight},
      {kTalkStopDimmed, kToolbarButtonWidth, kToolbarButtonHeight},
  };
  AddButtons(files, kToolbarButtons, kToolbarButtonWidth, kToolbarButtonHeight);
  AddButtons(files, kCaptionButtons, kCaptionButtonWidth, kCaptionButtonHeight);
  AddButtons(files, kPtzButtons, kPtzButtonSize, kPtzButtonSize);
  AddButtons(files, kTabButtons, kTabWidth, kTabHeight);
  const PlaybackLayout playback = LayOutPlayback();
  AddButtons(files, kPlaybackControls, playback.back.width, playback.back.height);
  const char* const start[] = {kPlaybackStart};
  AddButtons(files, start, playback.start.width, playback.start.height);
  return files;
}

}  // namespace lumivex::ui::pictures
