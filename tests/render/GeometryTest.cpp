// Relative rectangles, proportional sizes, buffers, colours and the
// interpolation of the picture's rectangle.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "RenderSupport.h"
#include "cg/PixmanFormat.h"
#include "common/commonprocs.h"
#include "effect/relrects.h"
#include "render/CGglue.h"
#include "render/callpixelfx.h"

namespace {

::testing::AssertionResult SameRect(const Rect& r, int top, int left, int bottom, int right) {
  if (r.top == top && r.left == left && r.bottom == bottom && r.right == right)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "got (" << r.top << ", " << r.left << ", " << r.bottom << ", "
                                       << r.right << ")";
}

TEST(RelativeRectangles, ConvertWithTruncation) {
  const Rect ntsc = {0, 0, 480, 720};
  EXPECT_TRUE(SameRect(Rel2Rect({0, 1, 0, 1}, ntsc), 0, 0, 480, 720));
  EXPECT_TRUE(SameRect(Rel2Rect({0.25, 0.75, 0.25, 0.75}, ntsc), 120, 180, 360, 540));
  // 1/3 of 100 is 33.3: truncated, not rounded; -0.5 pixels become 0.
  EXPECT_EQ(Rel2Rect({1.0 / 3, 2.0 / 3, -0.005, 0.999}, Rect{0, 0, 100, 100}).left, 33);
  EXPECT_EQ(Rel2Rect({1.0 / 3, 2.0 / 3, -0.005, 0.999}, Rect{0, 0, 100, 100}).right, 66);
  EXPECT_EQ(Rel2Rect({1.0 / 3, 2.0 / 3, -0.005, 0.999}, Rect{0, 0, 100, 100}).top, 0);
  EXPECT_EQ(Rel2Rect({1.0 / 3, 2.0 / 3, -0.005, 0.999}, Rect{0, 0, 100, 100}).bottom, 99);
  // A frame away from the origin: scaled, then moved.
  EXPECT_TRUE(SameRect(Rel2Rect({0.5, 1, 0, 0.5}, Rect{10, 20, 110, 220}), 10, 120, 60, 220));
  RelRect back = Rect2Rel(Rect{10, 120, 60, 220}, Rect{10, 20, 110, 220});
  EXPECT_DOUBLE_EQ(back.Left, 0.5);
  EXPECT_DOUBLE_EQ(back.Right, 1.0);
  EXPECT_DOUBLE_EQ(back.Top, 0.0);
  EXPECT_DOUBLE_EQ(back.Bottom, 0.5);
  // The documented round trip: 29/100 x 100 truncates to 28.
  EXPECT_EQ(Rel2Rect(Rect2Rel(Rect{0, 29, 50, 60}, Rect{0, 0, 100, 100}), Rect{0, 0, 100, 100}).left, 28);
}

TEST(RelativeRectangles, HostileFractionsGiveARectangleNotUndefinedBehaviour) {
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  Rect r = Rel2Rect({nan, inf, -inf, 1e300}, Rect{0, 0, 480, 720});
  EXPECT_EQ(r.left, 0);
  (void)r;  // the other edges wrap as 16-bit sums do; only defined behaviour is asked
}

TEST(ProportionalSizes, FollowTheWrittenRules) {
  EXPECT_EQ(KeepPropsWithFixedHorizontal(Rect{0, 0, 100, 200}, Rect{0, 0, 10, 150}).bottom, 75);
  EXPECT_EQ(KeepPropsWithFixedHorizontal(Rect{0, 0, 2, 3}, Rect{0, 0, 1, 10}).bottom, 7);  // 6.67 rounds up
  EXPECT_EQ(KeepPropsWithFixedVertical(Rect{0, 0, 100, 200}, Rect{0, 0, 50, 1}).right, 100);
  EXPECT_TRUE(SameRect(KeepPropsWithFixedHorizontal(Rect{0, 0, 10, 0}, Rect{1, 2, 3, 4}), 1, 2, 3, 4));
  EXPECT_TRUE(SameRect(KeepPropsWithFixedVertical(Rect{0, 0, 0, 10}, Rect{1, 2, 3, 4}), 1, 2, 3, 4));
  // The rectangle grows from its top-left corner.
  EXPECT_TRUE(SameRect(KeepPropsWithFixedHorizontal(Rect{0, 0, 100, 200}, Rect{20, 30, 21, 130}), 20, 30, 70, 130));
  EXPECT_TRUE(SameRect(CalcProportionalRectForFrame(Rect{0, 0, 500, 1000}, Rect{0, 0, 480, 720}), 0, 0, 360, 720));
  EXPECT_TRUE(SameRect(CalcProportionalRectForFrame(Rect{0, 0, 1000, 500}, Rect{0, 0, 480, 720}), 0, 0, 480, 240));
  // A picture less elongated than the frame comes out taller than the frame.
  EXPECT_TRUE(SameRect(CalcProportionalRectForFrame(Rect{0, 0, 900, 1000}, Rect{0, 0, 480, 720}), 0, 0, 648, 720));
  Rect r = {0, 0, 10, 10};
  CenterRectInRect(r, Rect{0, 0, 100, 100});
  EXPECT_TRUE(SameRect(r, 45, 45, 55, 55));
}

TEST(Tweening, InterpolatesBetweenBothEndsInclusive) {
  const RelRect a = {0, 0.5, 0.2, 0.4}, b = {1, 1.5, 0.6, 0.8};
  const RelRect mid = CalcTweenRel(0, 10, 5, a, b);
  EXPECT_DOUBLE_EQ(mid.Left, 0.5);
  EXPECT_DOUBLE_EQ(mid.Right, 1.0);
  EXPECT_DOUBLE_EQ(mid.Top, 0.4);
  EXPECT_DOUBLE_EQ(mid.Bottom, 0.6);
  for (int frame : {-1, 0}) EXPECT_EQ(CalcTweenRel(0, 10, frame, a, b).Left, 0.0);
  for (int frame : {10, 11}) EXPECT_DOUBLE_EQ(CalcTweenRel(0, 10, frame, a, b).Bottom, 0.8);
  // A single-frame effect stands at the start rectangle.
  EXPECT_EQ(CalcTweenRel(0, 0, 0, a, b).Right, 0.5);
  // A host render of 4 frames runs from 0 towards 4: 0, 0.25, 0.5, 0.75.
  for (int k = 0; k < 4; ++k)
    EXPECT_DOUBLE_EQ(CalcTweenRel(0, 4, k, RelRect{0, 1, 0, 1}, RelRect{1, 2, 0, 1}).Left, k / 4.0);
}

TEST(Buffers, AllocateAtTheOriginAndCopyWithScaling) {
  size_t before = LiveGWorlds();
  GWorldPtr gw = AllocateRectGWorld(Rect{10, 20, 110, 220});
  ASSERT_NE(gw, nullptr);
  EXPECT_TRUE(SameRect(GetPortRect(gw), 0, 0, 100, 200));
  // Every row starts on a 64-byte boundary, whatever the width.
  for (GWorldPtr w : {gw, NewFrame(3, 5), NewFrame(17, 2)}) {
    PixMapHandle pm = GetGWorldPixMap(w);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(GetPixBaseAddr(pm)) % 64, 0u);
    EXPECT_EQ(GetPixRowBytes(pm) % 64, 0);
    DisposeGWorld(w);
  }
  EXPECT_EQ(AllocateRectGWorld(Rect{0, 0, 0, 10}), nullptr);
  EXPECT_EQ(AllocateRectGWorld(Rect{0, 0, 32767, 32767}), nullptr);  // more than memory should carry
  LockGWorld(nullptr);
  Source2Target(nullptr, nullptr);
  EXPECT_EQ(LiveGWorlds(), before);

