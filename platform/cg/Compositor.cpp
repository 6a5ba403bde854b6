#include "cg/Compositor.h"

#include "cg/Bands.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace compositor {
namespace {

// ---- Where the mapped rectangle lies on each row ----

struct Point {
  double x, y;
};

// Where the horizontal line at `y` meets the quadrilateral: [left, right],
// when it does.
struct LineRange {
  bool meets;
  double left, right;
};

LineRange RangeAt(const Point q[4], double y) {
  double left = HUGE_VAL, right = -HUGE_VAL;
  for (int k = 0; k < 4; ++k) {
    const Point a = q[k], b = q[(k + 1) % 4];
    if ((a.y - y) * (b.y - y) > 0) continue;  // both on one side
    if (a.y == b.y) {
      if (a.y != y) continue;
      left = std::min({left, a.x, b.x}), right = std::max({right, a.x, b.x});
      continue;
    }
    const double x = a.x + (b.x - a.x) * (y - a.y) / (b.y - a.y);
    left = std::min(left, x), right = std::max(right, x);
  }
  return {left <= right, left, right};
}

// Clips a convex polygon to the half-plane where inside(p) >= 0.
template <typename Inside>
int Clip(const Point* in, int n, Point* out, Inside inside) {
  int m = 0;
  if (n == 0) return 0;
  Point a = in[n - 1];
  double da = inside(a);
  for (int k = 0; k < n; ++k) {
    const Point b = in[k];
    const double db = inside(b);
    if ((da >= 0) != (db >= 0)) {
      const double t = da / (da - db);
      out[m++] = {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t};
    }
    if (db >= 0) out[m++] = b;
    a = b, da = db;
  }
  return m;
}

// The pixels of the span whose points lie inside the picture's outermost
// pixel centres: the points lie on a line, so the part is one run, found
// from the line's two coordinates and checked at its ends.
void InsidePart(Span& s) {
  const std::int64_t low = std::int64_t(kBias) << 16, right = std::int64_t(kBias + s.pictureWidth - 1) << 16,
                     bottom = std::int64_t(kBias + s.pictureHeight - 1) << 16;
  auto u = [&](int k) { return std::int64_t(s.u0) + std::int64_t(k) * s.du; };
  auto v = [&](int k) { return std::int64_t(s.v0) + std::int64_t(k) * s.dv; };
  auto inside = [&](int k) { return u(k) >= low && u(k) < right && v(k) >= low && v(k) < bottom; };
  // Where each coordinate enters and leaves its range, estimated.
  double from = 0, to = s.count;
  auto narrow = [&](double at0, double step, double lo, double hi) {
    if (step == 0) {
      if (at0 < lo || at0 >= hi) to = from;
      return;
    }
    double a = (lo - at0) / step, b = (hi - at0) / step;
    if (a > b) std::swap(a, b);
    from = std::max(from, std::ceil(a)), to = std::min(to, std::floor(b) + 1);
  };
  narrow(double(s.u0), double(s.du), double(low), double(right));
  narrow(double(s.v0), double(s.dv), double(low), double(bottom));
  int first = int(std::clamp(from, 0.0, double(s.count))), last = int(std::clamp(to, double(first), double(s.count)));
  // Rounding may leave a pixel too many at either end.
  while (first < last && !inside(first)) ++first;
  while (last > first && !inside(last - 1)) --last;
  s.insideFrom = first, s.insideTo = last;
}

// An edge of the quadrilateral as a linear function of the point, positive
// on the inside: f(x, y) = c + a x + b y.
struct EdgeLine {
  double a, b, c;
};

// The square [x, x + 1] x [y, y + 1]'s part inside one edge whose line
// crosses it, f00 being f at (x, y). Along the axis f changes faster on (x
// when |a| >= |b|) the inside is a run of length L(t) = clamp(p + q t, 0, 1)
// at each t along the other axis, |q| <= 1; the part is its integral over
// t: 0 or 1 up to where the line meets the square's sides, a trapezoid
// between.
double PartInside(const EdgeLine& e, double f00) {
  const bool alongX = std::fabs(e.a) >= std::fabs(e.b);
  const double across = alongX ? e.a : e.b, along = alongX ? e.b : e.a;
  const double p = (across > 0 ? 1.0 : 0.0) + f00 / std::fabs(across), q = along / std::fabs(across);
  if (q == 0) return std::clamp(p, 0.0, 1.0);
  const double t0 = std::clamp(-p / q, 0.0, 1.0), t1 = std::clamp((1 - p) / q, 0.0, 1.0);
  const double from = std::min(t0, t1), to = std::max(t0, t1);
  const double ramp = (to - from) * std::clamp(p + q * (from + to) / 2, 0.0, 1.0);
  // Past the ramp the run is whole where it rises (q > 0), before it where it falls.
  return ramp + (q > 0 ? 1 - to : from);
}

// The quadrilateral's four edges, and each f's least and greatest rise over
// a pixel square from its corner (x, y).
struct Edges {
  EdgeLine line[4];
  double lowest[4], highest[4];
};

Edges EdgesOf(const double corners[8]) {
  double area2 = 0;
  for (int k = 0; k < 4; ++k) {
    const int j = (k + 1) % 4;
    area2 += corners[2 * k] * corners[2 * j + 1] - corners[2 * j] * corners[2 * k + 1];
  }
  const double turn = area2 >= 0 ? 1 : -1;  // counterclockwise (y down) or not
  Edges e;
  for (int k = 0; k < 4; ++k) {
    const int j = (k + 1) % 4;
    const double x0 = corners[2 * k], y0 = corners[2 * k + 1], dx = corners[2 * j] - x0, dy = corners[2 * j + 1] - y0;
    e.line[k] = {-dy * turn, dx * turn, (dy * x0 - dx * y0) * turn};
    e.lowest[k] = std::min(e.line[k].a, 0.0) + std::min(e.line[k].b, 0.0);
    e.highest[k] = std::max(e.line[k].a, 0.0) + std::max(e.line[k].b, 0.0);
  }
  return e;
}

// Most pixels a slanted edge crosses are crossed by that edge alone: their
// coverage is the square's part inside it, in closed form. A square the
// quadrilateral's corner or two edges reach is cut from the quadrilateral
// clipped to the row: its area left of the square's right side less its
// area left of the left side.
void CoverageOfRow(const double corners[8], const Edges& e, int y, int from, int to, float* coverage) {
  double f[4];
  for (int k = 0; k < 4; ++k) f[k] = e.line[k].c + e.line[k].a * from + e.line[k].b * y;
  Point cut[8];
  int n = -1;  // the quadrilateral clipped to the row, when a square needs it
  auto areaLeftOf = [&](double x) {
    Point c[8];
    const int m = Clip(cut, n, c, [&](Point p) { return x - p.x; });
    double area = 0;
    for (int k = 0, j = m - 1; k < m; j = k++) area += c[j].x * c[k].y - c[k].x * c[j].y;
    return std::fabs(area) / 2;
  };
  for (int x = from; x < to; ++x) {
    int crossing = 0, crossings = 0;
    bool outside = false;
    for (int k = 0; k < 4; ++k) {
      outside = outside || f[k] + e.highest[k] <= 0;
      if (f[k] + e.lowest[k] < 0) crossing = k, ++crossings;
    }
    double part = 1;
    if (outside) part = 0;
    else if (crossings == 1) part = PartInside(e.line[crossing], f[crossing]);
    else if (crossings > 1) {
      if (n < 0) {
        Point a[8];
        for (int k = 0; k < 4; ++k) a[k] = {corners[2 * k], corners[2 * k + 1]};
        n = Clip(a, 4, cut, [&](Point p) { return p.y - y; });
        n = Clip(cut, n, a, [&](Point p) { return y + 1 - p.y; });
        std::copy(a, a + n, cut);
      }
      part = areaLeftOf(x + 1) - areaLeftOf(x);
    }
    coverage[x - from] = float(std::clamp(part, 0.0, 1.0));
    for (int k = 0; k < 4; ++k) f[k] += e.line[k].a;
  }
}

}  // namespace

