#include "cg/CGContext.h"

#include "cg/CGReference.h"
#include "cg/Compositor.h"
#include "cg/PixmanFormat.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <vector>

namespace {

constexpr pixman_format_code_t kBufferFormat = PixmanFormatForARGBBytes(__BYTE_ORDER__ == __ORDER_BIG_ENDIAN__);

struct GState {
  CGAffineTransform ctm;
  CGFloat alpha;
  CGBlendMode blendMode;
};

pixman_op_t PixmanOperator(CGBlendMode mode) {
  static const pixman_op_t kOps[] = {
      PIXMAN_OP_OVER,           PIXMAN_OP_MULTIPLY,       PIXMAN_OP_SCREEN,
      PIXMAN_OP_OVERLAY,        PIXMAN_OP_DARKEN,         PIXMAN_OP_LIGHTEN,
      PIXMAN_OP_COLOR_DODGE,    PIXMAN_OP_COLOR_BURN,     PIXMAN_OP_SOFT_LIGHT,
      PIXMAN_OP_HARD_LIGHT,     PIXMAN_OP_DIFFERENCE,     PIXMAN_OP_EXCLUSION,
      PIXMAN_OP_HSL_HUE,        PIXMAN_OP_HSL_SATURATION, PIXMAN_OP_HSL_COLOR,
      PIXMAN_OP_HSL_LUMINOSITY, PIXMAN_OP_CLEAR,          PIXMAN_OP_SRC,
      PIXMAN_OP_IN,             PIXMAN_OP_OUT,            PIXMAN_OP_ATOP,
      PIXMAN_OP_OVER_REVERSE,   PIXMAN_OP_IN_REVERSE,     PIXMAN_OP_OUT_REVERSE,
      PIXMAN_OP_ATOP_REVERSE,   PIXMAN_OP_XOR,            PIXMAN_OP_OVER,
      PIXMAN_OP_ADD,
  };
  // Plus-darker has no pixman counterpart; it and unknown modes draw normally.
  if (mode < 0 || mode >= CGBlendMode(sizeof kOps / sizeof kOps[0])) return PIXMAN_OP_OVER;
  return kOps[mode];
}

// pixman 0.42 applies a mask wrongly in the non-separable modes, so for
// them the global alpha is applied to the picture first.
bool IsNonSeparable(pixman_op_t op) {
  return op == PIXMAN_OP_HSL_HUE || op == PIXMAN_OP_HSL_SATURATION || op == PIXMAN_OP_HSL_COLOR ||
         op == PIXMAN_OP_HSL_LUMINOSITY;
}

CGAffineTransform Identity() { return {1, 0, 0, 1, 0, 0}; }

}  // namespace

struct CGContext {
  pixman_image_t* target = nullptr;
  UInt8* pixels = nullptr;
  int width = 0;
  int height = 0;
  size_t rowBytes = 0;
  GState state{Identity(), 1, kCGBlendModeNormal};
  std::vector<GState> saved;
};

struct CGColorSpace {
  int unused;
};

