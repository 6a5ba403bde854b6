#include "render/motion.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "common/commonprocs.h"
#include "effect/relrects.h"
#include "render/CGglue.h"
#include "render/callpixelfx.h"

const char* const cEasingNames[cEasingCount] = {"linear", "ease-in", "ease-out", "ease-in-out"};

SInt16 EasingNumber(const char* name) {
  for (int k = 0; k < cEasingCount; ++k)
    if (name != nullptr && std::strcmp(name, cEasingNames[k]) == 0) return SInt16(k + 1);
  return 0;
}

Float64 EasedFraction(SInt16 easing, Float64 t) {
  t = std::clamp(t, 0.0, 1.0);
  switch (easing) {
    case cEaseIn: return t * t * t;
    case cEaseOut: return 1 - (1 - t) * (1 - t) * (1 - t);
    case cEaseInOut: return t < 0.5 ? 4 * t * t * t : 1 - (2 - 2 * t) * (2 - 2 * t) * (2 - 2 * t) / 2;
    default: return t;
  }
}

namespace {

bool Whole(Float64 v) { return v == std::floor(v) && std::fabs(v) < 2147483647.0; }

Float64 Between(Float64 from, Float64 to, Float64 t) { return from + t * (to - from); }

// The four corners of the place's rectangle on `frame`, in pixels, turned
// about its centre.
void Corners(const PicturePlace& p, const Rect& frame, Float64 x[4], Float64 y[4]) {
  const Float64 w = frame.right - frame.left, h = frame.bottom - frame.top;
  const Float64 left = frame.left + p.rel.Left * w, right = frame.left + p.rel.Right * w;
  const Float64 top = frame.top + p.rel.Top * h, bottom = frame.top + p.rel.Bottom * h;
  const Float64 cx = (left + right) / 2, cy = (top + bottom) / 2, hw = (right - left) / 2, hh = (bottom - top) / 2;
  const Float64 a = p.turns * 2 * M_PI, c = std::cos(a), s = std::sin(a);
  const Float64 dx[4] = {-hw, hw, hw, -hw}, dy[4] = {-hh, -hh, hh, hh};
  for (int k = 0; k < 4; ++k) x[k] = cx + dx[k] * c + dy[k] * s, y[k] = cy - dx[k] * s + dy[k] * c;
}

// One drawing of the picture at `p` into `dest`, whose pixel (0, 0) is the
// frame's pixel `origin`.
void DrawPlace(GWorldPtr dest, const MotionDrawing& m, const PicturePlace& p, const Rect& frame, bool exact,
               Point origin) {
  const Float32 angle = Float32(p.turns * 2.0 * M_PI);
  if (!exact) {
    const Rect r = Rel2Rect(p.rel, frame);
    DrawCGImageInQDRectWithAlpha(dest, m.picture, r, angle, false, m.opacity, m.blendMode);
    return;
  }
  const Float64 w = frame.right - frame.left, h = frame.bottom - frame.top;
  DrawCGImageInFrameRectWithAlpha(dest, m.picture, frame.left + p.rel.Left * w - origin.h,
                                  frame.top + p.rel.Top * h - origin.v, frame.left + p.rel.Right * w - origin.h,
                                  frame.top + p.rel.Bottom * h - origin.v, angle, m.opacity, m.blendMode);
}

// The pixels the drawings at `positions` can touch, on the frame.
Rect CoveredBox(const MotionDrawing& m, const std::vector<Float64>& positions, const Rect& frame) {
  Float64 left = HUGE_VAL, top = HUGE_VAL, right = -HUGE_VAL, bottom = -HUGE_VAL;
  for (Float64 at : positions) {
    Float64 x[4], y[4];
    Corners(PlaceAt(m, at), frame, x, y);
    for (int k = 0; k < 4; ++k)
      left = std::min(left, x[k]), right = std::max(right, x[k]), top = std::min(top, y[k]), bottom = std::max(bottom, y[k]);
  }
  auto clampTo = [](Float64 v, SInt16 low, SInt16 high) {
    return SInt16(std::clamp(v, Float64(low), Float64(high)));
  };
  // A pixel past each side, for the edges' coverage.
  return Rect{clampTo(std::floor(top) - 1, frame.top, frame.bottom), clampTo(std::floor(left) - 1, frame.left, frame.right),
              clampTo(std::ceil(bottom) + 1, frame.top, frame.bottom),
              clampTo(std::ceil(right) + 1, frame.left, frame.right)};
}

// The average of the drawings at `positions`, laid into `dest` within `box`:
// each drawn over a copy of what `dest` holds there, and summed.
bool DrawAveraged(GWorldPtr dest, const MotionDrawing& m, const std::vector<Float64>& positions, const Rect& frame,
                  const Rect& box) {
  const int w = box.right - box.left, h = box.bottom - box.top;
  GWorldPtr scratch = AllocateRectGWorld(box);
  if (scratch == nullptr) return false;
  std::vector<UInt32> sums(size_t(w) * h * 4, 0);
  const Rect all = {0, 0, SInt16(h), SInt16(w)};
  PixMapHandle in = GetGWorldPixMap(scratch), out = GetGWorldPixMap(dest);
  for (Float64 at : positions) {
    CopyBits(GetPortBitMapForCopyBits(dest), GetPortBitMapForCopyBits(scratch), &box, &all, srcCopy, nullptr);
    DrawPlace(scratch, m, PlaceAt(m, at), frame, true, Point{box.top, box.left});
    for (int y = 0; y < h; ++y) {
      const UInt8* row = reinterpret_cast<const UInt8*>(GetPixBaseAddr(in)) + size_t(y) * GetPixRowBytes(in);
      UInt32* sum = &sums[size_t(y) * w * 4];
      for (int k = 0; k < 4 * w; ++k) sum[k] += row[k];
    }
  }
  const UInt32 n = UInt32(positions.size());
  for (int y = 0; y < h; ++y) {
    UInt8* row = reinterpret_cast<UInt8*>(GetPixBaseAddr(out)) + size_t(box.top + y) * GetPixRowBytes(out) + 4 * box.left;
    const UInt32* sum = &sums[size_t(y) * w * 4];
    for (int k = 0; k < 4 * w; ++k) row[k] = UInt8((sum[k] + n / 2) / n);
  }
  DisposeGWorld(scratch);
  return true;
}

}  // namespace