  GWorldPtr narrow = NewFrame(3, 2), wide = NewFrame(6, 2);
  FillRandom(narrow, 3);
  Source2Target(narrow, wide);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(PixelAt(wide, x, y), PixelAt(narrow, x / 2, y)) << x << "," << y;
  DisposeGWorld(narrow);
  DisposeGWorld(wide);
}

TEST(Buffers, PaintIsOpaqueAndPaddedRowsAddressThePixel) {
  std::vector<UInt8> memory(4 * 13 * 7 + 8 * 7, 0xEE);  // rows of 13 pixels, 60 bytes each
  GWorldPtr padded = nullptr;
  Rect bounds = {0, 0, 7, 13};
  ASSERT_EQ(NewGWorldFromPtr(&padded, 32, &bounds, nullptr, nullptr, 0, reinterpret_cast<Ptr>(memory.data()), 60), noErr);
  CGrafPtr savedPort;
  GDHandle savedDevice;
  GetGWorld(&savedPort, &savedDevice);
  SetGWorld(padded, nullptr);
  const RGBColor green = {0, 65535, 0};
  RGBForeColor(&green);
  Rect one = {3, 5, 4, 6};
  PaintRect(&one);
  SetGWorld(savedPort, savedDevice);
  const PixRec* p = reinterpret_cast<const PixRec*>(memory.data() + 3 * 60 + 4 * 5);
  EXPECT_EQ(p->Alpha, 255);
  EXPECT_EQ(p->Red, 0);
  EXPECT_EQ(p->Green, 255);
  EXPECT_EQ(p->Blue, 0);
  EXPECT_EQ(memory[3 * 60 + 4 * 6], 0xEE);  // the next pixel is untouched
  EXPECT_EQ(memory[3 * 60 + 52], 0xEE);     // and so is the row's padding
  DisposeGWorld(padded);
}