namespace {

CGContextRef NewContext(UInt8* pixels, int width, int height, size_t rowBytes) {
  pixman_image_t* target = pixman_image_create_bits(kBufferFormat, width, height,
                                                    reinterpret_cast<uint32_t*>(pixels), int(rowBytes));
  if (target == nullptr) return nullptr;
  CGContextRef c = new CGContext;
  c->target = target;
  c->pixels = pixels;
  c->width = width;
  c->height = height;
  c->rowBytes = rowBytes;
  return c;
}

// The map from image pixels (u right, v down from the top row) to the
// context's device pixels (x right, y down from the top row), for an image
// of iw x ih drawn into `rect` under the current transform.
pixman_f_transform ImageToDevice(const CGContext* c, CGRect rect, double iw, double ih) {
  const CGAffineTransform& m = c->state.ctm;
  const double su = rect.size.width / iw, sv = rect.size.height / ih;
  const double x0 = rect.origin.x, y0 = rect.origin.y + rect.size.height;
  pixman_f_transform t;
  t.m[0][0] = m.a * su;
  t.m[0][1] = -m.c * sv;
  t.m[0][2] = m.a * x0 + m.c * y0 + m.tx;
  t.m[1][0] = -m.b * su;
  t.m[1][1] = m.d * sv;
  t.m[1][2] = c->height - (m.b * x0 + m.d * y0 + m.ty);
  t.m[2][0] = 0;
  t.m[2][1] = 0;
  t.m[2][2] = 1;
  return t;
}

struct DevicePoint {
  double x, y;
};

// The image's corners in device pixels, in order around the rectangle.
void DeviceCorners(const pixman_f_transform& t, double iw, double ih, DevicePoint out[4]) {
  const double corners[4][2] = {{0, 0}, {iw, 0}, {iw, ih}, {0, ih}};
  for (int k = 0; k < 4; ++k) {
    out[k].x = t.m[0][0] * corners[k][0] + t.m[0][1] * corners[k][1] + t.m[0][2];
    out[k].y = t.m[1][0] * corners[k][0] + t.m[1][1] * corners[k][1] + t.m[1][2];
  }
}

// Upright on whole pixels (no turn, or a multiple of a quarter turn): the
// picture's edges then fall between pixels and need no antialiasing.
bool OnPixelGrid(const pixman_f_transform& t, const DevicePoint corners[4]) {
  constexpr double kTolerance = 1e-3;
  const bool upright = (std::fabs(t.m[0][1]) < 1e-9 && std::fabs(t.m[1][0]) < 1e-9) ||
                       (std::fabs(t.m[0][0]) < 1e-9 && std::fabs(t.m[1][1]) < 1e-9);
  // A float quarter turn leaves a residue far below a thousandth of a pixel.
  const bool nearlyUpright = std::fabs(t.m[0][1] * t.m[1][0]) < 1e-12 || std::fabs(t.m[0][0] * t.m[1][1]) < 1e-12;
  if (!upright && !nearlyUpright) return false;
  for (int k = 0; k < 4; ++k)
    if (std::fabs(corners[k].x - std::round(corners[k].x)) > kTolerance ||
        std::fabs(corners[k].y - std::round(corners[k].y)) > kTolerance)
      return false;
  return true;
}

pixman_point_fixed_t Fixed(DevicePoint p, const pixman_box32_t& box) {
  return {pixman_double_to_fixed(p.x - box.x1), pixman_double_to_fixed(p.y - box.y1)};
}

// Composites `source` (iw x ih) through the image-to-device map `t` with the
// operator and the global alpha. Like CoreGraphics, the picture is clipped to
// its rectangle with antialiased edges and resampled with its edge pixels
// extended, so a magnified picture keeps crisp, fully opaque edges.
void CompositeTransformed(CGContext* c, pixman_image_t* source, double iw, double ih,
                          const pixman_f_transform& t, pixman_op_t op, double alpha,
                          pixman_filter_t filter) {
  DevicePoint corners[4];
  DeviceCorners(t, iw, ih, corners);
  const bool onGrid = OnPixelGrid(t, corners);
  double minX = corners[0].x, maxX = minX, minY = corners[0].y, maxY = minY;
  for (const DevicePoint& p : corners) {
    minX = std::min(minX, p.x), maxX = std::max(maxX, p.x);
    minY = std::min(minY, p.y), maxY = std::max(maxY, p.y);
  }
  auto clampTo = [](double v, int hi) { return int(std::max(0.0, std::min(double(hi), v))); };
  const pixman_box32_t box = onGrid
      ? pixman_box32_t{clampTo(std::round(minX), c->width), clampTo(std::round(minY), c->height),
                       clampTo(std::round(maxX), c->width), clampTo(std::round(maxY), c->height)}
      : pixman_box32_t{clampTo(std::floor(minX), c->width), clampTo(std::floor(minY), c->height),
                       clampTo(std::ceil(maxX), c->width), clampTo(std::ceil(maxY), c->height)};
  const int w = box.x2 - box.x1, h = box.y2 - box.y1;
  if (w <= 0 || h <= 0) return;
  pixman_f_transform inverse;
  if (!pixman_f_transform_invert(&inverse, &t)) return;  // a degenerate (empty) rectangle
  pixman_transform fixed;
  if (!pixman_transform_from_pixman_f_transform(&fixed, &inverse)) return;
  pixman_image_set_transform(source, &fixed);
  pixman_image_set_filter(source, filter, nullptr, 0);
  pixman_image_set_repeat(source, PIXMAN_REPEAT_PAD);

  // The mask: the rectangle's coverage where it is turned, times the alpha.
  pixman_image_t* mask = nullptr;
  pixman_image_t* solidAlpha = nullptr;
  if (alpha < 1) {
    const pixman_color_t a = {0, 0, 0, uint16_t(std::lround(alpha * 65535))};
    solidAlpha = pixman_image_create_solid_fill(&a);
  }
  if (onGrid) {
    mask = solidAlpha;
    solidAlpha = nullptr;
  } else {
    mask = pixman_image_create_bits(PIXMAN_a8, w, h, nullptr, 0);
    if (mask == nullptr) {
      if (solidAlpha) pixman_image_unref(solidAlpha);
      return;
    }
    const pixman_triangle_t halves[2] = {
        {Fixed(corners[0], box), Fixed(corners[1], box), Fixed(corners[2], box)},
        {Fixed(corners[0], box), Fixed(corners[2], box), Fixed(corners[3], box)}};
    pixman_add_triangles(mask, 0, 0, 2, halves);
    if (solidAlpha) pixman_image_composite32(PIXMAN_OP_IN, solidAlpha, nullptr, mask, 0, 0, 0, 0, 0, 0, w, h);
  }
  // A solid mask is read anywhere; a coverage mask from its own origin.
  const int maskX = onGrid ? box.x1 : 0, maskY = onGrid ? box.y1 : 0;
  if (mask != nullptr && IsNonSeparable(op)) {
    // source IN mask into a scratch image, then blended without a mask. The
    // scratch keeps floats: at 8 bits the faded colour loses the precision
    // that hue and saturation amplify.
    pixman_image_t* scratch = pixman_image_create_bits(PIXMAN_rgba_float, w, h, nullptr, 0);
    if (scratch != nullptr) {
      pixman_image_composite32(PIXMAN_OP_SRC, source, mask, scratch, box.x1, box.y1, maskX, maskY, 0, 0, w, h);
      pixman_image_composite32(op, scratch, nullptr, c->target, 0, 0, 0, 0, box.x1, box.y1, w, h);
      pixman_image_unref(scratch);
    }
  } else {
    pixman_image_composite32(op, source, mask, c->target, box.x1, box.y1, maskX, maskY, box.x1, box.y1, w, h);
  }
  if (mask != nullptr) pixman_image_unref(mask);
  if (solidAlpha != nullptr) pixman_image_unref(solidAlpha);
}

}  // namespace

