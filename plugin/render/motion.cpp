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

// The place's rectangle on `frame`, in exact pixels.
struct PixelEdges {
  Float64 left, top, right, bottom;
};
PixelEdges EdgesOf(const RelRect& rel, const Rect& frame) {
  const Float64 w = frame.right - frame.left, h = frame.bottom - frame.top;
  return {frame.left + rel.Left * w, frame.top + rel.Top * h, frame.left + rel.Right * w, frame.top + rel.Bottom * h};
}

// The four corners of the place's rectangle on `frame`, in pixels, turned
// about its centre.
void Corners(const PicturePlace& p, const Rect& frame, Float64 x[4], Float64 y[4]) {
  const auto [left, top, right, bottom] = EdgesOf(p.rel, frame);
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
  const PixelEdges e = EdgesOf(p.rel, frame);
  DrawCGImageInFrameRectWithAlpha(dest, m.picture, e.left - origin.h, e.top - origin.v, e.right - origin.h,
                                  e.bottom - origin.v, angle, m.opacity, m.blendMode);
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

// Row y of a buffer from column `left`, as bytes.
UInt8* RowOf(GWorldPtr gw, int y, int left) {
  PixMapHandle pm = GetGWorldPixMap(gw);
  return reinterpret_cast<UInt8*>(GetPixBaseAddr(pm)) + size_t(y) * size_t(GetPixRowBytes(pm)) + 4 * size_t(left);
}

// The columns the quadrilateral can touch in the band of rows [y, y + 1),
// a pixel to spare either side: [from, to), empty when it misses the band.
void BandColumns(const Float64 x[4], const Float64 y[4], int row, int& from, int& to) {
  Float64 low = HUGE_VAL, high = -HUGE_VAL;
  for (int k = 0; k < 4; ++k) {
    const int j = (k + 1) % 4;
    // The edge from corner k to corner j, cut to the band.
    const Float64 y0 = std::max(std::min(y[k], y[j]), Float64(row)), y1 = std::min(std::max(y[k], y[j]), row + 1.0);
    if (y0 > y1) continue;
    for (Float64 at : {y0, y1}) {
      const Float64 ex = y[j] == y[k] ? x[k] : x[k] + (x[j] - x[k]) * (at - y[k]) / (y[j] - y[k]);
      low = std::min(low, y[j] == y[k] ? std::min(x[k], x[j]) : ex);
      high = std::max(high, y[j] == y[k] ? std::max(x[k], x[j]) : ex);
    }
  }
  from = low > high ? 0 : int(std::floor(low)) - 1;
  to = low > high ? 0 : int(std::ceil(high)) + 1;
}

// Adds a drawing's difference from what lay under it to `sum`, and puts
// back what lay under it, for `count` bytes. The three do not overlap.
void AddAndRestore(SInt16* __restrict sum, UInt8* __restrict drawn, const UInt8* __restrict under, int count) {
  for (int k = 0; k < count; ++k) {
    sum[k] = SInt16(sum[k] + (drawn[k] - under[k]));
    drawn[k] = under[k];
  }
}

// out = (out n + sum + n / 2) / n for `count` bytes: the average of n
// drawings, rounded. The division is a multiplication by 2^20 / n rounded
// up, exact for every value the sum of 16 bytes can take.
void LayAverage(UInt8* __restrict out, const SInt16* __restrict sum, int n, int count) {
  const UInt32 reciprocal = ((1u << 20) + UInt32(n) - 1) / UInt32(n);
  for (int k = 0; k < count; ++k) out[k] = UInt8((UInt32(out[k] * n + sum[k] + n / 2) * reciprocal) >> 20);
}

// The average of the drawings at `positions`, laid into `dest` within `box`.
// Each is drawn over a copy of what `dest` holds there; row by row, only
// the columns it can touch are added up, as their difference from `dest`,
// and put back at once, so each drawing costs about its own area.
bool DrawAveraged(GWorldPtr dest, const MotionDrawing& m, const std::vector<Float64>& positions, const Rect& frame,
                  const Rect& box) {
  const int w = box.right - box.left, h = box.bottom - box.top;
  GWorldPtr scratch = AllocateRectGWorld(box);
  if (scratch == nullptr) return false;
  for (int y = 0; y < h; ++y) std::memcpy(RowOf(scratch, y, 0), RowOf(dest, box.top + y, box.left), size_t(w) * 4);
  // 16 differences of at most 255 either way fit in 16 bits.
  std::vector<SInt16> sums(size_t(w) * h * 4, 0);
  for (Float64 at : positions) {
    const PicturePlace place = PlaceAt(m, at);
    DrawPlace(scratch, m, place, frame, true, Point{box.top, box.left});
    Float64 x[4], y[4];
    Corners(place, frame, x, y);
    for (int row = 0; row < h; ++row) {
      int from, to;
      BandColumns(x, y, box.top + row, from, to);
      from = std::clamp(from - box.left, 0, w), to = std::clamp(to - box.left, from, w);
      AddAndRestore(&sums[size_t(row) * w * 4 + 4 * from], RowOf(scratch, row, from),
                    RowOf(dest, box.top + row, box.left + from), 4 * (to - from));
    }
  }
  const int n = int(positions.size());
  for (int y = 0; y < h; ++y) LayAverage(RowOf(dest, box.top + y, box.left), &sums[size_t(y) * w * 4], n, 4 * w);
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

namespace {

// Where the picture is drawn for the frame: once at its position, or at
// positions spread evenly over the shutter, centred on the frame's time.
std::vector<Float64> DrawnPositions(const MotionDrawing& m, const Rect& frame) {
  const int n = BlurPositions(m, frame);
  if (n <= 1) return {m.position};
  std::vector<Float64> positions;
  for (int k = 0; k < n; ++k) positions.push_back(m.position + m.shutter * m.frameTime * ((k + 0.5) / n - 0.5));
  return positions;
}

}  // namespace

Rect MotionBox(const MotionDrawing& m, const Rect& frame) {
  if (m.picture == nullptr) return Rect{frame.top, frame.left, frame.top, frame.left};
  Rect box = CoveredBox(m, DrawnPositions(m, frame), frame);
  // The truncated rectangle of a drawing that is not smooth lies within a
  // pixel of the exact one.
  box = {SInt16(std::max<int>(box.top - 1, frame.top)), SInt16(std::max<int>(box.left - 1, frame.left)),
         SInt16(std::min<int>(box.bottom + 1, frame.bottom)), SInt16(std::min<int>(box.right + 1, frame.right))};
  if (box.left >= box.right || box.top >= box.bottom) return Rect{frame.top, frame.left, frame.top, frame.left};
  return box;
}

std::vector<RowColumns> MotionRowColumns(const MotionDrawing& m, const Rect& frame, const Rect& box) {
  const int rows = std::max(0, box.bottom - box.top);
  if (m.picture == nullptr || rows == 0) return std::vector<RowColumns>(size_t(rows), RowColumns{box.left, box.left});
  // A drawing on whole pixels has its corners within 1.71 pixels of the
  // exact ones on each axis (its edges and its centre each move less than
  // a pixel), so each row takes the exact drawings' columns over the two
  // rows either side of it, two columns wider on each side.
  constexpr int kSlack = 2;
  const int bands = rows + 2 * kSlack;
  std::vector<int> low(size_t(bands), box.right), high(size_t(bands), box.left);
  for (Float64 at : DrawnPositions(m, frame)) {
    Float64 x[4], y[4];
    Corners(PlaceAt(m, at), frame, x, y);
    for (int b = 0; b < bands; ++b) {
      int from, to;
      BandColumns(x, y, box.top - kSlack + b, from, to);
      if (from >= to) continue;
      low[size_t(b)] = std::min(low[size_t(b)], from);
      high[size_t(b)] = std::max(high[size_t(b)], to);
    }
  }
  std::vector<RowColumns> columns(static_cast<size_t>(rows));
  for (int r = 0; r < rows; ++r) {
    int from = box.right, to = box.left;
    for (int b = r; b <= r + 2 * kSlack; ++b) from = std::min(from, low[size_t(b)]), to = std::max(to, high[size_t(b)]);
    if (from >= to) {
      columns[size_t(r)] = {box.left, box.left};
      continue;
    }
    from = std::clamp(from - kSlack, int(box.left), int(box.right));
    to = std::clamp(to + kSlack, from, int(box.right));
    columns[size_t(r)] = {SInt16(from), SInt16(to)};
  }
  return columns;
}

void DrawPictureInMotion(GWorldPtr dest, const MotionDrawing& m) {
  if (m.picture == nullptr) return;
  const Rect frame = GetPortRect(dest);
  const std::vector<Float64> positions = DrawnPositions(m, frame);
  const int n = int(positions.size());
  if (n > 1) {
    const Rect box = CoveredBox(m, positions, frame);
    if (box.left >= box.right || box.top >= box.bottom) return;
    if (DrawAveraged(dest, m, positions, frame, box)) return;
    // Without memory for the average, the frame still gets its picture, sharp.
  }
  DrawPlace(dest, m, PlaceAt(m, m.position), frame, m.smooth || n > 1, Point{0, 0});
}
