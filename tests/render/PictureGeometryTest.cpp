// Where the picture lands in the frame: stretched, turned, clipped, framed
// by its border; and the same result in frames whose rows are padded.
#include <gtest/gtest.h>

#include <cmath>

#include "RenderSupport.h"
#include "effect/DataHandling.h"
#include "effect/pascalFX.h"
#include "render/lineEffect.h"

namespace {

const Pixel kBlack = {255, 0, 0, 0};

struct Scene {
  PluginDataRec config{};
  GWorldPtr source, dest;
  Scene(int width, int height) : source(NewFrame(width, height)), dest(NewFrame(width, height)) {
    ResetConfig(&config, true);
    config.Sliders[2] = 100;
    Fill(source, kBlack);
  }
  ~Scene() {
    CGImageRelease(config.TheRendered);
    DisposeGWorld(source);
    DisposeGWorld(dest);
  }
  void Draw(const Rect& r) { TheLineEffect(source, dest, r, true, &config, 0, 1); }
  // Pixels where the picture's red outweighs the black frame.
  bool Covered(int x, int y) { return PixelAt(dest, x, y).r >= 128; }
  // Extent of the covered pixels.
  Rect Extent() {
    Rect b;
    GetPortBounds(dest, &b);
    Rect e = {32767, 32767, -32768, -32768};
    for (int y = 0; y < b.bottom; ++y)
      for (int x = 0; x < b.right; ++x)
        if (Covered(x, y)) {
          e.top = SInt16(std::min<int>(e.top, y)), e.bottom = SInt16(std::max<int>(e.bottom, y + 1));
          e.left = SInt16(std::min<int>(e.left, x)), e.right = SInt16(std::max<int>(e.right, x + 1));
        }
    return e;
  }
};

// A picture whose top half is red and bottom half is red with blue, so that
// a turn can be told from its mirror image.
CGImageRef TopMarkedPicture(int width, int height) {
  std::vector<Pixel> px;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) px.push_back(y < height / 2 ? Pixel{255, 255, 0, 0} : Pixel{255, 255, 0, 255});
  return PictureFrom(width, height, px);
}

TEST(PictureGeometry, AnOpaquePictureFillsExactlyItsRectangle) {
  Scene s(320, 240);
  s.config.TheRendered = SolidPicture(50, 30, {255, 255, 0, 0});
  s.Draw(Rect{40, 60, 140, 260});
  const Rect e = s.Extent();
  EXPECT_EQ(e.left, 60);
  EXPECT_EQ(e.right, 260);
  EXPECT_EQ(e.top, 40);
  EXPECT_EQ(e.bottom, 140);
  EXPECT_EQ(PixelAt(s.dest, 60, 40), (Pixel{255, 255, 0, 0}));
  EXPECT_EQ(PixelAt(s.dest, 259, 139), (Pixel{255, 255, 0, 0}));
  EXPECT_EQ(PixelAt(s.dest, 59, 40), kBlack);
}

TEST(PictureGeometry, AQuarterTurnStandsTheRectangleUpCounterclockwise) {
  Scene s(400, 400);
  s.config.TheRendered = TopMarkedPicture(200, 100);
  s.config.Sliders[3] = 25;
  const Rect active = {150, 100, 250, 300};  // 200 wide, 100 high, centre (200, 200)
  s.Draw(active);
  const Rect e = s.Extent();
  EXPECT_NEAR(e.right - e.left, 100, 1);
  EXPECT_NEAR(e.bottom - e.top, 200, 1);
  EXPECT_NEAR(e.top, active.top - 50, 1);
  EXPECT_NEAR(e.bottom, active.bottom + 50, 1);
  // Counterclockwise on screen: the picture's top half now lies on the left.
  EXPECT_EQ(PixelAt(s.dest, 170, 200).b, 0);
  EXPECT_EQ(PixelAt(s.dest, 230, 200).b, 255);

  s.config.Sliders[3] = -25;  // clockwise: the top half on the right
  s.Draw(active);
  EXPECT_EQ(PixelAt(s.dest, 170, 200).b, 255);
  EXPECT_EQ(PixelAt(s.dest, 230, 200).b, 0);
}

