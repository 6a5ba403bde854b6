#include "files/EasyFile.h"

#include "common/commonprocs.h"
#include "imageio/ImageIO.h"
#include "memory/MacMemory.h"
#include "text/PascalString.h"

CGImageRef GetCGImageFromFSSUsingCG(const FSSpec& TheFSS) {
  return GetCGImageFromFSRefUsingCG(FSSpec2FSRef(TheFSS));
}

CGImageRef GetCGImageFromFSRefUsingCG(const FSRef& TheFSRef) {
  CFURLRef url = CFURLCreateFromFSRef(kCFAllocatorDefault, &TheFSRef);
  CGImageRef image = GetCGImageFromURLUsingCG(url);
  CFRelease(url);
  return image;
}

namespace {
std::string lgImportFailure;
}  // namespace

CGImageRef GetCGImageFromURLUsingCG(CFURLRef TheURL) {
  CGImageSourceRef source = CGImageSourceCreateWithURL(TheURL, nullptr);
  CGImageRef image = nullptr;
  if (source != nullptr) {
    image = CGImageSourceGetCount(source) > 0 ? CGImageSourceCreateImageAtIndex(source, 0, nullptr) : nullptr;
    CFRelease(source);
  }
  lgImportFailure = image != nullptr ? std::string() : CFURLPath(TheURL) + ": " + ImageImportFailure();
  return image;
}

std::string PictureImportFailure() { return lgImportFailure; }
