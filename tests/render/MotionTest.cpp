// The motion beyond the glide, judged by where the pixels land: a flat
// white picture over a black frame, its place read back as the centroid of
// what it covers and checked against the formulas written out here.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "RenderSupport.h"
#include "common/commonprocs.h"
#include "effect/DataHandling.h"
#include "effect/pascalFX.h"
#include "render/motion.h"

namespace {

constexpr int kW = 400, kH = 120;

// What a drawing covers: the sums of each channel's weight (0 to 1) and their
// first and second moments.
struct Coverage {
  double mass = 0, x = 0, y = 0, xx = 0, yy = 0, xy = 0;
  double cx() const { return x / mass; }
  double cy() const { return y / mass; }
};

Coverage Measure(GWorldPtr gw, int channel) {
  Coverage c;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      const Pixel p = PixelAt(gw, x, y);
      const double w = (channel == 1 ? p.r : channel == 2 ? p.g : p.b) / 255.0;
      const double px = x + 0.5, py = y + 0.5;  // a pixel's centre
      c.mass += w, c.x += w * px, c.y += w * py, c.xx += w * px * px, c.yy += w * py * py, c.xy += w * px * py;
    }
  return c;
}

// A record gliding a white picture from `from` to `to` over a black frame.
class Motion : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memset(&rec, 0, sizeof rec);
    ResetConfig(&rec, true);
    rec.Sliders[2] = 100;
    rec.TheRendered = SolidPicture(40, 20, {255, 255, 255, 255});
    source = NewFrame(kW, kH);
    dest = NewFrame(kW, kH);
    Fill(source, {255, 0, 0, 0});
  }
  void TearDown() override {
    CGImageRelease(rec.TheRendered);
    DisposeGWorld(source);
    DisposeGWorld(dest);
  }
  // The picture's rectangle in pixels, left, top, width, height.
  void Glide(double l0, double t0, double l1, double t1, double w, double h) {
    rec.StartRel = {l0 / kW, (l0 + w) / kW, t0 / kH, (t0 + h) / kH};
    rec.EndRel = {l1 / kW, (l1 + w) / kW, t1 / kH, (t1 + h) / kH};
  }
  Coverage Draw(SInt32 frame, SInt32 frames, int channel = 1) {
    DoPascalPixelEffect(source, dest, &rec, frame, frames);
    return Measure(dest, channel);
  }
  PluginDataRec rec;
  GWorldPtr source = nullptr, dest = nullptr;
};

// A picture gliding 32 pixels over 50 frames (two seconds at 25 a second):
// smooth, its centre is where the glide puts it on every frame; not smooth,
// it keeps to the truncated rectangle and steps from pixel to pixel.
TEST_F(Motion, ASmoothGlideLandsOnItsExactPlaceAndAPlainOneStepsByPixels) {
  Glide(20, 30, 52, 40, 60, 30);
  const int frames = 50;
  double worstSmooth = 0, worstStep = 0, farthest = 0;
  for (int k = 0; k <= frames; ++k) {
    const double left = 20 + 32.0 * k / frames, top = 30 + 10.0 * k / frames;
    rec.Smooth = true;
    const Coverage smooth = Draw(k, frames);
    worstSmooth = std::max({worstSmooth, std::fabs(smooth.cx() - (left + 30)), std::fabs(smooth.cy() - (top + 15))});
    rec.Smooth = false;
    const Coverage plain = Draw(k, frames);
    const double stepLeft = std::trunc(left), stepRight = std::trunc(left + 60);
    worstStep = std::max(worstStep, std::fabs(plain.cx() - (stepLeft + stepRight) / 2));
    farthest = std::max(farthest, std::fabs(plain.cx() - (left + 30)));
  }
  EXPECT_LT(worstSmooth, 0.05);
  EXPECT_LT(worstStep, 0.01);
  EXPECT_GT(farthest, 0.5);  // the stepping the smooth glide does away with
}

// Each easing's place at a quarter of the way at a time, by its formula.
TEST_F(Motion, EachEasingPlacesThePictureByItsFormula) {
  Glide(20, 40, 300, 40, 40, 20);
  rec.Smooth = true;
  const std::function<double(double)> formulas[] = {
      [](double t) { return t; },
      [](double t) { return t * t * t; },
      [](double t) { return 1 - std::pow(1 - t, 3); },
      [](double t) { return t < 0.5 ? 4 * t * t * t : 1 - std::pow(2 - 2 * t, 3) / 2; },
  };
  for (SInt16 easing = 1; easing <= 4; ++easing) {
    rec.Easing = easing;
    for (int k : {0, 10, 20, 30, 40}) {
      const double want = 20 + 20 + 280 * formulas[easing - 1](k / 40.0);
      EXPECT_NEAR(Draw(k, 40).cx(), want, 0.5) << cEasingNames[easing - 1] << " at " << k << "/40";
    }
    // Before the start and past the end it holds.
    EXPECT_NEAR(Draw(-5, 40).cx(), 40, 0.5) << cEasingNames[easing - 1];
    EXPECT_NEAR(Draw(45, 40).cx(), 320, 0.5) << cEasingNames[easing - 1];
  }
}

