// Our compositor against the pixman path it replaced, on thousands of
// random drawings, once per SIMD target this machine runs; and the same
// drawing, bit for bit, whatever the number of threads.
#include <gtest/gtest.h>

#include <hwy/targets.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "cg/Bands.h"
#include "cg/CGContext.h"
#include "cg/CGImage.h"
#include "cg/CGReference.h"
#include "cg/Compositor.h"

#include "BlendFormulas.h"

namespace {

// One random drawing: a frame, a picture, where it goes and how.
struct Drawing {
  int width, height, rowBytes;
  std::vector<UInt8> frame;  // premultiplied A,R,G,B
  int pictureWidth, pictureHeight;
  std::vector<UInt8> picture;
  CGRect rect;
  double angle, scaleX, scaleY, originX, originY;
  double alpha;
  int mode;  // 0 to 15, or 16 for clearing
};

UInt8 Premultiplied(int c, int a) { return UInt8((c * a + 127) / 255); }

// Pixels opaque, partly and fully transparent, premultiplied.
void RandomPixels(std::mt19937& rng, std::vector<UInt8>& bytes, size_t count, size_t rowBytes, int width) {
  std::uniform_int_distribution<int> byte(0, 255), kind(0, 3);
  for (size_t k = 0; k < count; ++k) {
    UInt8* p = bytes.data() + (k / size_t(width)) * rowBytes + (k % size_t(width)) * 4;
    const int which = kind(rng);
    const int a = which == 0 ? 0 : which == 1 ? byte(rng) : 255;
    p[0] = UInt8(a);
    for (int c = 1; c < 4; ++c) p[c] = Premultiplied(byte(rng), a);
  }
}

Drawing RandomDrawing(std::mt19937& rng) {
  auto uniform = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
  auto integer = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  Drawing d;
  d.width = integer(1, 48);
  d.height = integer(1, 48);
  d.rowBytes = d.width * 4 + (integer(0, 1) ? 4 * integer(1, 5) : 0);
  d.frame.assign(size_t(d.rowBytes) * d.height, 0xEE);
  RandomPixels(rng, d.frame, size_t(d.width) * d.height, size_t(d.rowBytes), d.width);
  d.pictureWidth = integer(0, 3) == 0 ? integer(1, 2) : integer(1, 40);
  d.pictureHeight = integer(0, 3) == 0 ? integer(1, 2) : integer(1, 40);
  d.picture.resize(size_t(d.pictureWidth) * d.pictureHeight * 4);
  RandomPixels(rng, d.picture, size_t(d.pictureWidth) * d.pictureHeight, size_t(d.pictureWidth) * 4,
               d.pictureWidth);
  // Inside, across and outside the frame; from a fraction of a pixel to
  // several times the frame.
  const double w = std::exp(uniform(std::log(0.7), std::log(150.0))), h = std::exp(uniform(std::log(0.7), std::log(150.0)));
  d.rect = CGRectMake(uniform(-w, d.width), uniform(-h, d.height), w, h);
  switch (integer(0, 3)) {
    case 0: d.angle = integer(0, 3) * M_PI / 2; break;  // exact quarter turns
    default: d.angle = uniform(-M_PI, M_PI); break;
  }
  // Most drawings in plain device space; some scaled, turned about a point.
  const bool scaled = integer(0, 2) == 0;
  d.scaleX = scaled ? uniform(0.3, 3) : 1;
  d.scaleY = scaled ? uniform(0.3, 3) : 1;
  d.originX = uniform(0, d.width);
  d.originY = uniform(0, d.height);
  if (integer(0, 7) == 0) {
    // The picture moved by whole pixels, as it is: read without sampling.
    d.rect = CGRectMake(integer(-d.pictureWidth, d.width), integer(-d.pictureHeight, d.height), d.pictureWidth,
                        d.pictureHeight);
    d.angle = 0, d.scaleX = d.scaleY = 1;
  }
  const int alphaKind = integer(0, 5);
  d.alpha = alphaKind == 0 ? 0 : alphaKind == 1 ? 1 : uniform(0, 1);
  d.mode = integer(0, 16);
  return d;
}

// The drawing through one path; the frame it leaves.
std::vector<UInt8> Draw(const Drawing& d, bool pixman) {
  std::vector<UInt8> frame = d.frame;
  CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB();
  CGContextRef c = CGBitmapContextCreate(frame.data(), size_t(d.width), size_t(d.height), 8, size_t(d.rowBytes),
                                         space, kCGImageAlphaPremultipliedFirst);
  CGColorSpaceRelease(space);
  CGContextTranslateCTM(c, d.originX, d.originY);
  CGContextRotateCTM(c, d.angle);
  CGContextScaleCTM(c, d.scaleX, d.scaleY);
  CGContextTranslateCTM(c, -d.originX, -d.originY);
  if (d.mode == 16) {
    (pixman ? CGContextClearRectWithPixman : CGContextClearRect)(c, d.rect);
  } else {
    CGImageRef image = CGImageCreateFromARGB(size_t(d.pictureWidth), size_t(d.pictureHeight), d.picture.data(),
                                             size_t(d.pictureWidth) * 4);
    CGContextSetAlpha(c, d.alpha);
    CGContextSetBlendMode(c, CGBlendMode(d.mode));
    (pixman ? CGContextDrawImageWithPixman : CGContextDrawImage)(c, d.rect, image);
    CGImageRelease(image);
  }
  CGContextRelease(c);
  return frame;
}

struct Point {
  double x, y;
};

// The rectangle's corners in device pixels (y down from the top row), the
// transform written out: translate, turn, scale, translate back.
void DeviceCorners(const Drawing& d, Point out[4]) {
  const CGRect& r = d.rect;
  const Point user[4] = {{r.origin.x, r.origin.y},
                         {r.origin.x + r.size.width, r.origin.y},
                         {r.origin.x + r.size.width, r.origin.y + r.size.height},
                         {r.origin.x, r.origin.y + r.size.height}};
  for (int k = 0; k < 4; ++k) {
    const double sx = (user[k].x - d.originX) * d.scaleX, sy = (user[k].y - d.originY) * d.scaleY;
    const double x = std::cos(d.angle) * sx - std::sin(d.angle) * sy + d.originX;
    const double y = std::sin(d.angle) * sx + std::cos(d.angle) * sy + d.originY;
    out[k] = {x, d.height - y};
  }
}

// Where a pixel square lies against the rectangle: wholly inside, wholly
// outside (beyond one edge), or on an edge.
enum class Place { kInside, kOutside, kEdge };

Place PlaceOf(const Point q[4], int x, int y) {
  double turn = 0;
  for (int k = 0; k < 4; ++k) {
    const Point a = q[k], b = q[(k + 1) % 4];
    turn += a.x * b.y - b.x * a.y;
  }
  const double side = turn > 0 ? 1 : -1;
  bool allInside = true;
  for (int k = 0; k < 4; ++k) {
    const Point a = q[k], b = q[(k + 1) % 4];
    int inside = 0;
    for (int corner = 0; corner < 4; ++corner) {
      const double px = x + (corner & 1), py = y + (corner >> 1);
      if (side * ((b.x - a.x) * (py - a.y) - (b.y - a.y) * (px - a.x)) >= -1e-9) ++inside;
    }
    if (inside == 0) return Place::kOutside;
    if (inside < 4) allInside = false;
  }
  return allInside ? Place::kInside : Place::kEdge;
}

// What the comparisons found, per mode (16: clearing).
struct Tally {
  long insidePixels[17] = {}, edgePixels[17] = {}, edgePixelsApart[17] = {}, pixmanFurther[17] = {};
  double worstFromFormula[17] = {};
  int worstEdge[17] = {};
  std::string firstUnexplained[17];
};

int ChannelsApart(const UInt8* a, const UInt8* b) {
  int most = 0;
  for (int c = 0; c < 4; ++c) most = std::max(most, std::abs(int(a[c]) - int(b[c])));
  return most;
}

// How far a pixel is from the formula's value (0 to 255 a channel).
double FromFormula(const UInt8* p, const blend::Premultiplied& want) {
  const double w[4] = {want.a, want.r, want.g, want.b};
  double most = 0;
  for (int c = 0; c < 4; ++c) most = std::max(most, std::fabs(p[c] - w[c] * 255));
  return most;
}

std::string Describe(const Drawing& d, int x, int y, const UInt8* ours, const UInt8* reference) {
  const UInt8* was = &d.frame[size_t(y) * d.rowBytes + size_t(x) * 4];
  char text[240];
  std::snprintf(text, sizeof text,
                "pixel (%d, %d) of %dx%d, picture %dx%d, alpha %.3f, angle %.4f: was %d,%d,%d,%d, "
                "ours %d,%d,%d,%d, pixman %d,%d,%d,%d",
                x, y, d.width, d.height, d.pictureWidth, d.pictureHeight, d.alpha, d.angle, was[0], was[1], was[2],
                was[3], ours[0], ours[1], ours[2], ours[3], reference[0], reference[1], reference[2], reference[3]);
  return text;
}

// Compares one drawing's two frames pixel by pixel into the tally; false,
// with a message, where the compositor touches what it must not.
//
// Inside the rectangle both read the picture at the same points the same
// way, so each pixel is also checked against the compositing formulas,
// worked out in double precision from pixman's reading of the picture:
// where the two paths are more than 2 apart, pixman must be the one further
// from the formula (its colour dodge, burn, soft light and non-separable
// modes round more coarsely than ours).
bool Compare(const Drawing& d, Tally& tally, std::string& message) {
  const std::vector<UInt8> ours = Draw(d, false), reference = Draw(d, true);
  std::vector<UInt8> sample;  // normal mode at full alpha over nothing
  if (d.mode < 16) {
    Drawing raw = d;
    std::fill(raw.frame.begin(), raw.frame.end(), 0);
    raw.alpha = 1, raw.mode = 0;
    sample = Draw(raw, true);
  }
  Point q[4];
  DeviceCorners(d, q);
  const int m = d.mode;
  for (int y = 0; y < d.height; ++y) {
    for (int x = 0; x < d.width; ++x) {
      const size_t at = size_t(y) * d.rowBytes + size_t(x) * 4;
      const int apart = ChannelsApart(&ours[at], &reference[at]);
      switch (PlaceOf(q, x, y)) {
        case Place::kOutside:
          if (ChannelsApart(&ours[at], &d.frame[at]) != 0)
            return message = "changed outside: " + Describe(d, x, y, &ours[at], &reference[at]), false;
          break;
        case Place::kInside: {
          ++tally.insidePixels[m];
          double ourDistance = 0, theirDistance = 0;
          if (m < 16) {
            const UInt8 *p = &sample[at], *b = &d.frame[at];
            const double a = d.alpha / 255;
            const blend::Premultiplied want = blend::Over(
                blend::Modes()[size_t(m)].second, {p[0] * a, p[1] * a, p[2] * a, p[3] * a},
                {b[0] / 255.0, b[1] / 255.0, b[2] / 255.0, b[3] / 255.0});
            ourDistance = FromFormula(&ours[at], want), theirDistance = FromFormula(&reference[at], want);
          }
          tally.worstFromFormula[m] = std::max(tally.worstFromFormula[m], ourDistance);
          if (apart <= 2) break;
          if (theirDistance > ourDistance)
            ++tally.pixmanFurther[m];
          else if (tally.firstUnexplained[m].empty())
            tally.firstUnexplained[m] = Describe(d, x, y, &ours[at], &reference[at]);
          break;
        }
        case Place::kEdge:
          ++tally.edgePixels[m];
          tally.worstEdge[m] = std::max(tally.worstEdge[m], apart);
          if (apart > 2) ++tally.edgePixelsApart[m];
          break;
      }
    }
  }
  for (int y = 0; y < d.height; ++y)  // the row padding is never written
    for (int b = d.width * 4; b < d.rowBytes; ++b)
      if (ours[size_t(y) * d.rowBytes + b] != d.frame[size_t(y) * d.rowBytes + b])
        return message = "row padding written", false;
  return true;
}

class CompositorTest : public ::testing::Test {
 protected:
  void TearDown() override { hwy::SetSupportedTargetsForTest(0); }
};

TEST_F(CompositorTest, AgreesWithPixmanOnRandomDrawingsOnEveryTarget) {
  constexpr int kDrawings = 3000;
  for (int64_t target : hwy::SupportedAndGeneratedTargets()) {
    SCOPED_TRACE(hwy::TargetName(target));
    hwy::SetSupportedTargetsForTest(target);
    std::mt19937 rng(20261209);
    Tally tally;
    std::string message;
    for (int k = 0; k < kDrawings; ++k) {
      const Drawing d = RandomDrawing(rng);
      ASSERT_TRUE(Compare(d, tally, message)) << "drawing " << k << ", mode " << d.mode << ": " << message;
    }
    for (int m = 0; m <= 16; ++m) {
      SCOPED_TRACE("mode " + std::to_string(m));
      std::printf("%-6s mode %2d: %6ld inside pixels, at most %.2f from the formula, %4ld more than 2 from pixman "
                  "where pixman is further; %5ld edge pixels, %4ld more than 2 apart, at most %d\n",
                  hwy::TargetName(target), m, tally.insidePixels[m], tally.worstFromFormula[m],
                  tally.pixmanFurther[m], tally.edgePixels[m], tally.edgePixelsApart[m], tally.worstEdge[m]);
      EXPECT_GT(tally.insidePixels[m], 4000);
      EXPECT_LE(tally.worstFromFormula[m], 2.0);
      EXPECT_TRUE(tally.firstUnexplained[m].empty()) << tally.firstUnexplained[m];
      // pixman's coverage comes from a grid of 15 x 17 samples a pixel, ours
      // is exact: they differ by a sample row or two (255 / 15 a row), on few
      // pixels.
      EXPECT_LE(tally.worstEdge[m], 24);
      EXPECT_LT(tally.edgePixelsApart[m], tally.edgePixels[m] / 5);
    }
  }
}

TEST_F(CompositorTest, DrawsTheSameWhateverTheNumberOfThreads) {
  std::mt19937 rng(7);
  Drawing d = RandomDrawing(rng);
  d.width = 700, d.height = 400, d.rowBytes = 700 * 4 + 12;
  d.frame.assign(size_t(d.rowBytes) * d.height, 0);
  RandomPixels(rng, d.frame, size_t(d.width) * d.height, size_t(d.rowBytes), d.width);
  d.pictureWidth = 300, d.pictureHeight = 200;
  d.picture.resize(size_t(300) * 200 * 4);
  RandomPixels(rng, d.picture, size_t(300) * 200, 300 * 4, 300);
  d.rect = CGRectMake(40, 30, 600, 330);
  d.angle = 0.5, d.scaleX = d.scaleY = 1, d.originX = 350, d.originY = 200, d.alpha = 0.6;
  const int threads = bands::Threads();
  for (int mode : {0, 1, 8, 15, 16}) {
    d.mode = mode;
    bands::SetThreads(1);
    const std::vector<UInt8> one = Draw(d, false);
    for (int n : {2, 3, 8}) {
      bands::SetThreads(n);
      EXPECT_TRUE(Draw(d, false) == one) << "mode " << mode << ", " << n << " threads";
    }
  }
  bands::SetThreads(threads);
}


// The area of the parallelogram in each pixel square of a row, against the
// parallelogram clipped to each square's four sides in turn: random ones
// turned at any angle, thin, flat, axis-aligned and on whole pixels, across
// every row they reach.
TEST(RowCoverage, IsTheParallelogramsAreaInEachPixel) {
  struct P {
    double x, y;
  };
  auto clip = [](const std::vector<P>& in, double nx, double ny, double limit) {
    // Keeps nx x + ny y <= limit.
    std::vector<P> out;
    for (size_t k = 0; k < in.size(); ++k) {
      const P a = in[k], b = in[(k + 1) % in.size()];
      const double da = limit - nx * a.x - ny * a.y, db = limit - nx * b.x - ny * b.y;
      if (da >= 0) out.push_back(a);
      if ((da >= 0) != (db >= 0)) out.push_back({a.x + (b.x - a.x) * da / (da - db), a.y + (b.y - a.y) * da / (da - db)});
    }
    return out;
  };
  auto area = [](const std::vector<P>& p) {
    double twice = 0;
    for (size_t k = 0; k < p.size(); ++k) twice += p[k].x * p[(k + 1) % p.size()].y - p[(k + 1) % p.size()].x * p[k].y;
    return std::fabs(twice) / 2;
  };
  std::mt19937 rng(2024);
  std::uniform_real_distribution<double> unit(0, 1);
  double worst = 0;
  long pixels = 0, partial = 0;
  for (int n = 0; n < 4000; ++n) {
    const double cx = 20 + 10 * unit(rng), cy = 20 + 10 * unit(rng);
    double w = 0.2 + 20 * unit(rng), h = 0.2 + 20 * unit(rng), angle = 2 * M_PI * unit(rng), shear = 0;
    switch (n % 5) {
      case 0: angle = 0; break;                                  // axis-aligned, anywhere
      case 1: angle = M_PI / 2 * (n % 4), w = std::round(w), h = std::round(h); break;  // on whole pixels
      case 2: angle = 1e-4 * (unit(rng) - 0.5); break;           // nearly axis-aligned
      case 3: w = 0.05 + 0.3 * unit(rng), shear = unit(rng); break;  // thin, slanted sides
      default: break;
    }
    const double c = std::cos(angle), s = std::sin(angle);
    const double local[4][2] = {{0, 0}, {w, 0}, {w + shear * h, h}, {shear * h, h}};
    double corners[8];
    std::vector<P> quad;
    for (int k = 0; k < 4; ++k) {
      const double x = local[k][0] - (w + shear * h) / 2, y = local[k][1] - h / 2;
      corners[2 * k] = (n % 5 == 1 ? std::round(cx) : cx) + c * x - s * y;
      corners[2 * k + 1] = (n % 5 == 1 ? std::round(cy) : cy) + s * x + c * y;
      quad.push_back({corners[2 * k], corners[2 * k + 1]});
    }
    if (n % 2) std::reverse(quad.begin(), quad.end());  // the order around it does not matter
    for (int k = 0; n % 2 && k < 4; ++k) corners[2 * k] = quad[k].x, corners[2 * k + 1] = quad[k].y;
    for (int y = 0; y < 60; ++y) {
      float coverage[60];
      compositor::RowCoverage(corners, y, 0, 60, coverage);
      for (int x = 0; x < 60; ++x) {
        const double exact =
            area(clip(clip(clip(clip(quad, -1, 0, -x), 1, 0, x + 1), 0, -1, -y), 0, 1, y + 1));
        worst = std::max(worst, std::fabs(coverage[x] - exact));
        // Nothing leaks past the sides, nor is lost inside.
        if (exact == 0) {
          ASSERT_LT(coverage[x], 1e-9f) << "a square the parallelogram misses, case " << n;
        }
        if (exact == 1) {
          ASSERT_GT(coverage[x], 1 - 1e-6f) << "a square inside the parallelogram, case " << n;
        }
        pixels += exact > 0, partial += exact > 0 && exact < 1;
      }
    }
  }
  EXPECT_LT(worst, 1e-7);  // the coverage is a float
  EXPECT_GT(partial, pixels / 10);
}

}  // namespace
