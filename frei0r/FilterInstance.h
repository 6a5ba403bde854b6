// One instance of the filter: its settings, its picture ready to draw, and
// a frame buffer in the render core's pixel order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "FilterParameters.h"
#include "effect/PluginData.h"
#include "render/motion.h"

class FilterInstance {
 public:
  // Ok() is false when the frame is beyond what the render core can hold.
  FilterInstance(unsigned width, unsigned height);
  ~FilterInstance();
  FilterInstance(const FilterInstance&) = delete;
  FilterInstance& operator=(const FilterInstance&) = delete;
  bool Ok() const { return frame_ != nullptr; }
  unsigned Width() const { return width_; }
  unsigned Height() const { return height_; }

  void SetDouble(int parameter, double value);
  void SetColour(double red, double green, double blue);
  void SetText(int parameter, const char* text);
  const FilterSettings& Settings() const { return settings_; }

  // Lays the picture over `in` (8-bit R,G,B,A, straight alpha) into `out`
  // as it stands at `time`; `in` and `out` may be the same frame.
  void Update(double time, const std::uint32_t* in, std::uint32_t* out);

 private:
  void PreparePicture();
  // The drawing at the host's `time`; learns the time between frames.
  MotionDrawing MotionAt(double time);
  // Only the pixels the drawing can touch (`rows`, the columns of each row
  // of `box`) are turned into the core's form and back; the others go from
  // `in` to `out` as they are.
  void ReadFrame(const std::uint32_t* in, const Rect& box, const std::vector<RowColumns>& rows);
  void WriteFrame(const std::uint32_t* in, std::uint32_t* out, const Rect& box,
                  const std::vector<RowColumns>& rows) const;

  unsigned width_, height_;
  GWorldPtr frame_ = nullptr;
  FilterSettings settings_;
  PluginDataRec picture_{};  // its pictures, border width and colour
  bool pictureStale_ = false, borderStale_ = false, opaque_ = true;
  double lastTime_ = 0, frameTime_ = 0.04;  // 1/25 s until two frames have come
  bool haveLastTime_ = false;
};
