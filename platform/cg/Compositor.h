// The compositor behind CGContextDrawImage and CGContextClearRect: a picture
// mapped affinely into a buffer of A,R,G,B bytes, sampled bilinearly with its
// edge pixels extended, its rectangle's edges covered exactly, laid on with a
// global alpha and one of the sixteen blend modes (W3C compositing formulas),
// touching only the pixels the mapped rectangle covers. Rows are shared out
// in bands over the machine's cores inside the one call; the result is the
// same bit for bit whatever the number of threads.
#pragma once

#include <cstddef>

#include "MacTypes.h"

namespace compositor {

// What each pixel of a span becomes.
enum Mode : int {
  // 0 to 15: the blend modes, CoreGraphics' numbers (normal, multiply, ...,
  // luminosity).
  kLastBlendMode = 15,
  kClear = 16,  // the covered part made transparent
};

struct Request {
  UInt8* pixels;  // A,R,G,B bytes, premultiplied
  int width, height;
  size_t rowBytes;
  const UInt32* picture;  // words 0xAARRGGBB, premultiplied, rows of `pictureWidth`; nil for kClear
  int pictureWidth, pictureHeight;
  // The rectangle [0, pictureWidth] x [0, pictureHeight] of the picture (v
  // down from its top row) to the buffer (y down from its top row):
  // x = map[0] u + map[1] v + map[2], y = map[3] u + map[4] v + map[5].
  double map[6];
  float alpha;  // 0 to 1
  int mode;
};

// Draws the request; false (and nothing drawn) for a map that flattens the
// rectangle to a line or a point.
bool Composite(const Request& request);

// ---- What the compositor is made of, for its own files and its tests ----

// Picture points are carried in 65536ths of a pixel, measured from kBias
// pixels above and left of the first pixel's centre so that the points of
// pixels just outside the picture stay positive.
constexpr int kBias = 16384;

// One span of a row: `count` pixels from `dest`, pixel k reading the picture
// at the point (u0 + k du, v0 + k dv) (its centre mapped back), with
// coverage[k] (all 1 when nil); pixels wholeFrom to wholeTo - 1 are wholly
// covered, and their coverage entries need not be set.
struct Span {
  UInt8* dest;
  int count;
  const float* coverage;
  int wholeFrom, wholeTo;
  UInt32 u0, v0;
  SInt32 du, dv;
  const UInt32* picture;
  int pictureWidth, pictureHeight;  // at least 2 x 1: pixels are read in side-by-side pairs
  // Pixels insideFrom to insideTo - 1 read points inside the picture's
  // outermost pixel centres (none at the last column or row), which need no
  // clamping.
  int insideFrom, insideTo;
  // The map is a whole-pixel move of the picture: pixel k reads picture
  // pixel (column0 + k, row), unsampled.
  bool direct;
  int column0, row;
  float alpha;
  UInt32 weight;  // the alpha in 32768ths, in both halves
  int mode;
};
// The span through the best SIMD kernel the machine has.
void CompositeSpan(const Span& span);

// The exact area of each pixel square [x, x + 1] x [y, y + 1], x from `from`
// to `to` - 1, that the convex quadrilateral `corners` (x, y pairs, in order
// around it) covers.
void RowCoverage(const double corners[8], int y, int from, int to, float* coverage);

}  // namespace compositor
