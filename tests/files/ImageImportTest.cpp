// Image files of every common kind become pictures at their own size with
// their own transparency; anything else becomes no picture, without a crash.
// The files are made here, with OpenImageIO where it writes the format.
#include <gtest/gtest.h>

#include <cctype>

#include <OpenImageIO/imageio.h>

#include <cstring>
#include <fstream>

#include "../render/RenderSupport.h"
#include "TestSupport.h"
#include "common/commonprocs.h"
#include "files/EasyFile.h"
#include "imageio/ImageIO.h"
#include "text/PascalString.h"

namespace {

// Writes subimages of w x h, `channels` channels of `type`; pixel (x, y) of
// subimage s takes values from `value(s, x, y, channel)` in 0..1.
template <typename F>
void WriteImage(const std::string& path, int w, int h, int channels, OIIO::TypeDesc type, int subimages, F value,
                bool straightAlpha = true) {
  auto out = OIIO::ImageOutput::create(path);
  ASSERT_TRUE(out) << OIIO::geterror();
  std::vector<OIIO::ImageSpec> specs;
  for (int s = 0; s < subimages; ++s) {
    OIIO::ImageSpec spec(w, h, channels, type);
    if (straightAlpha) spec.attribute("oiio:UnassociatedAlpha", 1);
    specs.push_back(spec);
  }
  ASSERT_TRUE(out->open(path, subimages, specs.data())) << out->geterror();
  for (int s = 0; s < subimages; ++s) {
    if (s > 0) {
      ASSERT_TRUE(out->open(path, specs[size_t(s)], OIIO::ImageOutput::AppendSubimage)) << out->geterror();
    }
    std::vector<float> px(size_t(w) * h * channels);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        for (int c = 0; c < channels; ++c) px[(size_t(y) * w + x) * channels + c] = value(s, x, y, c);
    ASSERT_TRUE(out->write_image(OIIO::TypeDesc::FLOAT, px.data())) << out->geterror();
  }
  out->close();
}

CGImageRef Import(const std::string& path) {
  FSSpec spec;
  std::string folder = path.substr(0, path.find_last_of('/'));
  std::string leaf = path.substr(folder.size() + 1);
  FSMakeFSSpec(kOnSystemDisk, DirIDForPath(folder), PStr(leaf.c_str()), &spec);
  return GetCGImageFromFSSUsingCG(spec);
}

// Quadrants: red, green, blue, white; with alpha, the right half is half transparent.
float Quadrants(int, int x, int y, int c, int w, int h) {
  const int q = (y >= h / 2) * 2 + (x >= w / 2);
  static const float colours[4][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 1}};
  if (c == 3) return x >= w / 2 ? 0.5f : 1.0f;
  return colours[q][c];
}

TEST(ImageImport, PngKeepsItsSizeAndItsTransparencyPremultiplied) {
  TempDir dir;
  WriteImage(dir / "alpha.png", 40, 30, 4, OIIO::TypeDesc::UINT8, 1,
             [](int s, int x, int y, int c) { return Quadrants(s, x, y, c, 40, 30); });
  CGImageRef image = Import(dir / "alpha.png");
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(CGImageGetWidth(image), 40u);
  EXPECT_EQ(CGImageGetHeight(image), 30u);
  EXPECT_EQ(PicturePixel(image, 5, 5), (Pixel{255, 255, 0, 0}));
  const Pixel halfGreen = PicturePixel(image, 35, 5);
  EXPECT_NEAR(halfGreen.a, 128, 1);
  EXPECT_NEAR(halfGreen.g, 128, 1);  // premultiplied once, not twice
  EXPECT_EQ(halfGreen.r, 0);
  EXPECT_EQ(PicturePixel(image, 5, 25), (Pixel{255, 0, 0, 255}));
  CGImageRelease(image);
}

// Every 8-bit colour under every alpha: c x a / 255, rounded to the nearest,
// whether the library or the import premultiplies (PNG; TIFF with straight alpha).
TEST(ImageImport, EveryColourIsPremultipliedByItsAlphaRounded) {
  auto premultiplied = [](int c, int a) { return (c * a + 127) / 255; };
  for (const char* name : {"all.png", "all.tif"}) {
    SCOPED_TRACE(name);
    TempDir dir;
    WriteImage(dir / name, 256, 256, 4, OIIO::TypeDesc::UINT8, 1, [](int, int x, int y, int c) {
      return c == 3 ? y / 255.0f : c == 1 ? (255 - x) / 255.0f : x / 255.0f;
    });
    CGImageRef image = Import(dir / name);
    ASSERT_NE(image, nullptr);
    int wrong = 0;
    for (int a = 0; a < 256; ++a)
      for (int c = 0; c < 256; ++c) {
        const Pixel p = PicturePixel(image, c, a);
        const bool right = p.a == a && p.r == premultiplied(c, a) && p.g == premultiplied(255 - c, a) &&
                           p.b == premultiplied(c, a);
        if (!right && ++wrong <= 5)
          ADD_FAILURE() << "colour " << c << " at alpha " << a << ": red " << int(p.r) << ", green " << int(p.g)
                        << ", alpha " << int(p.a) << "; want " << premultiplied(c, a) << ", "
                        << premultiplied(255 - c, a) << ", " << a;
      }
    EXPECT_EQ(wrong, 0);
    CGImageRelease(image);
  }
}

