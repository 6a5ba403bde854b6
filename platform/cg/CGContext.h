// CoreGraphics drawing stand-in, done by pixman straight into our buffers.
// A context draws into a QuickDraw port (or a bitmap) with the origin at the
// bottom-left corner and y up; it keeps a transform, a global alpha and a
// blend mode per graphics state, and resamples images bilinearly.
#pragma once

#include "MacTypes.h"
#include "cg/CGImage.h"
#include "quickdraw/QuickDraw.h"

typedef double CGFloat;
struct CGPoint {
  CGFloat x, y;
};
struct CGSize {
  CGFloat width, height;
};
struct CGRect {
  CGPoint origin;
  CGSize size;
};
CGRect CGRectMake(CGFloat x, CGFloat y, CGFloat width, CGFloat height);

struct CGAffineTransform {
  CGFloat a, b, c, d, tx, ty;
};

// The sixteen separable and non-separable modes, then the Porter-Duff ones.
typedef SInt32 CGBlendMode;
enum : CGBlendMode {
  kCGBlendModeNormal, kCGBlendModeMultiply, kCGBlendModeScreen, kCGBlendModeOverlay,
  kCGBlendModeDarken, kCGBlendModeLighten, kCGBlendModeColorDodge, kCGBlendModeColorBurn,
  kCGBlendModeSoftLight, kCGBlendModeHardLight, kCGBlendModeDifference, kCGBlendModeExclusion,
  kCGBlendModeHue, kCGBlendModeSaturation, kCGBlendModeColor, kCGBlendModeLuminosity,
  kCGBlendModeClear, kCGBlendModeCopy, kCGBlendModeSourceIn, kCGBlendModeSourceOut,
  kCGBlendModeSourceAtop, kCGBlendModeDestinationOver, kCGBlendModeDestinationIn,
  kCGBlendModeDestinationOut, kCGBlendModeDestinationAtop, kCGBlendModeXOR,
  kCGBlendModePlusDarker, kCGBlendModePlusLighter,
};

// The sixteen modes' names, as the dialog's scripts and the frei0r filter
// spell them, in the modes' order (a mode's name is kCGBlendModeNames[mode]).
constexpr int kCGBlendModeNameCount = 16;
constexpr const char* kCGBlendModeNames[kCGBlendModeNameCount] = {
    "normal",     "multiply",   "screen",     "overlay",   "darken", "lighten",    "color-dodge", "color-burn",
    "soft-light", "hard-light", "difference", "exclusion", "hue",    "saturation", "color",       "luminosity"};

struct CGContext;
typedef CGContext* CGContextRef;
struct CGColorSpace;
typedef CGColorSpace* CGColorSpaceRef;
typedef UInt32 CGBitmapInfo;
// Alpha first, colour premultiplied, memory byte order A,R,G,B.
constexpr CGBitmapInfo kCGImageAlphaPremultipliedFirst = 2;

OSStatus QDBeginCGContext(CGrafPtr inPort, CGContextRef* outContext);
OSStatus QDEndCGContext(CGrafPtr inPort, CGContextRef* inoutContext);

void CGContextSaveGState(CGContextRef c);
void CGContextRestoreGState(CGContextRef c);
void CGContextTranslateCTM(CGContextRef c, CGFloat tx, CGFloat ty);
void CGContextRotateCTM(CGContextRef c, CGFloat angle);
void CGContextScaleCTM(CGContextRef c, CGFloat sx, CGFloat sy);
// Global alpha, clamped to 0..1.
void CGContextSetAlpha(CGContextRef c, CGFloat alpha);
void CGContextSetBlendMode(CGContextRef c, CGBlendMode mode);
// Makes the rectangle (in the current transform) fully transparent.
void CGContextClearRect(CGContextRef c, CGRect rect);
// Draws the whole image stretched into the rectangle, upright in user space.
void CGContextDrawImage(CGContextRef c, CGRect rect, CGImageRef image);
void CGContextFlush(CGContextRef c);

CGColorSpaceRef CGColorSpaceCreateDeviceRGB();
void CGColorSpaceRelease(CGColorSpaceRef space);
// A context over the caller's memory: 8 bits per component, alpha first,
// premultiplied. Nil for any other layout or a nil/short buffer.
CGContextRef CGBitmapContextCreate(void* data, size_t width, size_t height, size_t bitsPerComponent,
                                   size_t bytesPerRow, CGColorSpaceRef space, CGBitmapInfo bitmapInfo);
// A new image holding a copy of the bitmap's pixels.
CGImageRef CGBitmapContextCreateImage(CGContextRef c);
void CGContextRelease(CGContextRef c);
