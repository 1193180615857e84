#pragma once
// The pictures of the cameras' clip: a striped and banded backdrop that
// moves with the pan and tilt position, a box that crosses the picture once per loop, and two lines
// of text (camera name, frame counter) in a built-in 5x7 bitmap font;
// playback pictures add a banner with their recording time.

#include <cstdint>
#include <string>

namespace lumivex::sim {

// A YUV 4:2:0 picture owned by someone else.
struct YuvPicture {
  uint8_t* plane[3];
  int stride[3];
  int width;
  int height;
};

struct PictureContent {
  std::string label;  // the camera's name; characters outside ASCII show as '?'
  int index = 0;      // frame of the loop, from 0
  int count = 1;      // frames in the loop
  int pan = 0;        // horizontal offset of the backdrop in pixels
  int tilt = 0;       // vertical offset
};

void DrawPicture(const PictureContent& content, YuvPicture& picture);

// A line of text as large as the picture's width allows, white on a dark
// band across the middle: the recording time of playback pictures, to be
// read off a screenshot.
void DrawBanner(YuvPicture& picture, const std::string& text);

// Draws text with its top-left corner at x, y; each font dot becomes
// scale x scale pixels of the luma value. Clipped to the picture.
void DrawText(YuvPicture& picture, int x, int y, int scale, const std::string& text, uint8_t luma);

}  // namespace lumivex::sim