CGRect CGRectMake(CGFloat x, CGFloat y, CGFloat width, CGFloat height) {
  return {{x, y}, {width, height}};
}

OSStatus QDBeginCGContext(CGrafPtr inPort, CGContextRef* outContext) {
  if (outContext == nullptr) return paramErr;
  *outContext = nullptr;
  PixMapHandle pm = GetGWorldPixMap(inPort);
  if (pm == nullptr) return paramErr;
  const Rect& b = (*pm)->bounds;
  *outContext = NewContext(reinterpret_cast<UInt8*>((*pm)->baseAddr), b.right - b.left,
                           b.bottom - b.top, size_t((*pm)->rowBytes));
  return *outContext ? noErr : memFullErr;
}

OSStatus QDEndCGContext(CGrafPtr inPort, CGContextRef* inoutContext) {
  if (inoutContext == nullptr) return paramErr;
  // What the context drew is the port's to show.
  if (*inoutContext != nullptr) {
    const Rect all = {0, 0, SInt16((*inoutContext)->height), SInt16((*inoutContext)->width)};
    QDAddRectToDirtyRegion(inPort, &all);
  }
  CGContextRelease(*inoutContext);
  *inoutContext = nullptr;
  return noErr;
}

void CGContextSaveGState(CGContextRef c) {
  if (c) c->saved.push_back(c->state);
}

void CGContextRestoreGState(CGContextRef c) {
  if (c == nullptr || c->saved.empty()) return;
  c->state = c->saved.back();
  c->saved.pop_back();
}

void CGContextTranslateCTM(CGContextRef c, CGFloat tx, CGFloat ty) {
  if (c == nullptr) return;
  CGAffineTransform& m = c->state.ctm;
  m.tx += m.a * tx + m.c * ty;
  m.ty += m.b * tx + m.d * ty;
}

void CGContextRotateCTM(CGContextRef c, CGFloat angle) {
  if (c == nullptr) return;
  CGAffineTransform& m = c->state.ctm;
  const double cs = std::cos(angle), sn = std::sin(angle);
  const CGAffineTransform r = {m.a * cs + m.c * sn, m.b * cs + m.d * sn, m.c * cs - m.a * sn,
                               m.d * cs - m.b * sn, m.tx, m.ty};
  m = r;
}

void CGContextScaleCTM(CGContextRef c, CGFloat sx, CGFloat sy) {
  if (c == nullptr) return;
  CGAffineTransform& m = c->state.ctm;
  m.a *= sx, m.b *= sx, m.c *= sy, m.d *= sy;
}

void CGContextSetAlpha(CGContextRef c, CGFloat alpha) {
  if (c) c->state.alpha = std::isnan(alpha) ? 1 : std::max(0.0, std::min(1.0, alpha));
}

void CGContextSetBlendMode(CGContextRef c, CGBlendMode mode) {
  if (c) c->state.blendMode = mode;
}

namespace {

std::atomic<bool> lgDrawWithPixman{false};

compositor::Request RequestFor(CGContextRef c, const pixman_f_transform& t) {
  compositor::Request r{};
  r.pixels = c->pixels;
  r.width = c->width;
  r.height = c->height;
  r.rowBytes = c->rowBytes;
  const double map[6] = {t.m[0][0], t.m[0][1], t.m[0][2], t.m[1][0], t.m[1][1], t.m[1][2]};
  std::copy(map, map + 6, r.map);
  return r;
}

}  // namespace

