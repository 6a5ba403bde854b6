// Every blend mode, through the compositing step, against the W3C
// compositing and blending formulas written out here in double precision.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>

#include "BlendFormulas.h"
#include "RenderSupport.h"
#include "effect/DataHandling.h"
#include "render/lineEffect.h"

namespace {

using blend::Blend;
using blend::Modes;
using blend::RGB;

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
