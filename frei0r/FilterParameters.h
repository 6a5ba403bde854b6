// The filter's parameters: their table for frei0r hosts, the values an
// instance holds, and how a host's value becomes one of them.
#pragma once

#include <string>

// In the order hosts pass them (FFmpeg numbers them by this order).
enum FilterParameter {
  kPicture,
  kStartLeft, kStartTop, kStartWidth, kStartHeight,
  kEndLeft, kEndTop, kEndWidth, kEndHeight,
  kStartTime, kEndTime,
  kBorder, kBorderColour,
  kOpacity, kTurn,
  kBlend,
  kSmooth, kEasing, kSpin, kMotionBlur,
  kPictureByItsEarlierName,
  kParameterCount
};

enum class ParameterType { kDouble, kBool, kColour, kString };

struct ParameterInfo {
  const char* name;
  ParameterType type;
  const char* explanation;
};

const ParameterInfo& InfoOf(int parameter);

// Frame fractions: left, top, width, height.
struct FrameBox {
  double left, top, width, height;
};

struct FilterSettings {
  std::string picture;         // "resource": MLT keeps it beside a saved project
  std::string earlierPicture;  // "picture", the name the path had before
  // The path drawn: "resource", or else the earlier name's.
  const std::string& Picture() const { return picture.empty() ? earlierPicture : picture; }
  FrameBox start{0, 0, 1, 1}, end{0, 0, 1, 1};
  double startTime = 0, endTime = 1;  // in the host's own unit
  double border = 0;                  // 0 to 1 of the border slider
  double red = 1, green = 1, blue = 1;
  double opacity = 1;
  double turn = 0;                    // of a full turn, counterclockwise
  std::string blendText = "normal";
  int blend = 1;                      // 1 to 16, as the blend pop-up numbers them
  bool smooth = true;                 // at the glide's exact place, not on whole pixels
  std::string easingText = "linear";
  int easing = 1;                     // 1 to 4: linear, ease-in, ease-out, ease-in-out
  double spin = 0;                    // turns added over the glide
  double motionBlur = 0;              // the shutter, 0 to 1 of a frame's time
};

// A host's double for `parameter`, kept within what the effect can draw:
// NaN gives the default, positions stay within -1..2, sizes 0..3 (a negative
// size draws nothing), border, opacity and motion blur 0..1, spin -8..8.
double AcceptedDouble(int parameter, double value);

// 1 to 16 for a mode's name or number, 0 for anything else.
int BlendNumber(const std::string& text);
