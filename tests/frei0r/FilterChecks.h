// What the frei0r filter's tests share: the picture of four flat quarters,
// the video's colour, and where the quarters must land.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <frei0r.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "MediaSupport.h"

namespace filterchecks {

// The filter, loaded as a host loads it, and its entry points.
struct Filter {
  void* library = dlopen(QUORVEL_FREI0R_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  template <typename F>
  F Get(const char* name) { return reinterpret_cast<F>(dlsym(library, name)); }
  decltype(&f0r_construct) construct = Get<decltype(&f0r_construct)>("f0r_construct");
  decltype(&f0r_destruct) destruct = Get<decltype(&f0r_destruct)>("f0r_destruct");
  decltype(&f0r_set_param_value) set = Get<decltype(&f0r_set_param_value)>("f0r_set_param_value");
  decltype(&f0r_get_param_value) get = Get<decltype(&f0r_get_param_value)>("f0r_get_param_value");
  decltype(&f0r_get_param_info) info = Get<decltype(&f0r_get_param_info)>("f0r_get_param_info");
  decltype(&f0r_update) update = Get<decltype(&f0r_update)>("f0r_update");
  ~Filter() { if (library) dlclose(library); }
};

inline Filter& TheFilter() {
  static Filter filter;
  return filter;
}


inline constexpr int kW = 320, kH = 240;
// The parameters the filter offers, in the order hosts number them.
inline constexpr int kParameters = 21;
inline const FlatColour kQuarters[4] = {{230, 20, 20}, {20, 220, 30}, {30, 40, 210}, {240, 230, 20}};
inline constexpr uint8_t kBack[3] = {64, 96, 128};

inline std::vector<uint32_t> Flat(const uint8_t rgb[3], uint8_t alpha = 255, int w = kW, int h = kH) {
  std::vector<uint32_t> frame(size_t(w) * h);
  for (uint32_t& p : frame) {
    const uint8_t bytes[4] = {rgb[0], rgb[1], rgb[2], alpha};
    std::memcpy(&p, bytes, 4);
  }
  return frame;
}

inline const uint8_t* At(const std::vector<uint32_t>& frame, int x, int y) {
  return reinterpret_cast<const uint8_t*>(&frame[size_t(y) * kW + x]);
}

inline std::string Rgb(const uint8_t* p) {
  return std::to_string(p[0]) + "," + std::to_string(p[1]) + "," + std::to_string(p[2]);
}

// The colour at (x, y) is within `tolerance` of r, g, b.
inline ::testing::AssertionResult Near(const std::vector<uint32_t>& frame, double x, double y, int r, int g, int b,
                                int tolerance = 2) {
  const uint8_t* p = At(frame, int(x), int(y));
  if (std::abs(p[0] - r) <= tolerance && std::abs(p[1] - g) <= tolerance && std::abs(p[2] - b) <= tolerance)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "at " << int(x) << "," << int(y) << ": " << Rgb(p) << " instead of " << r
                                       << "," << g << "," << b;
}

// Where each quarter's centre lands for the rectangle (left, top, width,
// height in pixels) turned by `quarterTurns` quarter turns counterclockwise.
struct Landing {
  double x, y;
};
inline Landing QuarterCentre(int quarter, double l, double t, double w, double h, int quarterTurns) {
  double dx = (quarter % 2 ? 1 : -1) * w / 4, dy = (quarter / 2 ? 1 : -1) * h / 4;
  for (int k = 0; k < quarterTurns; ++k) {
    const double turned = dy;  // counterclockwise on screen, y down
    dy = -dx, dx = turned;
  }
  return {l + w / 2 + dx, t + h / 2 + dy};
}

// The rectangle at `fraction` of the way from start to end, in pixels, as
// the effect truncates it: left, top, right, bottom.
struct PixelRect {
  double l, t, r, b;
};
inline PixelRect RectAt(double fraction, const double start[4], const double end[4]) {
  const auto lerp = [&](int k) { return start[k] + (end[k] - start[k]) * fraction; };
  return {std::trunc(kW * lerp(0)), std::trunc(kH * lerp(1)), std::trunc(kW * (lerp(0) + lerp(2))),
          std::trunc(kH * (lerp(1) + lerp(3)))};
}

// Each quarter at its place, and the video beside the rectangle.
inline void ExpectPictureAt(const std::vector<uint32_t>& frame, const PixelRect& r, int quarterTurns) {
  for (int q = 0; q < 4; ++q) {
    const Landing at = QuarterCentre(q, r.l, r.t, r.r - r.l, r.b - r.t, quarterTurns);
    EXPECT_TRUE(Near(frame, at.x, at.y, kQuarters[q].r, kQuarters[q].g, kQuarters[q].b)) << "quarter " << q;
  }
  const double side = std::max(r.r - r.l, r.b - r.t) / 2 + 6;  // clear of any turn
  const double cx = (r.l + r.r) / 2, cy = (r.t + r.b) / 2;
  if (cy - side >= 0) {
    EXPECT_TRUE(Near(frame, cx, cy - side, kBack[0], kBack[1], kBack[2])) << "above";
  }
  if (cx + side < kW) {
    EXPECT_TRUE(Near(frame, cx + side, cy, kBack[0], kBack[1], kBack[2])) << "right";
  }
}

}  // namespace filterchecks