// Clearing and the sixteen blend modes go through our compositor; the
// Porter-Duff modes beyond them through pixman.
void CGUsePixmanForDrawing(bool on) { lgDrawWithPixman = on; }

void CGContextClearRect(CGContextRef c, CGRect rect) {
  if (c == nullptr) return;
  if (lgDrawWithPixman) return CGContextClearRectWithPixman(c, rect);
  compositor::Request r = RequestFor(c, ImageToDevice(c, rect, 1, 1));
  r.mode = compositor::kClear;
  compositor::Composite(r);
}

void CGContextDrawImage(CGContextRef c, CGRect rect, CGImageRef image) {
  if (c == nullptr || image == nullptr) return;
  // A fully transparent picture leaves every blend mode's backdrop as it was.
  if (c->state.alpha <= 0 && c->state.blendMode <= kCGBlendModeLuminosity) return;
  if (lgDrawWithPixman || c->state.blendMode < kCGBlendModeNormal || c->state.blendMode > kCGBlendModeLuminosity)
    return CGContextDrawImageWithPixman(c, rect, image);
  const size_t iw = CGImageGetWidth(image), ih = CGImageGetHeight(image);
  compositor::Request r = RequestFor(c, ImageToDevice(c, rect, double(iw), double(ih)));
  r.picture = CGImageARGBWords(image);
  r.pictureWidth = int(iw);
  r.pictureHeight = int(ih);
  r.alpha = float(c->state.alpha);
  r.mode = c->state.blendMode;
  compositor::Composite(r);
}

void CGContextClearRectWithPixman(CGContextRef c, CGRect rect) {
  if (c == nullptr) return;
  // An opaque pixel stretched over the rectangle, taken out of the target.
  uint32_t opaque = 0xFFFFFFFF;
  pixman_image_t* cover = pixman_image_create_bits(PIXMAN_a8r8g8b8, 1, 1, &opaque, 4);
  CompositeTransformed(c, cover, 1, 1, ImageToDevice(c, rect, 1, 1), PIXMAN_OP_OUT_REVERSE, 1,
                       PIXMAN_FILTER_NEAREST);
  pixman_image_unref(cover);
}

void CGContextDrawImageWithPixman(CGContextRef c, CGRect rect, CGImageRef image) {
  if (c == nullptr || image == nullptr) return;
  const pixman_op_t op = PixmanOperator(c->state.blendMode);
  // A fully transparent picture leaves every blend mode's backdrop as it was.
  if (c->state.alpha <= 0 && c->state.blendMode <= kCGBlendModeLuminosity) return;
  const double iw = double(CGImageGetWidth(image)), ih = double(CGImageGetHeight(image));
  // pixman only reads a source image; the pixels stay immutable.
  pixman_image_t* source = pixman_image_create_bits(
      PIXMAN_a8r8g8b8, int(iw), int(ih), const_cast<uint32_t*>(CGImageARGBWords(image)), int(iw) * 4);
  if (source == nullptr) return;
  CompositeTransformed(c, source, iw, ih, ImageToDevice(c, rect, iw, ih), op, c->state.alpha,
                       PIXMAN_FILTER_BILINEAR);
  pixman_image_unref(source);
}

void CGContextFlush(CGContextRef) {}  // every drawing call has written its pixels before it returns

CGColorSpaceRef CGColorSpaceCreateDeviceRGB() { return new CGColorSpace{0}; }
void CGColorSpaceRelease(CGColorSpaceRef space) { delete space; }

CGContextRef CGBitmapContextCreate(void* data, size_t width, size_t height, size_t bitsPerComponent,
                                   size_t bytesPerRow, CGColorSpaceRef space, CGBitmapInfo bitmapInfo) {
  if (data == nullptr || space == nullptr || bitsPerComponent != 8 ||
      bitmapInfo != kCGImageAlphaPremultipliedFirst || width == 0 || height == 0 ||
      width > 32767 || height > 32767 || bytesPerRow < 4 * width || bytesPerRow % 4 != 0)
    return nullptr;
  return NewContext(static_cast<UInt8*>(data), int(width), int(height), bytesPerRow);
}

CGImageRef CGBitmapContextCreateImage(CGContextRef c) {
  if (c == nullptr) return nullptr;
  return CGImageCreateFromARGB(size_t(c->width), size_t(c->height), c->pixels, c->rowBytes);
}

void CGContextRelease(CGContextRef c) {
  if (c == nullptr) return;
  pixman_image_unref(c->target);
  delete c;
}
