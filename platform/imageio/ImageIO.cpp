#include "imageio/ImageIO.h"

#include <OpenImageIO/imageio.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "imageio/GifReader.h"

namespace {

constexpr size_t kCountLimit = 1024;

// The plug-in runs on its host's thread only; decoding stays on it.
void KeepDecodingOnTheCallingThread() {
  static std::once_flag once;
  std::call_once(once, [] {
    OIIO::attribute("threads", 1);
    OIIO::attribute("exr_threads", 1);
    // Readers that allocate at open refuse headers beyond this; the budget
    // below then holds for the rest (64 million pixels of 4 floats).
    OIIO::attribute("limits:imagesize_MB", int(kImagePixelBudget * 16 >> 20));
  });
}

UInt8 Premultiplied(UInt8 c, UInt8 a) { return UInt8((unsigned(c) * a + 127) / 255); }

std::string lgFailure;

// The library's reason, on one line.
std::string OneLine(std::string text, const char* otherwise) {
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text.empty() ? otherwise : text;
}

std::nullptr_t Failed(std::string why) {
  lgFailure = std::move(why);
  return nullptr;
}

// The first `channels` channels of every pixel, as bytes. OpenImageIO's TIFF
// reader turns a white-is-zero file's levels back over too much memory when
// it reads compressed strips of more than one channel in one go; row by row
// it takes its per-row path, which turns exactly the row it read.
bool ReadPixels(OIIO::ImageInput* in, int index, int channels, UInt8* data) {
  const OIIO::ImageSpec& spec = in->spec();
  const bool whiteIsZeroStrips = spec.tile_width == 0 && std::strcmp(in->format_name(), "tiff") == 0 &&
                                 spec.get_int_attribute("tiff:PhotometricInterpretation", -1) == 0;
  if (!whiteIsZeroStrips) return in->read_image(index, 0, 0, channels, OIIO::TypeDesc::UINT8, data);
  const size_t rowBytes = size_t(spec.width) * size_t(channels);
  for (int y = 0; y < spec.height; ++y)
    if (!in->read_scanlines(index, 0, spec.y + y, spec.y + y + 1, 0, 0, channels, OIIO::TypeDesc::UINT8,
                            data + size_t(y) * rowBytes))
      return false;
  return true;
}

}  // namespace

// A file read by OpenImageIO, or a GIF read by giflib (its path kept).
struct CGImageSource : CFObject {
  std::unique_ptr<OIIO::ImageInput> input;
  std::string path;
  std::string gifPath;
  size_t count = 0;
  bool counted = false;
};

std::string ImageImportFailure() { return lgFailure; }

CGImageSourceRef CGImageSourceCreateWithURL(CFURLRef url, CFDictionaryRef) {
  lgFailure.clear();
  const std::string path = CFURLPath(url);
  if (path.empty()) return Failed("no file");
  if (IsGifFile(path)) {
    auto* source = new CGImageSource;
    source->gifPath = path;
    return source;
  }
  try {
    KeepDecodingOnTheCallingThread();
    // Ask for straight colour where the file has it, so that it is
    // premultiplied here exactly once.
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto input = OIIO::ImageInput::open(path, &config);
    if (!input) return Failed(OneLine(OIIO::geterror(), "not a picture the image library can read"));
    auto* source = new CGImageSource;
    source->input = std::move(input);
    source->path = path;
    return source;
  } catch (...) {
    return Failed("the image library failed on it");
  }
}

size_t CGImageSourceGetCount(CGImageSourceRef source) {
  if (source == nullptr) return 0;
  auto* s = const_cast<CGImageSource*>(source);
  if (!s->counted && !s->gifPath.empty()) {
    s->count = CountGifImages(s->gifPath, kCountLimit);
    s->counted = true;
  }
  if (!s->counted) {
    try {
      while (s->count < kCountLimit && s->input->seek_subimage(int(s->count), 0)) ++s->count;
    } catch (...) {
    }
    s->input->geterror();
    s->counted = true;
  }
  if (s->count == 0 && lgFailure.empty()) lgFailure = "the file holds no picture";
  return s->count;
}

CGImageRef CGImageSourceCreateImageAtIndex(CGImageSourceRef source, size_t index, CFDictionaryRef) {
  if (source == nullptr || index >= kCountLimit) return nullptr;
  if (!source->gifPath.empty()) {
    std::string why = "no such image in the GIF";
    CGImageRef image = index == 0 ? ReadFirstGifImage(source->gifPath, kLargestImageSide, kImagePixelBudget, why) : nullptr;
    if (image == nullptr) return Failed(why);
    CGImageSetSourcePath(image, source->gifPath);
    lgFailure.clear();
    return image;
  }
  OIIO::ImageInput* in = const_cast<CGImageSource*>(source)->input.get();
  try {
    if (!in->seek_subimage(int(index), 0)) return Failed(OneLine(in->geterror(), "no such image in the file"));
    const OIIO::ImageSpec& spec = in->spec();
    if (spec.width <= 0 || spec.height <= 0 || spec.depth > 1 || spec.nchannels <= 0)
      return Failed("not a flat picture (no pixels, or a volume)");
    const size_t w = size_t(spec.width), h = size_t(spec.height);
    if (w > kLargestImageSide || h > kLargestImageSide || w * h > kImagePixelBudget)
      return Failed(std::to_string(w) + " x " + std::to_string(h) + " pixels is more than a picture may have");

    // Channels read: grey; grey and alpha; colour; colour and its alpha.
    const int n = spec.nchannels;
    const int alpha = n == 2 ? 1 : (spec.alpha_channel >= 3 && spec.alpha_channel < n ? spec.alpha_channel : -1);
    const int colour = n >= 3 ? 3 : 1;
    const int read = std::max(colour, alpha + 1);
    std::vector<UInt8> data(w * h * size_t(read));
    if (!ReadPixels(in, int(index), read, data.data()))
      return Failed(OneLine(in->geterror(), "its pixels cannot be read"));
    const bool straight = spec.get_int_attribute("oiio:UnassociatedAlpha", 0) != 0;
    std::vector<UInt8> argb(w * h * 4);
    for (size_t k = 0; k < w * h; ++k) {
      const UInt8* p = &data[k * size_t(read)];
      const UInt8 a = alpha >= 0 ? p[alpha] : 255;
      UInt8 r = p[0], g = colour == 3 ? p[1] : p[0], b = colour == 3 ? p[2] : p[0];
      if (straight) r = Premultiplied(r, a), g = Premultiplied(g, a), b = Premultiplied(b, a);
      argb[4 * k] = a;
      argb[4 * k + 1] = std::min(r, a);
      argb[4 * k + 2] = std::min(g, a);
      argb[4 * k + 3] = std::min(b, a);
    }
    CGImageRef image = CGImageCreateFromARGB(w, h, argb.data(), w * 4);
    if (image == nullptr) return Failed("out of memory for its pixels");
    CGImageSetSourcePath(image, source->path);
    lgFailure.clear();
    return image;
  } catch (...) {
    return Failed("the image library failed on it");
  }
}
