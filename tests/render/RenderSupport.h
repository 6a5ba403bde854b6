// Frames and pictures for the rendering tests, and pixel access by (x, y).
#pragma once

#include <cstring>
#include <random>
#include <vector>

#include "HostPluginSDK.h"
#include "cg/CGImage.h"
#include "quickdraw/QuickDraw.h"

struct Pixel {
  UInt8 a, r, g, b;
  bool operator==(const Pixel& o) const { return a == o.a && r == o.r && g == o.g && b == o.b; }
};

inline Pixel PixelAt(GWorldPtr gw, int x, int y) {
  PixMapHandle pm = GetGWorldPixMap(gw);
  const UInt8* p = reinterpret_cast<const UInt8*>(GetPixBaseAddr(pm)) + y * GetPixRowBytes(pm) + 4 * x;
  return {p[0], p[1], p[2], p[3]};
}

inline void SetPixel(GWorldPtr gw, int x, int y, Pixel v) {
  PixMapHandle pm = GetGWorldPixMap(gw);
  UInt8* p = reinterpret_cast<UInt8*>(GetPixBaseAddr(pm)) + y * GetPixRowBytes(pm) + 4 * x;
  p[0] = v.a, p[1] = v.r, p[2] = v.g, p[3] = v.b;
}

inline GWorldPtr NewFrame(int width, int height) {
  GWorldPtr gw = nullptr;
  Rect bounds = {0, 0, SInt16(height), SInt16(width)};
  NewGWorld(&gw, 32, &bounds, nullptr, nullptr, 0);
  return gw;
}

// A frame as a host lends it across the interface: the description of one
// of our buffers, kept with the buffer so that a test reads it as one.
struct TestFrame {
  HYFrame frame;  // first: a TestFrame's address is its frame's
  GWorldPtr world;
};
inline HYFrame* NewTestFrame(int width, int height) {
  GWorldPtr gw = NewFrame(width, height);
  PixMapHandle pm = GetGWorldPixMap(gw);
  const Rect bounds = {0, 0, SInt16(height), SInt16(width)};
  return &(new TestFrame{{GetPixBaseAddr(pm), GetPixRowBytes(pm), bounds, kHYPixelFormatARGB32}, gw})->frame;
}
inline GWorldPtr WorldOf(HYFrame* frame) { return reinterpret_cast<TestFrame*>(frame)->world; }
inline void DisposeTestFrame(HYFrame* frame) {
  if (frame == nullptr) return;
  DisposeGWorld(WorldOf(frame));
  delete reinterpret_cast<TestFrame*>(frame);
}

inline void Fill(GWorldPtr gw, Pixel v) {
  Rect b;
  GetPortBounds(gw, &b);
  for (int y = 0; y < b.bottom; ++y)
    for (int x = 0; x < b.right; ++x) SetPixel(gw, x, y, v);
}

// An opaque frame of random colours.
inline void FillRandom(GWorldPtr gw, unsigned seed) {
  std::mt19937 rng(seed);
  Rect b;
  GetPortBounds(gw, &b);
  for (int y = 0; y < b.bottom; ++y)
    for (int x = 0; x < b.right; ++x) SetPixel(gw, x, y, {255, UInt8(rng()), UInt8(rng()), UInt8(rng())});
}

// A picture from unpremultiplied A,R,G,B pixels (premultiplied on the way in).
inline CGImageRef PictureFrom(int width, int height, const std::vector<Pixel>& straight) {
  std::vector<UInt8> bytes;
  for (const Pixel& p : straight) {
    auto pm = [&](UInt8 c) { return UInt8((c * p.a + 127) / 255); };
    bytes.insert(bytes.end(), {p.a, pm(p.r), pm(p.g), pm(p.b)});
  }
  return CGImageCreateFromARGB(size_t(width), size_t(height), bytes.data(), size_t(width) * 4);
}

inline CGImageRef SolidPicture(int width, int height, Pixel p) {
  return PictureFrom(width, height, std::vector<Pixel>(size_t(width) * height, p));
}

// Premultiplied picture pixel (x, y).
inline Pixel PicturePixel(CGImageRef image, int x, int y) {
  const UInt32 w = CGImageARGBWords(image)[y * CGImageGetWidth(image) + x];
  return {UInt8(w >> 24), UInt8(w >> 16), UInt8(w >> 8), UInt8(w)};
}
