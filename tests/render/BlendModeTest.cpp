// Every blend mode, through the compositing step, against the W3C
// compositing and blending formulas written out here in double precision.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>

#include "RenderSupport.h"
#include "effect/DataHandling.h"
#include "render/lineEffect.h"

namespace {

using RGB = std::array<double, 3>;

// Separable blend functions B(Cb, Cs), per channel.
double Multiply(double b, double s) { return b * s; }
double Screen(double b, double s) { return b + s - b * s; }
double HardLight(double b, double s) { return s <= 0.5 ? Multiply(b, 2 * s) : Screen(b, 2 * s - 1); }
double Overlay(double b, double s) { return HardLight(s, b); }
double Darken(double b, double s) { return std::min(b, s); }
double Lighten(double b, double s) { return std::max(b, s); }
double ColorDodge(double b, double s) { return b == 0 ? 0 : s >= 1 ? 1 : std::min(1.0, b / (1 - s)); }
double ColorBurn(double b, double s) { return b >= 1 ? 1 : s <= 0 ? 0 : 1 - std::min(1.0, (1 - b) / s); }
double SoftLight(double b, double s) {
  if (s <= 0.5) return b - (1 - 2 * s) * b * (1 - b);
  const double d = b <= 0.25 ? ((16 * b - 12) * b + 4) * b : std::sqrt(b);
  return b + (2 * s - 1) * (d - b);
}
double Difference(double b, double s) { return std::fabs(b - s); }
double Exclusion(double b, double s) { return b + s - 2 * b * s; }

// Non-separable helpers.
double Lum(RGB c) { return 0.3 * c[0] + 0.59 * c[1] + 0.11 * c[2]; }
RGB ClipColor(RGB c) {
  const double l = Lum(c), n = std::min({c[0], c[1], c[2]}), x = std::max({c[0], c[1], c[2]});
  for (double& v : c) {
    if (n < 0) v = l + (v - l) * l / (l - n);
    if (x > 1) v = l + (v - l) * (1 - l) / (x - l);
  }
  return c;
}
RGB SetLum(RGB c, double l) {
  const double d = l - Lum(c);
  return ClipColor({c[0] + d, c[1] + d, c[2] + d});
}
double Sat(RGB c) { return std::max({c[0], c[1], c[2]}) - std::min({c[0], c[1], c[2]}); }
RGB SetSat(RGB c, double s) {
  int order[3] = {0, 1, 2};
  std::sort(order, order + 3, [&](int i, int j) { return c[i] < c[j]; });
  double &mn = c[order[0]], &mid = c[order[1]], &mx = c[order[2]];
  if (mx > mn) {
    mid = (mid - mn) * s / (mx - mn);
    mx = s;
  } else {
    mid = mx = 0;
  }
  mn = 0;
  return c;
}

using Blend = std::function<RGB(RGB, RGB)>;
Blend Separable(double (*f)(double, double)) {
  return [f](RGB b, RGB s) { return RGB{f(b[0], s[0]), f(b[1], s[1]), f(b[2], s[2])}; };
}

// Indexed by BlendMode - 1, the platform's numbering.
const std::vector<std::pair<const char*, Blend>>& Modes() {
  static const std::vector<std::pair<const char*, Blend>> modes = {
      {"normal", [](RGB, RGB s) { return s; }},
      {"multiply", Separable(Multiply)},
      {"screen", Separable(Screen)},
      {"overlay", Separable(Overlay)},
      {"darken", Separable(Darken)},
      {"lighten", Separable(Lighten)},
      {"colour dodge", Separable(ColorDodge)},
      {"colour burn", Separable(ColorBurn)},
      {"soft light", Separable(SoftLight)},
      {"hard light", Separable(HardLight)},
      {"difference", Separable(Difference)},
      {"exclusion", Separable(Exclusion)},
      {"hue", [](RGB b, RGB s) { return SetLum(SetSat(s, Sat(b)), Lum(b)); }},
      {"saturation", [](RGB b, RGB s) { return SetLum(SetSat(b, Sat(s)), Lum(b)); }},
      {"colour", [](RGB b, RGB s) { return SetLum(s, Lum(b)); }},
      {"luminosity", [](RGB b, RGB s) { return SetLum(b, Lum(s)); }},
  };
  return modes;
}

// Source-over with blending, over an opaque backdrop:
//   Cr = (1 - as) * Cb + as * B(Cb, Cs)
RGB Expected(const Blend& blend, RGB backdrop, RGB source, double alpha) {
  const RGB mixed = blend(backdrop, source);
  RGB r;
  for (int k = 0; k < 3; ++k) r[k] = (1 - alpha) * backdrop[k] + alpha * mixed[k];
  return r;
}

struct Record {
  PluginDataRec r{};
  Record() { ResetConfig(&r, true); }
};

TEST(BlendModes, MatchTheCompositingFormulasAtEveryOpacity) {
  constexpr int kSize = 16, kLeft = 3, kTop = 5;
  // Picture pixels with every kind of alpha: opaque, partly and fully transparent.
  std::mt19937 rng(2024);
  std::vector<Pixel> straight;
  for (int k = 0; k < kSize * kSize; ++k) {
    const UInt8 alphas[] = {255, 255, 255, 200, 128, 40, 0};
    straight.push_back({alphas[rng() % 7], UInt8(rng()), UInt8(rng()), UInt8(rng())});
  }
  CGImageRef picture = PictureFrom(kSize, kSize, straight);
  GWorldPtr source = NewFrame(24, 24), dest = NewFrame(24, 24);
  FillRandom(source, 99);
  const Rect active = {kTop, kLeft, kTop + kSize, kLeft + kSize};

  for (size_t mode = 0; mode < Modes().size(); ++mode) {
    for (SInt16 opacity : {0, 50, 100}) {
      Record config;
      config.r.TheRendered = picture;
      config.r.BlendMode = SInt16(mode + 1);
      config.r.Sliders[2] = opacity;
      TheLineEffect(source, dest, active, true, &config.r, 0, 1);
      int worst = 0;
      for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 24; ++x) {
          const Pixel under = PixelAt(source, x, y), got = PixelAt(dest, x, y);
          const bool inside = x >= kLeft && x < kLeft + kSize && y >= kTop && y < kTop + kSize;
          if (!inside) {
            ASSERT_EQ(got, under) << "outside the rectangle at " << x << "," << y;
            continue;
          }
          // The picture as stored (premultiplied 8-bit), back to straight colour.
          const Pixel p = PicturePixel(picture, x - kLeft, y - kTop);
          const double as = p.a / 255.0 * opacity / 100.0;
          const RGB cs = p.a ? RGB{p.r / double(p.a), p.g / double(p.a), p.b / double(p.a)} : RGB{0, 0, 0};
          const RGB cb = {under.r / 255.0, under.g / 255.0, under.b / 255.0};
          const RGB want = Expected(Modes()[mode].second, cb, cs, as);
          const int got3[3] = {got.r, got.g, got.b};
          for (int k = 0; k < 3; ++k) worst = std::max(worst, std::abs(got3[k] - int(std::lround(want[k] * 255))));
          EXPECT_EQ(got.a, 255);
        }
      }
      EXPECT_LE(worst, 2) << Modes()[mode].first << " at opacity " << opacity;
    }
  }
  CGImageRelease(picture);
  DisposeGWorld(source);
  DisposeGWorld(dest);
}