// Half a turn of spin over the effect: an eighth and a quarter turn on the
// way, counterclockwise as the turn is, and half a turn at the end. The
// picture's left half is white, its right half red, so its turn shows
// where the white (green channel) lies from the centre.
TEST_F(Motion, SpinTurnsThePictureCounterclockwiseOverTheEffect) {
  CGImageRelease(rec.TheRendered);
  std::vector<Pixel> halves;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 60; ++x) halves.push_back(x < 30 ? Pixel{255, 255, 255, 255} : Pixel{255, 255, 0, 0});
  rec.TheRendered = PictureFrom(60, 20, halves);
  Glide(170, 30, 170, 30, 60, 20);
  rec.Spin = 0.5;
  struct Case {
    int frame;
    double turns;
  } cases[] = {{0, 0}, {10, 0.125}, {20, 0.25}, {30, 0.375}, {40, 0.5}};
  for (const Case& c : cases) {
    const Coverage all = Draw(c.frame, 40, 1), white = Draw(c.frame, 40, 2);
    // The white half's centre lies 15 pixels from the picture's, to the left
    // before any turn; turned counterclockwise on the screen (y down).
    const double a = c.turns * 2 * M_PI;
    EXPECT_NEAR(white.cx() - all.cx(), -15 * std::cos(a), 0.3) << c.frame;
    EXPECT_NEAR(white.cy() - all.cy(), 15 * std::sin(a), 0.3) << c.frame;
  }
}

// An opaque square moving 20 pixels a frame, through a half shutter: its
// edges ramp over about 10 pixels, monotonically, and none of it is lost.
TEST_F(Motion, MotionBlurSpreadsAFastSquareOverItsShutterAndLosesNothing) {
  CGImageRelease(rec.TheRendered);
  rec.TheRendered = SolidPicture(20, 20, {255, 255, 255, 255});
  Glide(50, 50, 250, 50, 20, 20);  // 200 pixels in 10 frames
  rec.MotionBlur = 0.5;
  DoPascalPixelEffect(source, dest, &rec, 5, 10);
  std::vector<double> row;
  double sum = 0;
  for (int x = 0; x < kW; ++x) row.push_back(PixelAt(dest, x, 60).r / 255.0), sum += row.back();
  EXPECT_NEAR(sum, 20, 0.1);
  int rising = 0, falling = 0;
  for (int x = 1; x < kW; ++x) {
    if (row[x] > 0 && row[x] < 1) (x < 160 ? rising : falling)++;
    if (x <= 160) {
      EXPECT_GE(row[x], row[x - 1] - 1e-9) << x;
    } else {
      EXPECT_LE(row[x], row[x - 1] + 1e-9) << x;
    }
  }
  EXPECT_NEAR(rising, 10, 2);
  EXPECT_NEAR(falling, 10, 2);
  // The middle of its way is still covered through the whole shutter.
  EXPECT_EQ(row[160], 1.0);
  // Rows the square never reaches are the frame's.
  for (int x = 0; x < kW; ++x) ASSERT_EQ(PixelAt(dest, x, 20), (Pixel{255, 0, 0, 0})) << x;
}

// How many drawings the blur makes: one for a still picture or a closed
// shutter, one a pixel of the corners' way, at most 16.
TEST_F(Motion, BlurDrawsOnceForAStillPictureAndAtMostSixteenTimes) {
  const Rect frame = {0, 0, kH, kW};
  struct Case {
    double travel, shutter;  // pixels a frame, of the frame's time
    double spin;
    int positions;
  } cases[] = {{0, 1, 0, 1}, {20, 0, 0, 1}, {20, 0.5, 0, 10}, {6.4, 0.5, 0, 4}, {200, 1, 0, 16},
               // a still square spun half a turn over 10 frames: its corners,
               // sqrt(200) pixels out, travel a twentieth of their circle
               {0, 1, 0.5, int(std::ceil(std::sqrt(200.0) * 2 * M_PI / 20))}};
  for (const Case& c : cases) {
    Glide(50, 50, 50 + 10 * c.travel, 50, 20, 20);
    rec.MotionBlur = c.shutter;
    rec.Spin = c.spin;
    EXPECT_EQ(BlurPositions(MotionOfConfig(rec, 5, 10), frame), c.positions)
        << c.travel << " px, shutter " << c.shutter << ", spin " << c.spin;
  }
}

}  // namespace