TEST(ImageImport, CommonFormatsComeInAtTheirOwnSize) {
  TempDir dir;
  auto quadrants = [](int s, int x, int y, int c) { return Quadrants(s, x, y, c, 64, 48); };
  for (const char* name : {"photo.jpg", "picture.bmp", "picture.webp", "picture.tga", "picture.exr"}) {
    WriteImage(dir / name, 64, 48, 3, OIIO::TypeDesc::UINT8, 1, quadrants);
    CGImageRef image = Import(dir / name);
    ASSERT_NE(image, nullptr) << name;
    EXPECT_EQ(CGImageGetWidth(image), 64u) << name;
    EXPECT_EQ(CGImageGetHeight(image), 48u) << name;
    const Pixel red = PicturePixel(image, 8, 8), blue = PicturePixel(image, 8, 40);
    EXPECT_EQ(red.a, 255) << name;
    EXPECT_GT(red.r, 240) << name;
    EXPECT_LT(red.g, 16) << name;
    EXPECT_GT(blue.b, 240) << name;
    CGImageRelease(image);
  }
}

TEST(ImageImport, MultiPageAndAnimatedFilesGiveTheirFirstImage) {
  TempDir dir;
  // Page 0 is red, page 1 is blue.
  auto pages = [](int s, int, int, int c) { return float(c == (s == 0 ? 0 : 2)); };
  for (const char* name : {"pages.tif", "animation.gif"}) {
    WriteImage(dir / name, 16, 12, 3, OIIO::TypeDesc::UINT8, 2, pages);
    FSSpec spec;
    FSMakeFSSpec(kOnSystemDisk, DirIDForPath(dir.path()), PStr(name), &spec);
    FSRef ref = FSSpec2FSRef(spec);
    CFURLRef url = CFURLCreateFromFSRef(kCFAllocatorDefault, &ref);
    CGImageSourceRef source = CGImageSourceCreateWithURL(url, nullptr);
    ASSERT_NE(source, nullptr) << name;
    EXPECT_EQ(CGImageSourceGetCount(source), 2u) << name;
    CFRelease(source);
    CFRelease(url);
    CGImageRef image = Import(dir / name);
    ASSERT_NE(image, nullptr) << name;
    EXPECT_GT(PicturePixel(image, 3, 3).r, 240) << name;
    EXPECT_LT(PicturePixel(image, 3, 3).b, 16) << name;
    CGImageRelease(image);
  }
}

TEST(ImageImport, GreyDeepAndFloatFilesBecomeEightBitColourWithAlpha) {
  TempDir dir;
  struct Case {
    const char* name;
    int channels;
    OIIO::TypeDesc type;
  };
  const Case cases[] = {{"grey.png", 1, OIIO::TypeDesc::UINT8},
                        {"grey-alpha.png", 2, OIIO::TypeDesc::UINT8},
                        {"deep.png", 4, OIIO::TypeDesc::UINT16},
                        {"float.tif", 4, OIIO::TypeDesc::FLOAT},
                        {"half.exr", 4, OIIO::TypeDesc::HALF}};
  for (const Case& k : cases) {
    // Level 0.6; alpha (last channel when there is one beyond the colour) 0.5.
    const int channels = k.channels;
    WriteImage(dir / k.name, 8, 8, channels, k.type, 1,
               [channels](int, int, int, int c) { return (channels == 2 || channels == 4) && c == channels - 1 ? 0.5f : 0.6f; },
               std::string(k.name).find(".exr") == std::string::npos);
    CGImageRef image = Import(dir / k.name);
    ASSERT_NE(image, nullptr) << k.name;
    const Pixel p = PicturePixel(image, 4, 4);
    const bool hasAlpha = channels == 2 || channels == 4;
    if (std::string(k.name).find(".exr") != std::string::npos) {
      // OpenEXR holds premultiplied colour: 0.6 stays 0.6 under alpha 0.5.
      EXPECT_NEAR(p.a, 128, 1) << k.name;
      EXPECT_NEAR(p.r, 128, 1) << k.name;  // clamped to the alpha
      CGImageRelease(image);
      continue;
    }
    EXPECT_NEAR(p.a, hasAlpha ? 128 : 255, 1) << k.name;
    const int level = hasAlpha ? 77 : 153;  // 0.6 x 255, premultiplied by 0.5 where there is alpha
    EXPECT_NEAR(p.r, level, 1) << k.name;
    EXPECT_NEAR(p.g, level, 1) << k.name;
    EXPECT_NEAR(p.b, level, 1) << k.name;
    CGImageRelease(image);
  }
}

