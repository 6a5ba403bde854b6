// Image source stand-in on OpenImageIO (and giflib for GIFs, GifReader.h):
// the images of a file, each decoded at its own size into 8-bit premultiplied
// A,R,G,B with the file's own transparency. Grey, grey + alpha, 16-bit and float files all arrive as
// 8-bit colour with alpha. Every failure gives nil.
//
// Limits, decided from the file's header before any pixel is allocated: a
// picture over 32767 pixels on a side (what the drawing code addresses) or
// over 64 million pixels (about 256 MB decoded; a picture must never be able
// to exhaust memory) gives nil.
#pragma once

#include <cstddef>
#include <string>

#include "cg/CGImage.h"
#include "corefoundation/CFBase.h"
#include "corefoundation/CFURL.h"

struct CGImageSource;
typedef const CGImageSource* CGImageSourceRef;

constexpr size_t kLargestImageSide = 32767;
constexpr size_t kImagePixelBudget = size_t(64) << 20;

// Nil when the file cannot be opened as an image. Released with CFRelease.
CGImageSourceRef CGImageSourceCreateWithURL(CFURLRef url, CFDictionaryRef options);
// The number of images (pages, frames) in the file; counting stops at 1024.
size_t CGImageSourceGetCount(CGImageSourceRef source);
CGImageRef CGImageSourceCreateImageAtIndex(CGImageSourceRef source, size_t index, CFDictionaryRef options);
// Why the last of the calls above that gave nil or no image failed, in a
// few words (the image library's, giflib's, or the limits'); empty after
// one that succeeded.
std::string ImageImportFailure();