void RowCoverage(const double corners[8], int y, int from, int to, float* coverage) {
  CoverageOfRow(corners, EdgesOf(corners), y, from, to, coverage);
}

namespace {

// A drawing worked out once for all its rows: the request, the inverse map in
// the spans' fixed point, the picture's corners on the frame and the rows
// they reach.
struct Drawing {
  const Request* r;
  double pw, ph;             // the picture's size (1 x 1 for a clear)
  std::int64_t iu[3], iv[3];  // the device pixel back to the picture, 16.16
  Point q[4];
  double corners[8];
  Edges edges;
  int y0, y1;                // the rows the drawing reaches, [y0, y1)
  double tx, ty;             // the whole-pixel move of a direct drawing
  Span base;                 // what every span of the drawing shares
  std::vector<UInt32> doubled;
};

bool PrepareDrawing(const Request& r, Drawing& d) {
  const double* m = r.map;
  const double det = m[0] * m[4] - m[1] * m[3];
  if (!(std::fabs(det) > 1e-12) || r.width <= 0 || r.height <= 0) return false;
  if (r.mode != kClear && (r.picture == nullptr || r.pictureWidth <= 0 || r.pictureHeight <= 0)) return false;
  d.r = &r;
  d.pw = r.mode == kClear ? 1 : r.pictureWidth, d.ph = r.mode == kClear ? 1 : r.pictureHeight;
  // The device pixel back to the picture: the inverse map, in 16.16 fixed
  // point, worked out and rounded as pixman does so that both read the
  // picture at the same points.
  const double inverse = 1 / det;
  auto fixed = [](double v) { return std::int64_t(std::floor(v * 65536.0 + 0.5)); };
  const std::int64_t iu[3] = {fixed(inverse * m[4]), fixed(inverse * -m[1]), fixed(inverse * (m[5] * m[1] - m[4] * m[2]))};
  const std::int64_t iv[3] = {fixed(inverse * -m[3]), fixed(inverse * m[0]), fixed(inverse * -(m[5] * m[0] - m[3] * m[2]))};
  std::copy(iu, iu + 3, d.iu);
  std::copy(iv, iv + 3, d.iv);
  const double image[4][2] = {{0, 0}, {d.pw, 0}, {d.pw, d.ph}, {0, d.ph}};
  double top = HUGE_VAL, bottom = -HUGE_VAL;
  for (int k = 0; k < 4; ++k) {
    d.q[k] = {m[0] * image[k][0] + m[1] * image[k][1] + m[2], m[3] * image[k][0] + m[4] * image[k][1] + m[5]};
    d.corners[2 * k] = d.q[k].x, d.corners[2 * k + 1] = d.q[k].y;
    top = std::min(top, d.q[k].y), bottom = std::max(bottom, d.q[k].y);
  }
  d.edges = EdgesOf(d.corners);
  d.y0 = std::max(0, int(std::floor(top))), d.y1 = std::min(r.height, int(std::ceil(bottom)));
  // A whole-pixel move of the picture reads its pixels as they are.
  d.tx = std::round(m[2]), d.ty = std::round(m[5]);
  const bool direct = r.mode != kClear && m[0] == 1 && m[4] == 1 && m[1] == 0 && m[3] == 0 &&
                      std::fabs(m[2] - d.tx) < 1e-9 && std::fabs(m[5] - d.ty) < 1e-9;
  Span& base = d.base;
  base = Span{};
  base.picture = r.picture;
  base.pictureWidth = r.pictureWidth;
  base.pictureHeight = r.pictureHeight;
  base.du = SInt32(iu[0]);
  base.dv = SInt32(iv[0]);
  base.direct = direct;
  base.alpha = r.alpha;
  // Rounded as the kernels round a covered pixel's weight (to even), so
  // that a pixel of whole coverage gets the same weight either way.
  const UInt32 weight = UInt32(std::nearbyint(std::clamp(r.alpha, 0.0f, 1.0f) * 32767.0f));
  base.weight = weight | weight << 16;
  base.mode = r.mode;
  // Pixels are read in side-by-side pairs: a picture one pixel wide is read
  // from a copy with each pixel doubled.
  if (r.mode != kClear && r.pictureWidth == 1) {
    d.doubled.resize(size_t(r.pictureHeight) * 2);
    for (size_t k = 0; k < d.doubled.size(); ++k) d.doubled[k] = r.picture[k / 2];
    base.picture = d.doubled.data();
    base.pictureWidth = 2;
  }
  return true;
}

// Where the pixel (x, y) reads the picture, in the span's fixed point: its
// centre mapped back, less half a pixel (the distance from the first pixel's
// centre); false when that lies so far outside the picture that it would not
// fit, as only a picture shrunk ten thousand times over can make it, and the
// point is clamped.
bool PointOf(const Drawing& d, int x, int y, UInt32& u, UInt32& v) {
  auto at = [&](const std::int64_t* row, std::int64_t limit) {
    const std::int64_t p = row[0] * x + row[1] * y + row[2] + (((row[0] + row[1]) * 0x8000 + 0x8000) >> 16) - 0x8000 +
                           (std::int64_t(kBias) << 16);
    return std::clamp<std::int64_t>(p, 0, limit);
  };
  const std::int64_t uLimit = std::int64_t(2 * kBias + d.pw) << 16, vLimit = std::int64_t(2 * kBias + d.ph) << 16;
  const std::int64_t pu = at(d.iu, uLimit), pv = at(d.iv, vLimit);
  u = UInt32(pu), v = UInt32(pv);
  return pu > 0 && pv > 0 && pu < uLimit && pv < vLimit;
}

// The pixels row y's quadrilateral touches, [outer0, outer1), and among them
// those whose whole square lies inside, [inner0, inner1), which need no
// coverage at all.
struct RowSpan {
  int outer0 = 0, inner0 = 0, inner1 = 0, outer1 = 0;
};

// Row y's pixels, as one span: the edge pixels at either end take their
// coverage, and the ones between are wholly covered.
void DrawSpan(const Drawing& d, int y, const RowSpan& rs, std::vector<float>& coverage) {
  const int from = rs.outer0, to = rs.outer1;
  if (from >= to) return;
  const Request& r = *d.r;
  Span s = d.base;
  s.dest = r.pixels + size_t(y) * r.rowBytes + size_t(from) * 4;
  s.count = to - from;
  s.column0 = from - int(d.tx);
  s.row = std::clamp(y - int(d.ty), 0, std::max(0, r.pictureHeight - 1));
  if (rs.inner0 > from || rs.inner1 < to) {
    if (coverage.size() < size_t(s.count)) coverage.resize(size_t(s.count));
    CoverageOfRow(d.corners, d.edges, y, from, rs.inner0, coverage.data());
    CoverageOfRow(d.corners, d.edges, y, rs.inner1, to, coverage.data() + (rs.inner1 - from));
    s.coverage = coverage.data();
    s.wholeFrom = rs.inner0 - from, s.wholeTo = rs.inner1 - from;
  }
  UInt32 u1, v1;
  if (PointOf(d, from, y, s.u0, s.v0) && PointOf(d, to - 1, y, u1, v1)) {
    InsidePart(s);
    return CompositeSpan(s);
  }
  // Each pixel on its own, its point clamped.
  Span one = s;
  one.count = 1;
  one.wholeFrom = one.wholeTo = 0;
  for (int k = 0; k < s.count; ++k) {
    one.dest = s.dest + size_t(k) * 4;
    one.column0 = s.column0 + k;
    one.coverage = s.coverage && (k < s.wholeFrom || k >= s.wholeTo) ? s.coverage + k : nullptr;
    PointOf(d, from + k, y, one.u0, one.v0);
    CompositeSpan(one);
  }
}

// Rows a few apart read nearly the same memory: one row in kPrefetchEvery
// asks for what the row kPrefetchAhead below it reads, time enough for
// memory to answer.
constexpr int kPrefetchEvery = 8, kPrefetchAhead = 16;

// Asks for the picture's memory that row y will read, ahead of it. A turned
// picture's samples climb through its rows, meeting each row for a few
// pixels only: the processor does not foresee those reads, and once a large
// frame's copy has pushed the picture out of the cache each of them waits on
// memory. One request per picture row crossed (the row below a sample,
// which it also blends, is the next one crossed); a row that crosses fewer
// than one picture row in 16 pixels reads in order, which the processor
// foresees.
void PrefetchRowReads(const Drawing& d, int y, int from, int to) {
  if (d.r->mode == kClear || d.base.direct || from >= to) return;
  UInt32 u0, v0, u1, v1;
  if (!PointOf(d, from, y, u0, v0) || !PointOf(d, to - 1, y, u1, v1)) return;
  const std::int64_t du = std::int64_t(u1) - u0, dv = std::int64_t(v1) - v0;
  const std::int64_t crossed = std::min<std::int64_t>(std::llabs(dv) >> 16, to - from);
  if (crossed * 16 < to - from) return;
  const UInt32* picture = d.base.picture;
  const int w = d.base.pictureWidth, h = d.base.pictureHeight;
  const std::int64_t stepU = du / crossed, stepV = dv / crossed;
  std::int64_t u = u0, v = v0;
  for (std::int64_t k = 0; k <= crossed; ++k, u += stepU, v += stepV) {
    const int column = std::clamp(int(u >> 16) - kBias, 0, w - 1), row = std::clamp(int(v >> 16) - kBias, 0, h - 1);
    __builtin_prefetch(picture + size_t(row) * w + column);
  }
  // A routine that only prefetches looks free of effects to the compiler,
  // which would then drop its calls; this empty statement keeps them.
  asm volatile("");
}

// Row y's span, from where the lines y (`top`) and y + 1 (`bottom`) meet the
// quadrilateral and its corners between them.
RowSpan RowSpanOf(const Drawing& d, int y, const LineRange& top, const LineRange& bottom) {
  RowSpan rs;
  double outerL = HUGE_VAL, outerR = -HUGE_VAL;
  for (int k = 0; k < 4; ++k)
    if (d.q[k].y >= y && d.q[k].y <= y + 1) outerL = std::min(outerL, d.q[k].x), outerR = std::max(outerR, d.q[k].x);
  for (const LineRange* line : {&top, &bottom})
    if (line->meets) outerL = std::min(outerL, line->left), outerR = std::max(outerR, line->right);
  if (!(outerL <= outerR)) return rs;
  rs.outer0 = std::max(0, int(std::floor(outerL)));
  rs.outer1 = std::max(rs.outer0, std::min(d.r->width, int(std::ceil(outerR))));
  rs.inner0 = rs.inner1 = rs.outer1;
  if (top.meets && bottom.meets) {
    rs.inner0 = std::clamp(int(std::ceil(std::max(top.left, bottom.left) - 1e-9)), rs.outer0, rs.outer1);
    rs.inner1 = std::clamp(int(std::floor(std::min(top.right, bottom.right) + 1e-9)), rs.inner0, rs.outer1);
  }
  return rs;
}

}  // namespace

