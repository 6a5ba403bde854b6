// GIFs come in at their logical screen's size with their transparent colour
// fully transparent: global and local colour tables, interlaced rows, a first
// frame placed inside a larger screen, and animations (the first frame only).
// The files are written here with giflib's encoder; every pixel is checked
// against the colour the test itself gives its index.
#include <gtest/gtest.h>

#include <gif_lib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "../render/RenderSupport.h"
#include "TestSupport.h"
#include "cg/CGImage.h"
#include "corefoundation/CFURL.h"
#include "effect/PluginData.h"
#include "files/EasyFile.h"
#include "imageio/ImageIO.h"
#include "render/lineEffect.h"

namespace {

struct GifFrame {
  int left, top, width, height;
  bool interlaced;
  std::vector<GifColorType> local;  // empty: the global table
  int transparent;                  // -1: none
  int (*index)(int x, int y);       // the colour index of frame pixel (x, y)
};

ColorMapObject* MapOf(const std::vector<GifColorType>& colours) {
  return colours.empty() ? nullptr : GifMakeMapObject(int(colours.size()), colours.data());
}

void WriteGif(const std::string& path, int screenWidth, int screenHeight, const std::vector<GifColorType>& global,
              const std::vector<GifFrame>& frames) {
  int error = 0;
  GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
  ASSERT_NE(gif, nullptr);
  EGifSetGifVersion(gif, true);
  ColorMapObject* globalMap = MapOf(global);
  ASSERT_EQ(EGifPutScreenDesc(gif, screenWidth, screenHeight, 8, 0, globalMap), GIF_OK);
  GifFreeMapObject(globalMap);
  for (const GifFrame& f : frames) {
    if (f.transparent >= 0) {
      GraphicsControlBlock gcb{DISPOSAL_UNSPECIFIED, false, 10, f.transparent};
      GifByteType extension[4];
      const size_t length = EGifGCBToExtension(&gcb, extension);
      ASSERT_EQ(EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(length), extension), GIF_OK);
    }
    ColorMapObject* localMap = MapOf(f.local);
    ASSERT_EQ(EGifPutImageDesc(gif, f.left, f.top, f.width, f.height, f.interlaced, localMap), GIF_OK);
    GifFreeMapObject(localMap);
    // An interlaced image's rows go in its four passes.
    std::vector<int> rows;
    const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < (f.interlaced ? 4 : 1); ++pass)
      for (int y = f.interlaced ? start[pass] : 0; y < f.height; y += f.interlaced ? step[pass] : 1) rows.push_back(y);
    std::vector<GifPixelType> line(size_t(f.width));
    for (int y : rows) {
      for (int x = 0; x < f.width; ++x) line[size_t(x)] = GifPixelType(f.index(x, y));
      ASSERT_EQ(EGifPutLine(gif, line.data(), f.width), GIF_OK);
    }
  }
  ASSERT_EQ(EGifCloseFile(gif, &error), GIF_OK);
}

CGImageRef ImportPath(const std::string& path, size_t* count = nullptr) {
  CFURLRef url = CFURLCreateWithFileSystemPath(kCFAllocatorDefault, path);
  CGImageSourceRef source = CGImageSourceCreateWithURL(url, nullptr);
  if (count) *count = CGImageSourceGetCount(source);
  CFRelease(source);
  CGImageRef image = GetCGImageFromURLUsingCG(url);
  CFRelease(url);
  return image;
}

const std::vector<GifColorType> kWarm = {{200, 30, 10}, {250, 200, 0}, {10, 20, 30}, {255, 255, 255}};
const std::vector<GifColorType> kCool = {{0, 90, 200}, {0, 200, 120}, {60, 0, 160}, {1, 2, 3}};
int Diagonal(int x, int y) { return (x + 2 * y) % 4; }
int Stripes(int x, int) { return x % 2 == 0 ? 3 : 2; }

