// libFuzzer target: any bytes as an image file of one of the common kinds
// (the first byte picks the name's extension, which picks the decoder).
// Import must give a picture within the limits or nil, and never crash.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "corefoundation/CFURL.h"
#include "files/EasyFile.h"
#include "imageio/ImageIO.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static const char* kExtensions[] = {".png", ".jpg", ".tif", ".gif", ".bmp", ".webp", ".psd", ".tga"};
  static const std::string folder = [] {
    char pattern[] = "/tmp/quorvel-import-fuzz-XXXXXX";
    return std::string(mkdtemp(pattern));
  }();
  const std::string path = folder + "/input" + kExtensions[data[0] % 8];
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  std::fwrite(data + 1, 1, size - 1, f);
  std::fclose(f);
  CFURLRef url = CFURLCreateWithFileSystemPath(kCFAllocatorDefault, path);
  CGImageRef image = GetCGImageFromURLUsingCG(url);
  if (image != nullptr && (CGImageGetWidth(image) > kLargestImageSide || CGImageGetHeight(image) > kLargestImageSide))
    std::abort();
  CGImageRelease(image);
  CFRelease(url);
  std::remove(path.c_str());
  return 0;
}