TEST(Buffers, OvalsInversionClippingAndWhatWasDrawn) {
  GWorldPtr gw = NewFrame(20, 20), other = NewFrame(20, 20);
  Fill(gw, {255, 10, 20, 30});
  Fill(other, {255, 200, 200, 200});
  CGrafPtr savedPort;
  GDHandle savedDevice;
  GetGWorld(&savedPort, &savedDevice);
  SetGWorld(gw, nullptr);
  Rect dirty;
  QDTakeDirtyRect(gw, &dirty);
  const RGBColor white = {65535, 65535, 65535};
  RGBForeColor(&white);
  PenMode(srcOr);
  const Rect ring = {2, 2, 14, 14};  // a circle of radius 6 about (8, 8)
  FrameOval(&ring);
  EXPECT_EQ(GetPenMode(), srcOr);
  PenNormal();
  EXPECT_EQ(GetPenMode(), srcCopy);
  const Pixel drawn = {255, 255, 255, 255}, under = {255, 10, 20, 30};
  // The outline runs through the middle of each side, not the corners or the centre.
  for (auto [x, y] : std::vector<std::pair<int, int>>{{2, 7}, {2, 8}, {13, 8}, {7, 2}, {8, 13}})
    EXPECT_EQ(PixelAt(gw, x, y), drawn) << x << "," << y;
  for (auto [x, y] : std::vector<std::pair<int, int>>{{2, 2}, {13, 13}, {8, 8}, {5, 8}, {1, 8}})
    EXPECT_EQ(PixelAt(gw, x, y), under) << x << "," << y;
  // Up and down and left and right of the centre alike.
  for (int d = 0; d < 6; ++d) {
    EXPECT_EQ(PixelAt(gw, 2 + d, 8), PixelAt(gw, 13 - d, 8)) << d;
    EXPECT_EQ(PixelAt(gw, 8, 2 + d), PixelAt(gw, 8, 13 - d)) << d;
  }
  // Inverting: colour channels turned over, alpha kept.
  const Rect corner = {15, 15, 17, 17};
  InvertRect(&corner);
  EXPECT_EQ(PixelAt(gw, 16, 16), (Pixel{255, 245, 235, 225}));
  // Clipping holds painting and copies into the port to the rectangle.
  const Rect clip = {0, 0, 20, 10}, all = {0, 0, 20, 20};
  ClipRect(&clip);
  PaintRect(&all);
  CopyBits(GetPortBitMapForCopyBits(other), GetPortBitMapForCopyBits(gw), &all, &all, srcCopy, nullptr);
  EXPECT_EQ(PixelAt(gw, 5, 18), (Pixel{255, 200, 200, 200}));
  EXPECT_EQ(PixelAt(gw, 15, 18), under);
  ClipRect(&all);
  // What was drawn, for the screen to show: everything above, once.
  QDTakeDirtyRect(gw, &dirty);
  EXPECT_EQ(dirty.left, 0);
  EXPECT_EQ(dirty.right, 17);  // the inverted corner, right of the clipped paint
  EXPECT_EQ(dirty.bottom, 20);
  QDTakeDirtyRect(gw, &dirty);
  EXPECT_TRUE(EmptyRect(&dirty));
  SetGWorld(savedPort, savedDevice);
  DisposeGWorld(gw);
  DisposeGWorld(other);
}