TEST(GifImport, TransparentIndicesAreTransparentAndEveryOtherPixelKeepsItsColour) {
  struct Case {
    const char* what;
    int screenWidth, screenHeight;
    std::vector<GifColorType> global;
    std::vector<GifFrame> frames;
  };
  const Case cases[] = {
      // 14 x 11 with the centre pixel (7, 5) of the transparent index 1.
      {"global table", 14, 11, kWarm, {{0, 0, 14, 11, false, {}, 1, Diagonal}}},
      {"local table, interlaced, the corner transparent", 14, 11, kWarm, {{0, 0, 14, 11, true, kCool, 0, Diagonal}}},
      {"interlaced rows past the first pass", 9, 23, kCool, {{0, 0, 9, 23, true, {}, 3, Diagonal}}},
      {"a first frame inside a larger screen", 20, 16, kWarm, {{5, 4, 8, 6, false, {}, 3, Diagonal}}},
      {"no transparent colour", 6, 5, kWarm, {{0, 0, 6, 5, false, {}, -1, Diagonal}}},
      {"an animation", 12, 10, kWarm,
       {{0, 0, 12, 10, false, {}, 2, Diagonal}, {2, 2, 6, 6, false, kCool, -1, Stripes}}},
  };
  TempDir dir;
  for (const Case& c : cases) {
    const std::string path = dir / "picture.gif";
    WriteGif(path, c.screenWidth, c.screenHeight, c.global, c.frames);
    size_t count = 0;
    CGImageRef image = ImportPath(path, &count);
    ASSERT_NE(image, nullptr) << c.what;
    EXPECT_EQ(count, c.frames.size()) << c.what;
    ASSERT_EQ(CGImageGetWidth(image), size_t(c.screenWidth)) << c.what;
    ASSERT_EQ(CGImageGetHeight(image), size_t(c.screenHeight)) << c.what;
    const GifFrame& f = c.frames[0];
    const std::vector<GifColorType>& table = f.local.empty() ? c.global : f.local;
    int transparentSeen = 0;
    for (int y = 0; y < c.screenHeight; ++y)
      for (int x = 0; x < c.screenWidth; ++x) {
        const bool inFrame = x >= f.left && x < f.left + f.width && y >= f.top && y < f.top + f.height;
        const int i = inFrame ? f.index(x - f.left, y - f.top) : -1;
        Pixel want = {0, 0, 0, 0};
        if (inFrame && i != f.transparent) want = {255, table[size_t(i)].Red, table[size_t(i)].Green, table[size_t(i)].Blue};
        transparentSeen += want.a == 0;
        ASSERT_EQ(PicturePixel(image, x, y), want) << c.what << " at " << x << "," << y;
      }
    EXPECT_EQ(transparentSeen > 0, f.transparent >= 0 || f.width < c.screenWidth) << c.what;
    CGImageRelease(image);
  }
}

TEST(GifImport, TheScreenLimitHoldsAndBrokenFilesGiveNoPicture) {
  TempDir dir;
  // A first frame whose data ends early.
  WriteGif(dir / "whole.gif", 40, 30, kWarm, {{0, 0, 40, 30, false, {}, -1, Diagonal}});
  std::vector<UInt8> bytes = ReadFileBytes(dir / "whole.gif");
  bytes.resize(bytes.size() / 2);
  WriteFileBytes(dir / "cut.gif", bytes);
  EXPECT_EQ(ImportPath(dir / "cut.gif"), nullptr);
  // A screen past the side limit, and past the pixel budget.
  WriteGif(dir / "wide.gif", 40000, 2, kWarm, {{0, 0, 4, 2, false, {}, -1, Diagonal}});
  EXPECT_EQ(ImportPath(dir / "wide.gif"), nullptr);
  WriteGif(dir / "many.gif", 9000, 9000, kWarm, {{0, 0, 4, 2, false, {}, -1, Diagonal}});
  EXPECT_EQ(ImportPath(dir / "many.gif"), nullptr);
  // The same with a version that is none of GIF's: still refused before its
  // 9000 x 9000 screen (324 MB) is allocated, in a child whose peak is measured.
  bytes = ReadFileBytes(dir / "many.gif");
  bytes[3] = 0xDD, bytes[4] = 'M', bytes[5] = 'M';
  WriteFileBytes(dir / "odd.gif", bytes);
  const pid_t child = fork();
  if (child == 0) {
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    const bool refused = ImportPath(dir / "odd.gif") == nullptr;
    getrusage(RUSAGE_SELF, &after);
    _exit(refused && after.ru_maxrss - before.ru_maxrss < 100 * 1024 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  // No colour table at all: the global one taken out of a file (its flag in
  // byte 10, its 4 x 3 bytes after the 13 of the header).
  WriteGif(dir / "coloured.gif", 4, 4, kWarm, {{0, 0, 4, 4, false, {}, -1, Diagonal}});
  bytes = ReadFileBytes(dir / "coloured.gif");
  ASSERT_EQ(bytes[10] & 0x87, 0x81);
  bytes[10] &= 0x7F;
  bytes.erase(bytes.begin() + 13, bytes.begin() + 13 + 12);
  WriteFileBytes(dir / "colourless.gif", bytes);
  EXPECT_EQ(ImportPath(dir / "colourless.gif"), nullptr);
}

TEST(GifImport, ATransparentLogoLeavesTheVideoVisible) {
  TempDir dir;
  // A 4 x 4 logo: a ring of white around a transparent middle.
  WriteGif(dir / "logo.gif", 4, 4, kWarm,
           {{0, 0, 4, 4, false, {}, 0, [](int x, int y) { return x == 0 || y == 0 || x == 3 || y == 3 ? 3 : 0; }}});
  PluginDataRec config{};
  config.TheOriginalImage = ImportPath(dir / "logo.gif");
  ASSERT_NE(config.TheOriginalImage, nullptr);
  config.Sliders[2] = 100;
  config.BlendMode = 1;
  RenderLineArt(&config);
  GWorldPtr video = NewFrame(40, 40), out = NewFrame(40, 40);
  Fill(video, {255, 0, 0, 200});
  TheLineEffect(video, out, Rect{0, 0, 40, 40}, true, &config, 0, 1);
  EXPECT_EQ(PixelAt(out, 20, 20), (Pixel{255, 0, 0, 200}));     // the video through the middle
  EXPECT_EQ(PixelAt(out, 2, 20), (Pixel{255, 255, 255, 255}));  // the ring
  DisposeGWorld(video);
  DisposeGWorld(out);
  CGImageRelease(config.TheRendered);
  CGImageRelease(config.TheOriginalImage);
}

}  // namespace
