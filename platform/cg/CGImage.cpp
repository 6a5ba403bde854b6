#include "cg/CGImage.h"

#include <cstring>
#include <memory>
#include <new>

#include "memory/MacMemory.h"

struct CGImage {
  int refCount;
  size_t width;
  size_t height;
  std::shared_ptr<const UInt32[]> pixels;
  std::string sourcePath;
};

namespace {

// The drawing code addresses pixels with 16-bit coordinates.
constexpr size_t kLargestSide = 32767;
size_t lgLiveImages = 0;

CGImageRef NewImage(size_t width, size_t height, std::shared_ptr<const UInt32[]> pixels) {
  ++lgLiveImages;
  return new CGImage{1, width, height, std::move(pixels), {}};
}

}  // namespace

CGImageRef CGImageCreateFromARGB(size_t width, size_t height, const UInt8* pixels,
                                 size_t bytesPerRow) {
  if (width == 0 || height == 0 || width > kLargestSide || height > kLargestSide ||
      pixels == nullptr || bytesPerRow < width * 4)
    return nullptr;
  // Every word is written below: the buffer starts uninitialised.
  std::shared_ptr<UInt32[]> copy(new (std::nothrow) UInt32[width * height]);
  if (copy == nullptr) return nullptr;
  AdviseLargeBuffer(copy.get(), width * height * 4);
  UInt32* out = copy.get();
  for (size_t y = 0; y < height; ++y) {
    const UInt8* p = pixels + y * bytesPerRow;
    for (size_t x = 0; x < width; ++x, p += 4) {
      // Bytes A,R,G,B read as one word: on this machine's byte order,
      // reversed or as they are.
      UInt32 word;
      std::memcpy(&word, p, 4);
      *out++ = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? __builtin_bswap32(word) : word;
    }
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
const UInt32* CGImageARGBWords(CGImageRef image) { return image ? image->pixels.get() : nullptr; }

size_t LiveCGImages() { return lgLiveImages; }
