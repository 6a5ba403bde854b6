#include "cg/CGImage.h"

#include <cstring>
#include <memory>

struct CGImage {
  int refCount;
  size_t width;
  size_t height;
  std::shared_ptr<const std::vector<UInt32>> pixels;
  std::string sourcePath;
};

namespace {

// The drawing code addresses pixels with 16-bit coordinates.
constexpr size_t kLargestSide = 32767;
size_t lgLiveImages = 0;

CGImageRef NewImage(size_t width, size_t height, std::shared_ptr<const std::vector<UInt32>> pixels) {
  ++lgLiveImages;
  return new CGImage{1, width, height, std::move(pixels)};
}

}  // namespace

CGImageRef CGImageCreateFromARGB(size_t width, size_t height, const UInt8* pixels,
                                 size_t bytesPerRow) {
  if (width == 0 || height == 0 || width > kLargestSide || height > kLargestSide ||
      pixels == nullptr || bytesPerRow < width * 4)
    return nullptr;
  auto copy = std::make_shared<std::vector<UInt32>>(width * height);
  UInt32* out = copy->data();
  for (size_t y = 0; y < height; ++y) {
    const UInt8* p = pixels + y * bytesPerRow;
    for (size_t x = 0; x < width; ++x, p += 4)
      *out++ = UInt32(p[0]) << 24 | UInt32(p[1]) << 16 | UInt32(p[2]) << 8 | p[3];
  }
  return NewImage(width, height, std::move(copy));
}

CGImageRef CGImageCreateCopy(CGImageRef image) {
  if (image == nullptr) return nullptr;
  CGImageRef copy = NewImage(image->width, image->height, image->pixels);
  copy->sourcePath = image->sourcePath;
  return copy;
}

void CGImageSetSourcePath(CGImageRef image, const std::string& path) {
  if (image != nullptr) image->sourcePath = path;
}
std::string CGImageGetSourcePath(CGImageRef image) { return image ? image->sourcePath : std::string(); }

CGImageRef CGImageRetain(CGImageRef image) {
  if (image != nullptr) ++image->refCount;
  return image;
}

void CGImageRelease(CGImageRef image) {
  if (image == nullptr) return;
  if (--image->refCount == 0) {
    delete image;
    --lgLiveImages;
  }
}

size_t CGImageGetWidth(CGImageRef image) { return image ? image->width : 0; }
size_t CGImageGetHeight(CGImageRef image) { return image ? image->height : 0; }
const UInt32* CGImageARGBWords(CGImageRef image) { return image ? image->pixels->data() : nullptr; }

size_t LiveCGImages() { return lgLiveImages; }
