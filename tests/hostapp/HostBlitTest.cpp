// The host's blit, which lays the untouched frame over the effect's during
// fades: every byte (in o + out (255 - o)) / 255, rounded, checked against
// that formula written out here, for frames of the same size, of other sizes
// and for a frame blitted onto itself.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "HostServices.h"
#include "quickdraw/QuickDraw.h"

namespace {

struct Frame {
  GWorldPtr world = nullptr;
  Frame(int width, int height, unsigned seed) {
    const Rect bounds = {0, 0, SInt16(height), SInt16(width)};
    NewGWorld(&world, 32, &bounds, nullptr, nullptr, 0);
    std::mt19937 rng(seed);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < 4 * width; ++x) Row(y)[x] = UInt8(rng());
  }
  ~Frame() { DisposeGWorld(world); }
  UInt8* Row(int y) const {
    PixMapHandle pm = GetGWorldPixMap(world);
    return reinterpret_cast<UInt8*>(GetPixBaseAddr(pm)) + y * GetPixRowBytes(pm);
  }
  std::vector<UInt8> Bytes(int width, int height) const {
    std::vector<UInt8> all;
    for (int y = 0; y < height; ++y) all.insert(all.end(), Row(y), Row(y) + 4 * width);
    return all;
  }
};

int Mixed(int in, int out, int opacity) { return (in * opacity + out * (255 - opacity) + 127) / 255; }

TEST(HostBlit, MixesEveryByteByTheOpacity) {
  struct Case {
    int sourceWidth, sourceHeight, width, height, opacity;
  } cases[] = {{37, 5, 37, 5, 128}, {64, 9, 64, 9, 0}, {64, 9, 64, 9, 255}, {100, 3, 100, 3, 1},
               {20, 6, 40, 12, 77},  // twice the size: each source pixel twice over
               {40, 12, 20, 6, 200}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.sourceWidth << "x" << c.sourceHeight << " onto " << c.width << "x"
                                    << c.height << " at " << c.opacity);
    Frame source(c.sourceWidth, c.sourceHeight, 1), target(c.width, c.height, 2);
    const std::vector<UInt8> before = target.Bytes(c.width, c.height);
    const Rect from = {0, 0, SInt16(c.sourceHeight), SInt16(c.sourceWidth)}, to = {0, 0, SInt16(c.height), SInt16(c.width)};
    ASSERT_EQ(HostProcs()->Blit(GetGWorldPixMap(source.world), GetGWorldPixMap(target.world), &from, &to,
                                SInt16(c.opacity)),
              kPluginOK);
    for (int y = 0; y < c.height; ++y)
      for (int x = 0; x < 4 * c.width; ++x) {
        const int sx = x / 4 * c.sourceWidth / c.width, sy = y * c.sourceHeight / c.height;
        const int want = Mixed(source.Row(sy)[4 * sx + x % 4], before[size_t(y) * 4 * c.width + x], c.opacity);
        ASSERT_EQ(target.Row(y)[x], want) << "byte " << x << " of row " << y;
      }
  }
}

TEST(HostBlit, OntoItselfShiftedReadsTheSourceAsItWas) {
  Frame frame(50, 4, 3);
  const std::vector<UInt8> before = frame.Bytes(50, 4);
  const Rect from = {0, 0, 4, 40}, to = {0, 10, 4, 50};  // ten pixels to the right, overlapping
  ASSERT_EQ(HostProcs()->Blit(GetGWorldPixMap(frame.world), GetGWorldPixMap(frame.world), &from, &to, 100), kPluginOK);
  for (int y = 0; y < 4; ++y)
    for (int x = 40; x < 200; ++x)
      ASSERT_EQ(frame.Row(y)[x], Mixed(before[size_t(y) * 200 + x - 40], before[size_t(y) * 200 + x], 100))
          << "byte " << x << " of row " << y;
}

}  // namespace