TEST(Colours, ConvertBetweenTheirForms) {
  EXPECT_EQ(SetRGBColor(-256, 0, 1).red, 65280);
  const RGBColor c = Longint2RGBColor(0x00FFFFFF);
  EXPECT_EQ(c.red, 65280);
  EXPECT_EQ(c.blue, 65280);
  EXPECT_EQ(RGBColor2Longint({65535, 0, 32768}), 0x00FF0080);
  const PixRec p = Longint2PixRec(0x12345678);
  EXPECT_EQ(p.Alpha, 0);
  EXPECT_EQ(p.Red, 0x34);
  EXPECT_EQ(p.Green, 0x56);
  EXPECT_EQ(p.Blue, 0x78);
  EXPECT_EQ(RGBColor2Longint({65535, 32768, 1}), 0xFF8000);
  EXPECT_EQ(Longint2RGBColor(0xFF8000).green, 32768);
  EXPECT_EQ(RGBColor2Longint(Longint2RGBColor(0x123456)), 0x123456);
}

TEST(DrawingBridge, ConvertsRectanglesToTheBottomLeftOrigin) {
  const CGRect r = QDRectToGCRect(Rect{10, 20, 60, 120}, Rect{0, 0, 480, 720});
  EXPECT_EQ(r.origin.x, 20);
  EXPECT_EQ(r.origin.y, 420);
  EXPECT_EQ(r.size.width, 100);
  EXPECT_EQ(r.size.height, 50);
  const CGRect outside = QDRectToGCRect(Rect{-10, -20, 500, 800}, Rect{0, 0, 480, 720});
  EXPECT_EQ(outside.origin.x, -20);
  EXPECT_EQ(outside.origin.y, -20);
  EXPECT_EQ(outside.size.width, 820);
}

TEST(DrawingBridge, MakesImagesFromBuffersWithoutTheirPadding) {
  std::vector<UInt8> memory(64 * 3, 0);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) memory[size_t(y * 64 + 4 * x)] = UInt8(10 * y + x);  // alpha as a marker
  GWorldPtr gw = nullptr;
  Rect bounds = {0, 0, 3, 5};
  NewGWorldFromPtr(&gw, 32, &bounds, nullptr, nullptr, 0, reinterpret_cast<Ptr>(memory.data()), 64);
  CGImageRef image = GWorld2CGImage(gw);
  memory[0] = 99;  // later drawing does not reach the image
  ASSERT_EQ(CGImageGetWidth(image), 5u);
  ASSERT_EQ(CGImageGetHeight(image), 3u);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(PicturePixel(image, x, y).a, 10 * y + x);
  SInt32 w, h;
  GetImageDims(image, w, h);
  EXPECT_EQ(w, 5);
  EXPECT_EQ(h, 3);
  EXPECT_TRUE(SameRect(CalcProportionalImageForFrame(image, Rect{0, 0, 100, 100}), 0, 0, 60, 100));
  EXPECT_TRUE(SameRect(CalcProportionalImageForFrame(nullptr, Rect{0, 0, 100, 100}), 0, 0, 0, 0));
  CGImageRelease(image);
  DisposeGWorld(gw);
}

TEST(BufferFormat, ReadsAlphaRedGreenBlueBytesOnEitherByteOrder) {
  // Bytes A=0x11, R=0x22, G=0x33, B=0x44 in memory, as each kind of machine
  // reads them into a word; pixman must see the same colour from both.
  for (bool bigEndian : {false, true}) {
    uint32_t word = bigEndian ? 0x11223344u : 0x44332211u;
    uint32_t argb = 0;
    pixman_image_t* in = pixman_image_create_bits(PixmanFormatForARGBBytes(bigEndian), 1, 1, &word, 4);
    pixman_image_t* out = pixman_image_create_bits(PIXMAN_a8r8g8b8, 1, 1, &argb, 4);
    pixman_image_composite32(PIXMAN_OP_SRC, in, nullptr, out, 0, 0, 0, 0, 0, 0, 1, 1);
    pixman_image_unref(in);
    pixman_image_unref(out);
    EXPECT_EQ(argb, 0x11223344u) << (bigEndian ? "big-endian" : "little-endian");
  }
}

}  // namespace
