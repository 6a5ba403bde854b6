#include "storage/ConfigDescription.h"

#include <cmath>
#include <cstdio>

#include "storage/prefsloader.h"

namespace {

// JSON has no NaN or infinity: such a value is written as null.
std::string Number(double v) {
  if (!std::isfinite(v)) return "null";
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", v);
  return text;
}

std::string Rel(const RelRect& r) {
  return "{\"Left\": " + Number(r.Left) + ", \"Right\": " + Number(r.Right) + ", \"Top\": " + Number(r.Top) +
         ", \"Bottom\": " + Number(r.Bottom) + "}";
}

// A JSON string: quotes, backslashes and control characters escaped.
std::string Text(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += char(c);
    } else if (c < 0x20) {
      char code[8];
      std::snprintf(code, sizeof code, "\\u%04x", c);
      out += code;
    } else {
      out += char(c);
    }
  }
  return out + "\"";
}

std::string Colour(const RGBColor& c) {
  return "[" + std::to_string(c.red) + ", " + std::to_string(c.green) + ", " + std::to_string(c.blue) + "]";
}

}  // namespace

std::string DescribeConfiguration(const PluginDataRec& c) {
  std::string sliders, colours;
  for (int k = 1; k <= 6; ++k) {
    sliders += (k > 1 ? ", " : "") + std::to_string(c.Sliders[k]);
    colours += (k > 1 ? ", " : "") + Colour(c.Colors[k]);
  }
  const std::string picture = c.TheOriginalImage == nullptr
                                  ? "null"
                                  : "{\"width\": " + std::to_string(CGImageGetWidth(c.TheOriginalImage)) +
                                        ", \"height\": " + std::to_string(CGImageGetHeight(c.TheOriginalImage)) +
                                        ", \"path\": " + Text(CGImageGetSourcePath(c.TheOriginalImage)) + "}";
  return "{\"StartRel\": " + Rel(c.StartRel) + ", \"EndRel\": " + Rel(c.EndRel) + ", \"Sliders\": [" + sliders +
         "], \"Colors\": [" + colours + "], \"FrameStartColor\": " + Colour(c.FrameStartColor) +
         ", \"FrameEndColor\": " + Colour(c.FrameEndColor) + ", \"MediaType\": " + std::to_string(c.MediaType) +
         ", \"KeepProps\": " + (c.KeepProps ? "true" : "false") + ", \"BlendMode\": " + std::to_string(c.BlendMode) +
         ", \"Picture\": " + picture + ", \"SettingsFile\": " + Text(SettingsFilePath()) + "}";
}