// A Photoshop file laid out by hand: one 3-channel 8-bit layer-less image.
void WritePsd(const std::string& path, int w, int h, UInt8 r, UInt8 g, UInt8 b) {
  std::vector<UInt8> f;
  auto u16 = [&](unsigned v) { f.push_back(UInt8(v >> 8)), f.push_back(UInt8(v)); };
  auto u32 = [&](unsigned v) { u16(v >> 16), u16(v & 0xFFFF); };
  f.insert(f.end(), {'8', 'B', 'P', 'S'});
  u16(1);                                    // version
  for (int k = 0; k < 6; ++k) f.push_back(0);  // reserved
  u16(3), u32(unsigned(h)), u32(unsigned(w)), u16(8), u16(3);  // channels, size, depth, RGB
  u32(0), u32(0), u32(0);                      // colour mode data, resources, layers
  u16(0);                                      // raw image data, planar
  for (UInt8 v : {r, g, b})
    for (int k = 0; k < w * h; ++k) f.push_back(v);
  WriteFileBytes(path, f);
}

TEST(ImageImport, PhotoshopFilesAreRead) {
  TempDir dir;
  WritePsd(dir / "layered.psd", 20, 10, 10, 200, 30);
  CGImageRef image = Import(dir / "layered.psd");
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(CGImageGetWidth(image), 20u);
  EXPECT_EQ(PicturePixel(image, 10, 5), (Pixel{255, 10, 200, 30}));
  CGImageRelease(image);
}

// Sets a TIFF's photometric interpretation to white-is-zero in place: its
// first directory's tag 262, a short held in the entry itself (little-endian).
void MakeWhiteIsZero(const std::string& path) {
  std::vector<UInt8> f = ReadFileBytes(path);
  auto u16 = [&](size_t at) { return unsigned(f[at] | f[at + 1] << 8); };
  const size_t ifd = u16(4) | size_t(u16(6)) << 16;
  for (unsigned k = 0; k < u16(ifd); ++k) {
    const size_t entry = ifd + 2 + 12 * size_t(k);
    if (u16(entry) != 262) continue;
    f[entry + 8] = f[entry + 9] = 0;
    return WriteFileBytes(path, f);
  }
  ADD_FAILURE() << "no photometric tag in " << path;
}

// A scanned TIFF may store white as zero. Every level comes in turned back,
// whatever the number of channels, in files of many compressed strips or tiles.
TEST(ImageImport, WhiteIsZeroTiffsComeInWithTheirLevelsTurnedBack) {
  TempDir dir;
  struct Case {
    int channels;
    bool tiled;
  };
  for (const Case k : {Case{1, false}, Case{4, false}, Case{16, false}, Case{16, true}}) {
    const int channels = k.channels;
    const std::string path = dir / ("white-is-zero-" + std::to_string(channels) + (k.tiled ? "-tiled" : "") + ".tif");
    const int side = 256;
    auto out = OIIO::ImageOutput::create(path);
    ASSERT_TRUE(out);
    OIIO::ImageSpec spec(side, side, channels, OIIO::TypeDesc::UINT8);
    spec.attribute("compression", "zip");
    spec.attribute("tiff:RowsPerStrip", 16);
    if (k.tiled) spec.tile_width = spec.tile_height = 64;
    spec.attribute("oiio:UnassociatedAlpha", 1);
    // Stored levels: the colour channels follow x and y, alpha is stored 0.
    std::vector<UInt8> px(size_t(side) * side * channels);
    for (int y = 0; y < side; ++y)
      for (int x = 0; x < side; ++x)
        for (int c = 0; c < channels; ++c)
          px[(size_t(y) * side + x) * channels + c] = c == 3 ? 0 : UInt8(c == 1 ? y : x);
    ASSERT_TRUE(out->open(path, spec) && out->write_image(OIIO::TypeDesc::UINT8, px.data())) << out->geterror();
    out->close();
    MakeWhiteIsZero(path);

    CGImageRef image = Import(path);
    ASSERT_NE(image, nullptr) << path << ": " << PictureImportFailure();
    for (int y : {0, 17, 255})
      for (int x : {0, 100, 254}) {
        const UInt8 r = UInt8(255 - x), g = channels == 1 ? r : UInt8(255 - y);
        const UInt8 b = channels == 1 ? r : UInt8(255 - x);
        EXPECT_EQ(PicturePixel(image, x, y), (Pixel{255, r, g, b})) << path << " at " << x << ", " << y;
      }
    CGImageRelease(image);
  }
}