bool Composite(const Request& r) {
  Drawing d;
  if (!PrepareDrawing(r, d)) return false;
  if (d.y0 >= d.y1) return true;
  // Bands of rows, a few per thread, so that uneven rows even out; small
  // drawings stay on the calling thread.
  const int rows = d.y1 - d.y0;
  const int threads = (long(rows) * r.width < 65536) ? 1 : bands::Threads();
  const int bandCount = std::min(rows, threads == 1 ? 1 : threads * 4);
  bands::Run(bandCount, [&](int b) {
    std::vector<float> coverage;
    const int from = d.y0 + int(long(rows) * b / bandCount), to = d.y0 + int(long(rows) * (b + 1) / bandCount);
    // Each row's bottom line is the next one's top.
    LineRange top = RangeAt(d.q, from);
    for (int y = from; y < to; ++y) {
      const LineRange bottom = RangeAt(d.q, y + 1);
      const RowSpan rs = RowSpanOf(d, y, top, bottom);
      if ((y - from) % kPrefetchEvery == 0) {
        // The band's first rows too, before they are drawn.
        if (y == from)
          for (int ahead = 0; ahead < kPrefetchAhead; ahead += kPrefetchEvery)
            PrefetchRowReads(d, y + ahead, rs.outer0, rs.outer1);
        PrefetchRowReads(d, y + kPrefetchAhead, rs.outer0, rs.outer1);
      }
      DrawSpan(d, y, rs, coverage);
      top = bottom;
    }
  });
  return true;
}

}  // namespace compositor