TEST(PictureGeometry, AFullTurnLooksLikeNoTurn) {
  Scene turned(300, 200), plain(300, 200);
  turned.config.TheRendered = TopMarkedPicture(40, 30);
  plain.config.TheRendered = TopMarkedPicture(40, 30);
  turned.config.Sliders[3] = 100;
  const Rect active = {50, 50, 150, 250};
  turned.Draw(active);
  plain.Draw(active);
  int differing = 0;
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 300; ++x) {
      Pixel a = PixelAt(turned.dest, x, y), b = PixelAt(plain.dest, x, y);
      differing += std::abs(a.r - b.r) > 2 || std::abs(a.b - b.b) > 2;
    }
  EXPECT_EQ(differing, 0);
}

TEST(PictureGeometry, OnlyThePartInsideTheFrameShowsAndAnEmptyRectangleShowsNothing) {
  Scene s(200, 100);
  s.config.TheRendered = SolidPicture(10, 10, {255, 255, 0, 0});
  s.Draw(Rect{-50, 150, 50, 300});
  const Rect e = s.Extent();
  EXPECT_EQ(e.left, 150);
  EXPECT_EQ(e.right, 200);
  EXPECT_EQ(e.top, 0);
  EXPECT_EQ(e.bottom, 50);
  for (const Rect& empty : {Rect{10, 10, 90, 10}, Rect{10, 10, 10, 90}}) {
    s.Draw(empty);
    EXPECT_GT(s.Extent().left, s.Extent().right) << "something was drawn";
  }
}

TEST(PictureGeometry, WithoutAPictureOrWithNoOpacityTheFrameIsTheSource) {
  Scene s(64, 48);
  FillRandom(s.source, 8);
  s.Draw(Rect{0, 0, 48, 64});
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) ASSERT_EQ(PixelAt(s.dest, x, y), PixelAt(s.source, x, y));
  s.config.TheRendered = SolidPicture(8, 8, {255, 255, 255, 255});
  s.config.Sliders[2] = 0;
  s.Draw(Rect{0, 0, 48, 64});
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) ASSERT_EQ(PixelAt(s.dest, x, y), PixelAt(s.source, x, y));
}

TEST(PictureGeometry, TransparentPictureLeavesTheVideoVisible) {
  Scene s(40, 40);
  FillRandom(s.source, 4);
  std::vector<Pixel> px(16, Pixel{255, 255, 0, 0});
  for (int k : {5, 6, 9, 10}) px[size_t(k)] = {0, 0, 0, 0};  // transparent in the middle 2 x 2
  s.config.TheRendered = PictureFrom(4, 4, px);
  s.Draw(Rect{0, 0, 40, 40});  // each picture pixel covers 10 x 10
  EXPECT_EQ(PixelAt(s.dest, 20, 20), PixelAt(s.source, 20, 20));
  EXPECT_EQ(PixelAt(s.dest, 35, 35), (Pixel{255, 255, 0, 0}));
}

TEST(PictureGeometry, HalfOpacityMixesHalfAndHalf) {
  Scene s(20, 20);
  Fill(s.source, {255, 0, 0, 200});
  s.config.TheRendered = SolidPicture(5, 5, {255, 200, 0, 0});
  s.config.Sliders[2] = 50;
  s.Draw(Rect{0, 0, 20, 20});
  const Pixel p = PixelAt(s.dest, 10, 10);
  EXPECT_NEAR(p.r, 100, 1);
  EXPECT_NEAR(p.b, 100, 1);
}

// Border widths by counting border-coloured pixels of the prepared picture.
struct Border {
  int width, height;
  SInt16 slider;
  int expectedWidth;
};

class BorderWidths : public ::testing::TestWithParam<Border> {};

TEST_P(BorderWidths, AreAQuarterOfTheShorterSideTimesTheSlider) {
  const Border b = GetParam();
  PluginDataRec config{};
  ResetConfig(&config, true);
  config.TheOriginalImage = SolidPicture(b.width, b.height, {255, 0, 0, 255});
  config.Colors[1] = {65535, 32768, 0};
  config.Sliders[1] = b.slider;
  RenderLineArt(&config);
  ASSERT_NE(config.TheRendered, nullptr);
  ASSERT_EQ(CGImageGetWidth(config.TheRendered), size_t(b.width));
  long borderPixels = 0;
  for (int y = 0; y < b.height; ++y)
    for (int x = 0; x < b.width; ++x) {
      const Pixel p = PicturePixel(config.TheRendered, x, y);
      borderPixels += p == Pixel{255, 255, 128, 0};
    }
  const int w = b.expectedWidth;
  const long inner = long(std::max(0, b.width - 2 * w)) * std::max(0, b.height - 2 * w);
  EXPECT_EQ(borderPixels, long(b.width) * b.height - inner);
  if (w > 0 && 2 * w < b.height) {
    EXPECT_EQ(PicturePixel(config.TheRendered, w - 1, b.height / 2), (Pixel{255, 255, 128, 0}));
    EXPECT_EQ(PicturePixel(config.TheRendered, w, b.height / 2), (Pixel{255, 0, 0, 255}));
  }
  CGImageRelease(config.TheOriginalImage);
  CGImageRelease(config.TheRendered);
}

