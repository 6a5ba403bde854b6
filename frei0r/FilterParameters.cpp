#include "FilterParameters.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "cg/CGContext.h"

namespace {

const ParameterInfo kParameters[kParameterCount] = {
    {"resource", ParameterType::kString,
     "Path of the picture laid over the video (PNG, JPEG, GIF, TIFF, ...); a saved MLT project keeps it relative "
     "to the project, as it keeps its clips"},
    {"start left", ParameterType::kDouble, "Left edge of the start rectangle, as a fraction of the frame's width"},
    {"start top", ParameterType::kDouble, "Top edge of the start rectangle, as a fraction of the frame's height"},
    {"start width", ParameterType::kDouble, "Width of the start rectangle, as a fraction of the frame's width"},
    {"start height", ParameterType::kDouble, "Height of the start rectangle, as a fraction of the frame's height"},
    {"end left", ParameterType::kDouble, "Left edge of the end rectangle, as a fraction of the frame's width"},
    {"end top", ParameterType::kDouble, "Top edge of the end rectangle, as a fraction of the frame's height"},
    {"end width", ParameterType::kDouble, "Width of the end rectangle, as a fraction of the frame's width"},
    {"end height", ParameterType::kDouble, "Height of the end rectangle, as a fraction of the frame's height"},
    {"start time", ParameterType::kDouble,
     "When the picture leaves the start rectangle, in the host's time unit (melt: seconds, FFmpeg: milliseconds)"},
    {"end time", ParameterType::kDouble,
     "When the picture reaches the end rectangle, in the host's time unit (melt: seconds, FFmpeg: milliseconds)"},
    {"border", ParameterType::kDouble, "Width of the border around the picture: 0 none, 1 a quarter of its shorter side"},
    {"border colour", ParameterType::kColour, "Colour of the border"},
    {"opacity", ParameterType::kDouble, "Opacity of the picture: 0 invisible, 1 opaque"},
    {"turn", ParameterType::kDouble, "Turn of the picture about its centre, as a fraction of a full turn, counterclockwise"},
    {"blend", ParameterType::kString,
     "Blend mode: normal multiply screen overlay darken lighten color-dodge color-burn soft-light hard-light "
     "difference exclusion hue saturation color luminosity, or its number 1 to 16"},
    {"smooth", ParameterType::kBool, "Draw the picture at its exact place between pixels, so that a slow glide never steps"},
    {"easing", ParameterType::kString,
     "How the glide speeds up and slows down: linear, ease-in, ease-out or ease-in-out"},
    {"spin", ParameterType::kDouble,
     "Turns added over the glide, counterclockwise, from -8 to 8; the border turns with the picture"},
    {"motion blur", ParameterType::kDouble,
     "Shutter from 0 (off) to 1 of the time between the frames the host passes (1/25 s until two frames have come); "
     "0.5 is a 180 degree shutter"},
    {"picture", ParameterType::kString, "The picture's path under its earlier name, drawn when resource is not set"},
};


double DefaultOf(int parameter) {
  switch (parameter) {
    case kStartWidth: case kStartHeight: case kEndWidth: case kEndHeight: case kEndTime: case kOpacity: case kSmooth:
      return 1;
    default:
      return 0;
  }
}

}  // namespace

const ParameterInfo& InfoOf(int parameter) { return kParameters[parameter]; }

double AcceptedDouble(int parameter, double value) {
  if (std::isnan(value)) return DefaultOf(parameter);
  switch (parameter) {
    case kStartLeft: case kStartTop: case kEndLeft: case kEndTop:
      return std::clamp(value, -1.0, 2.0);
    case kStartWidth: case kStartHeight: case kEndWidth: case kEndHeight:
      return std::clamp(value, 0.0, 3.0);
    case kBorder: case kOpacity: case kMotionBlur:
      return std::clamp(value, 0.0, 1.0);
    case kSmooth:
      return value > 0.5 ? 1 : 0;
    case kSpin:
      return std::clamp(value, -8.0, 8.0);
    case kTurn:  // whole turns change nothing; the range keeps the angle exact
      return std::clamp(value, -1e6, 1e6);
    default:     // times: any finite value
      return std::clamp(value, -1e300, 1e300);
  }
}

int BlendNumber(const std::string& text) {
  for (int k = 0; k < kCGBlendModeNameCount; ++k)
    if (text == kCGBlendModeNames[k]) return k + 1;
  char* end = nullptr;
  const long n = std::strtol(text.c_str(), &end, 10);
  if (!text.empty() && *end == '\0' && n >= 1 && n <= 16) return int(n);
  return 0;
}