PicturePlace PlaceAt(const MotionDrawing& m, Float64 position) {
  Float64 t;
  if (!(position > 0)) t = 0;  // NaN too
  else if (!(m.span > 0) || position >= m.span) t = 1;
  else t = position / m.span;
  const Float64 eased = EasedFraction(m.easing, t);
  PicturePlace p;
  p.turns = m.turn + m.spin * eased;
  const bool linear = m.easing != cEaseIn && m.easing != cEaseOut && m.easing != cEaseInOut;
  if (linear && Whole(position) && Whole(m.span)) {
    p.rel = CalcTweenRel(0, SInt32(m.span), SInt32(position), m.from, m.to);
  } else {
    p.rel = {Between(m.from.Left, m.to.Left, eased), Between(m.from.Right, m.to.Right, eased),
             Between(m.from.Top, m.to.Top, eased), Between(m.from.Bottom, m.to.Bottom, eased)};
  }
  return p;
}

bool PlainGlide(const PluginDataRec& c) {
  const bool eased = c.Easing == cEaseIn || c.Easing == cEaseOut || c.Easing == cEaseInOut;
  return !c.Smooth && !eased && c.Spin == 0 && c.MotionBlur == 0;
}

MotionDrawing MotionOfConfig(const PluginDataRec& config, SInt32 position, SInt32 span) {
  MotionDrawing m;
  m.picture = config.TheRendered;
  m.from = config.StartRel;
  m.to = config.EndRel;
  m.position = position;
  m.span = span;
  m.frameTime = 1;  // a frame is one position of the effect
  m.turn = double(config.Sliders[3]) / 100.0;
  m.opacity = config.Sliders[2] / 100.0;
  m.blendMode = SInt16(config.BlendMode - 1);
  m.smooth = config.Smooth;
  m.easing = config.Easing;
  m.spin = config.Spin;
  m.shutter = config.MotionBlur;
  return m;
}

int BlurPositions(const MotionDrawing& m, const Rect& frame) {
  const Float64 open = m.shutter * m.frameTime;
  if (!(open > 0)) return 1;
  // The corners' path through the shutter, as three chords: spin bends it.
  Float64 travel = 0, px[4] = {}, py[4] = {};
  for (int k = 0; k <= 3; ++k) {
    Float64 x[4], y[4];
    Corners(PlaceAt(m, m.position + open * (k / 3.0 - 0.5)), frame, x, y);
    if (k > 0) {
      Float64 most = 0;
      for (int c = 0; c < 4; ++c) most = std::max(most, std::hypot(x[c] - px[c], y[c] - py[c]));
      travel += most;
    }
    std::copy(x, x + 4, px);
    std::copy(y, y + 4, py);
  }
  return int(std::clamp(std::ceil(travel - 1e-9), 1.0, 16.0));
}

void DrawPictureInMotion(GWorldPtr dest, const MotionDrawing& m) {
  if (m.picture == nullptr) return;
  const Rect frame = GetPortRect(dest);
  const int n = BlurPositions(m, frame);
  if (n > 1) {
    // Positions spread evenly over the shutter, centred on the frame's time.
    std::vector<Float64> positions;
    for (int k = 0; k < n; ++k) positions.push_back(m.position + m.shutter * m.frameTime * ((k + 0.5) / n - 0.5));
    const Rect box = CoveredBox(m, positions, frame);
    if (box.left >= box.right || box.top >= box.bottom) return;
    if (DrawAveraged(dest, m, positions, frame, box)) return;
    // Without memory for the average, the frame still gets its picture, sharp.
  }
  DrawPlace(dest, m, PlaceAt(m, m.position), frame, m.smooth || n > 1, Point{0, 0});
}
