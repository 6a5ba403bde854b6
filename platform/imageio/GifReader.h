// GIF files read with giflib: the first image on a canvas of the file's
// logical screen, with its transparent colour fully transparent.
//
// OpenImageIO 2.4 paints a GIF's first frame onto an opaque canvas, so a logo
// with a transparent background would cover the video with a box; GIFs are
// therefore read here, with the library OpenImageIO itself uses underneath.
#pragma once

#include <cstddef>
#include <string>

#include "cg/CGImage.h"

// Whether the file starts as a GIF does ("GIF", whatever version follows).
bool IsGifFile(const std::string& path);
// The number of images in the file, counting stops at `limit`; 0 when the
// file is not a readable GIF.
size_t CountGifImages(const std::string& path, size_t limit);
// The first image, premultiplied A,R,G,B at the screen's size, the first
// frame placed where it says and the rest of the screen transparent. Nil on
// any failure, and for a screen beyond `largestSide` or `pixelBudget`,
// decided before any pixel is allocated; `why` then says what failed.
CGImageRef ReadFirstGifImage(const std::string& path, size_t largestSide, size_t pixelBudget, std::string& why);