unsigned Crc32(const UInt8* p, size_t n) {
  unsigned c = 0xFFFFFFFF;
  for (size_t i = 0; i < n; ++i) {
    c ^= p[i];
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320 & (0 - (c & 1)));
  }
  return ~c;
}

// A PNG signature and a valid header claiming the given size, then nothing.
std::vector<UInt8> PngHeaderOnly(unsigned w, unsigned h) {
  std::vector<UInt8> f = {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  for (unsigned v : {w, h})
    for (int s = 24; s >= 0; s -= 8) f.push_back(UInt8(v >> s));
  f.insert(f.end(), {8, 6, 0, 0, 0});
  unsigned crc = Crc32(f.data() + 12, 17);
  for (int s = 24; s >= 0; s -= 8) f.push_back(UInt8(crc >> s));
  return f;
}

TEST(ImageImport, AnythingElseGivesNoPictureWithoutACrash) {
  TempDir dir;
  const size_t imagesBefore = LiveCGImages(), objectsBefore = LiveCFObjects();
  std::ofstream(dir / "notes.txt") << "This is a shopping list, not a picture.\n";
  WriteFileBytes(dir / "empty.png", {});
  WriteImage(dir / "whole.png", 64, 64, 4, OIIO::TypeDesc::UINT8, 1,
             [](int, int x, int y, int c) { return float((x * 7 + y * 13 + c) % 5) / 4; });
  std::vector<UInt8> whole = ReadFileBytes(dir / "whole.png");
  WriteFileBytes(dir / "truncated.png", std::vector<UInt8>(whole.begin(), whole.begin() + long(whole.size() / 2)));
  WriteFileBytes(dir / "wide.png", PngHeaderOnly(40000, 10));
  WriteFileBytes(dir / "huge.png", PngHeaderOnly(20000, 20000));
  // A 19-byte GIF whose logical screen claims 65313 x 65357 pixels.
  WriteFileBytes(dir / "screen.gif", {'G', 'I', 'F', '8', '9', 'a', 0x21, 0xFF, 0x4D, 0xFF, 0x54, 0x4E, 0x01,
                                      0x0B, 0x53, 0x43, 0x41, 0x50, 0xD8});
  // Each says why, in a few words on one line.
  const std::pair<const char*, const char*> files[] = {
      {"notes.txt", ""},   {"empty.png", ""}, {"truncated.png", "read error"}, {"wide.png", "read error"},
      {"huge.png", "read error"}, {"screen.gif", "holds no picture"},
      {"missing.png", ""}};
  for (auto [name, says] : files) {
    EXPECT_EQ(Import(dir / name), nullptr) << name;
    const std::string why = ImageImportFailure();
    std::string lower = why;
    for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_FALSE(why.empty()) << name;
    EXPECT_NE(lower.find(says), std::string::npos) << name << ": " << why;
    EXPECT_EQ(why.find('\n'), std::string::npos) << name << ": " << why;
  }
  CGImageRef readable = Import(dir / "whole.png");
  ASSERT_NE(readable, nullptr);
  EXPECT_EQ(ImageImportFailure(), "");
  CGImageRelease(readable);
  EXPECT_EQ(GetCGImageFromURLUsingCG(nullptr), nullptr);
  EXPECT_EQ(LiveCGImages(), imagesBefore);
  EXPECT_EQ(LiveCFObjects(), objectsBefore);
}

// OpenImageIO's "null" reader makes a blank picture of whatever size its
// name asks for, so the limits are seen at work without writing a huge file.
TEST(ImageImport, PicturesBeyondTheLimitsAreRefusedBeforeTheirPixelsExist) {
  TempDir dir;
  std::ofstream(dir / "small.null?RES=300x200") << "";
  std::ofstream(dir / "wide.null?RES=40000x10") << "";
  std::ofstream(dir / "many.null?RES=9000x9000") << "";
  CGImageRef small = Import(dir / "small.null?RES=300x200");
  ASSERT_NE(small, nullptr) << "the null reader is not available";
  EXPECT_EQ(CGImageGetWidth(small), 300u);
  CGImageRelease(small);
  EXPECT_EQ(Import(dir / "wide.null?RES=40000x10"), nullptr);
  EXPECT_EQ(Import(dir / "many.null?RES=9000x9000"), nullptr);
}

}  // namespace
