// CoreGraphics image stand-in: an immutable, reference-counted picture of
// 8-bit premultiplied A,R,G,B pixels. Copies share the pixels; every create
// or copy is balanced by one CGImageRelease.
//
// Pixels are kept as 32-bit words 0xAARRGGBB, the form the drawing code
// resamples fastest; they come in from (and are described to callers as)
// bytes A,R,G,B in memory order.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "MacTypes.h"

struct CGImage;
typedef CGImage* CGImageRef;

// A new image from `height` rows of `bytesPerRow` bytes, `width` A,R,G,B
// pixels each; the pixels are copied. Nil for an empty or oversized picture.
CGImageRef CGImageCreateFromARGB(size_t width, size_t height, const UInt8* pixels,
                                 size_t bytesPerRow);
CGImageRef CGImageCreateCopy(CGImageRef image);
CGImageRef CGImageRetain(CGImageRef image);
void CGImageRelease(CGImageRef image);
size_t CGImageGetWidth(CGImageRef image);
size_t CGImageGetHeight(CGImageRef image);
// Tightly packed rows of `width` words 0xAARRGGBB; nil for a nil image.
const UInt32* CGImageARGBWords(CGImageRef image);

// The stand-in's own: the file an image was read from (empty when it was
// made otherwise), kept for hosts that report what the effect draws. A copy
// keeps it.
void CGImageSetSourcePath(CGImageRef image, const std::string& path);
std::string CGImageGetSourcePath(CGImageRef image);

// Image objects alive; tests use it to check that copies and releases balance.
size_t LiveCGImages();
