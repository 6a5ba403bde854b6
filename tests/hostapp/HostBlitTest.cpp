// The host's blit, which lays the untouched frame over the effect's during
// fades: every byte (in o + out (255 - o)) / 255, rounded, checked against
// that formula written out here, for frames of the same size, of other sizes
// and for a frame blitted onto itself.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <vector>

#include "HostServices.h"

namespace {

struct Frame {
  HYFrame* frame = nullptr;
  Frame(int width, int height, unsigned seed) : frame(NewHostFrame(SInt16(width), SInt16(height))) {
    std::mt19937 rng(seed);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < 4 * width; ++x) Row(y)[x] = UInt8(rng());
  }
  ~Frame() { DisposeHostFrame(frame); }
  UInt8* Row(int y) const { return reinterpret_cast<UInt8*>(frame->baseAddress) + y * frame->rowBytes; }
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
    ASSERT_EQ(HostProcs()->Blit(source.frame, target.frame, &from, &to, SInt16(c.opacity)), kPluginOK);
    for (int y = 0; y < c.height; ++y)
      for (int x = 0; x < 4 * c.width; ++x) {
        const int sx = x / 4 * c.sourceWidth / c.width, sy = y * c.sourceHeight / c.height;
        const int want = Mixed(source.Row(sy)[4 * sx + x % 4], before[size_t(y) * 4 * c.width + x], c.opacity);
        ASSERT_EQ(target.Row(y)[x], want) << "byte " << x << " of row " << y;
      }
  }
}

TEST(HostBlit, OntoItselfShiftedReadsTheSourceAsItWas) {
  struct Case {
    const char* what;
    int dx, dy;  // where the destination lies from the source
  } cases[] = {{"right", 10, 0}, {"left", -10, 0}, {"down", 0, 3}, {"up", 0, -3}, {"down and left", -7, 2}};
  constexpr int kW = 50, kH = 12;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Frame frame(kW, kH, 3);
    const std::vector<UInt8> before = frame.Bytes(kW, kH);
    // The source leaves room for the shift; the destination is the source moved by it.
    const int left = c.dx < 0 ? -c.dx : 0, top = c.dy < 0 ? -c.dy : 0;
    const Rect from = {SInt16(top), SInt16(left), SInt16(top + kH - std::abs(c.dy)), SInt16(left + kW - std::abs(c.dx))};
    const Rect to = {SInt16(from.top + c.dy), SInt16(from.left + c.dx), SInt16(from.bottom + c.dy), SInt16(from.right + c.dx)};
    ASSERT_EQ(HostProcs()->Blit(frame.frame, frame.frame, &from, &to, 100), kPluginOK);
    for (int y = to.top; y < to.bottom; ++y)
      for (int x = 4 * to.left; x < 4 * to.right; ++x) {
        const size_t here = size_t(y) * 4 * kW + size_t(x), there = size_t(y - c.dy) * 4 * kW + size_t(x - 4 * c.dx);
        ASSERT_EQ(frame.Row(y)[x], Mixed(before[there], before[here], 100)) << "byte " << x << " of row " << y;
      }
  }
}

}  // namespace