INSTANTIATE_TEST_SUITE_P(Widths, BorderWidths,
                         ::testing::Values(Border{400, 300, 100, 75}, Border{400, 300, 10, 7},
                                           Border{100, 100, 100, 25}, Border{400, 300, 0, 0},
                                           Border{60, 30, 13, 0}, Border{400, 300, -40, 0},
                                           Border{400, 300, 200, 150}, Border{40, 30, 900, 15}));

TEST(FramedPicture, KeepsTransparencyAndIsRebuiltNotDuplicated) {
  PluginDataRec config{};
  ResetConfig(&config, true);
  std::vector<Pixel> px(16, Pixel{255, 9, 9, 9});
  px[0] = {0, 0, 0, 0};
  config.TheOriginalImage = PictureFrom(4, 4, px);
  size_t before = LiveCGImages();
  RenderLineArt(&config);
  RenderLineArt(&config);
  EXPECT_EQ(LiveCGImages(), before + 1);
  EXPECT_EQ(PicturePixel(config.TheRendered, 0, 0).a, 0);
  EXPECT_EQ(PicturePixel(config.TheRendered, 1, 1), (Pixel{255, 9, 9, 9}));
  CGImageRelease(config.TheOriginalImage);
  config.TheOriginalImage = nullptr;
  RenderLineArt(&config);  // no picture: the prepared one goes too
  EXPECT_EQ(config.TheRendered, nullptr);
  EXPECT_EQ(LiveCGImages(), before - 1);
}

TEST(FramedPictureDeathTest, NeedsARecord) {
  EXPECT_EXIT(RenderLineArt(nullptr), ::testing::ExitedWithCode(1), "nil config on RenderLineArt");
}

// The same effect into frames with and without row padding.
TEST(PaddedRows, GiveTheSameFrameAsUnpaddedOnes) {
  const int w = 173, h = 97;
  PluginDataRec config{};
  ResetConfig(&config, true);
  config.TheRendered = TopMarkedPicture(61, 43);
  config.StartRel = {0.1, 0.7, 0.2, 0.9};
  config.EndRel = {0.3, 1.2, -0.1, 0.6};
  config.Sliders[2] = 70;
  config.Sliders[3] = 12;
  for (SInt16 mode : {1, 2, 16}) {
    config.BlendMode = mode;
    std::vector<UInt8> srcMem(size_t(h) * (4 * w + 28)), dstMem(size_t(h) * (4 * w + 28), 0x55);
    GWorldPtr paddedSrc = nullptr, paddedDst = nullptr;
    Rect bounds = {0, 0, h, w};
    NewGWorldFromPtr(&paddedSrc, 32, &bounds, nullptr, nullptr, 0, reinterpret_cast<Ptr>(srcMem.data()), 4 * w + 28);
    NewGWorldFromPtr(&paddedDst, 32, &bounds, nullptr, nullptr, 0, reinterpret_cast<Ptr>(dstMem.data()), 4 * w + 28);
    GWorldPtr plainSrc = NewFrame(w, h), plainDst = NewFrame(w, h);
    FillRandom(paddedSrc, 11);
    FillRandom(plainSrc, 11);
    SInt16 opacity = 0;
    DoEffect(&config, nullptr, paddedSrc, paddedDst, 3, 0, 0, 10, 0.5f, 0.5f, 0.5f, opacity);
    DoEffect(&config, nullptr, plainSrc, plainDst, 3, 0, 0, 10, 0.5f, 0.5f, 0.5f, opacity);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) ASSERT_EQ(PixelAt(paddedDst, x, y), PixelAt(plainDst, x, y)) << x << "," << y;
    for (int y = 0; y < h; ++y)  // the padding is left alone
      ASSERT_EQ(dstMem[size_t(y) * (4 * w + 28) + 4 * w + 27], 0x55);
    DisposeGWorld(paddedSrc);
    DisposeGWorld(paddedDst);
    DisposeGWorld(plainSrc);
    DisposeGWorld(plainDst);
  }
  CGImageRelease(config.TheRendered);
}

}  // namespace
