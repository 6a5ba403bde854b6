#include "storage/ConfigDescription.h"

#include "files/EasyFile.h"
#include "render/motion.h"
#include "storage/prefsloader.h"
#include "text/JsonText.h"

namespace {

std::string Rel(const RelRect& r) {
  return "{\"Left\": " + JsonNumber(r.Left) + ", \"Right\": " + JsonNumber(r.Right) + ", \"Top\": " + JsonNumber(r.Top) +
         ", \"Bottom\": " + JsonNumber(r.Bottom) + "}";
}

std::string Colour(const RGBColor& c) {
  return "[" + std::to_string(c.red) + ", " + std::to_string(c.green) + ", " + std::to_string(c.blue) + "]";
}

// Without a picture, why the latest one chosen could not be read.
std::string PictureFailure(const PluginDataRec& c) {
  const std::string failure = c.TheOriginalImage == nullptr ? PictureImportFailure() : std::string();
  return failure.empty() ? std::string() : ", \"PictureFailure\": " + JsonString(failure);
}

std::string EasingName(SInt16 easing) {
  return easing >= 1 && easing <= cEasingCount ? cEasingNames[easing - 1] : cEasingNames[0];
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
                                        ", \"path\": " + JsonString(CGImageGetSourcePath(c.TheOriginalImage)) + "}";
  return "{\"StartRel\": " + Rel(c.StartRel) + ", \"EndRel\": " + Rel(c.EndRel) + ", \"Sliders\": [" + sliders +
         "], \"Colors\": [" + colours + "], \"FrameStartColor\": " + Colour(c.FrameStartColor) +
         ", \"FrameEndColor\": " + Colour(c.FrameEndColor) + ", \"MediaType\": " + std::to_string(c.MediaType) +
         ", \"KeepProps\": " + (c.KeepProps ? "true" : "false") + ", \"BlendMode\": " + std::to_string(c.BlendMode) +
         ", \"Smooth\": " + (c.Smooth ? "true" : "false") + ", \"Easing\": " + JsonString(EasingName(c.Easing)) +
         ", \"Spin\": " + JsonNumber(c.Spin) + ", \"MotionBlur\": " + JsonNumber(c.MotionBlur) +
         ", \"Picture\": " + picture + PictureFailure(c) + ", \"SettingsFile\": " + JsonString(SettingsFilePath()) + "}";
}