TEST(BlendModes, MultiplyShowsThePictureOverWhiteAndBlackOverBlack) {
  CGImageRef picture = SolidPicture(8, 8, {255, 200, 100, 50});
  GWorldPtr white = NewFrame(8, 8), black = NewFrame(8, 8), dest = NewFrame(8, 8);
  Fill(white, {255, 255, 255, 255});
  Fill(black, {255, 0, 0, 0});
  Record config;
  config.r.TheRendered = picture;
  config.r.BlendMode = 2;
  config.r.Sliders[2] = 100;
  const Rect all = {0, 0, 8, 8};
  TheLineEffect(white, dest, all, true, &config.r, 0, 1);
  EXPECT_EQ(PixelAt(dest, 4, 4), (Pixel{255, 200, 100, 50}));
  TheLineEffect(black, dest, all, true, &config.r, 0, 1);
  EXPECT_EQ(PixelAt(dest, 4, 4), (Pixel{255, 0, 0, 0}));
  CGImageRelease(picture);
  DisposeGWorld(white);
  DisposeGWorld(black);
  DisposeGWorld(dest);
}

TEST(BlendModes, ANegativeOpacityDrawsOpaque) {
  CGImageRef picture = SolidPicture(8, 8, {255, 10, 20, 30});
  GWorldPtr source = NewFrame(8, 8), dest = NewFrame(8, 8);
  FillRandom(source, 5);
  Record config;
  config.r.TheRendered = picture;
  config.r.Sliders[2] = -20;
  TheLineEffect(source, dest, Rect{0, 0, 8, 8}, true, &config.r, 0, 1);
  EXPECT_EQ(PixelAt(dest, 3, 3), (Pixel{255, 10, 20, 30}));
  CGImageRelease(picture);
  DisposeGWorld(source);
  DisposeGWorld(dest);
}

}  // namespace
