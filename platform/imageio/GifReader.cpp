#include "imageio/GifReader.h"

#include <gif_lib.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

struct GifCloser {
  void operator()(GifFileType* gif) const {
    int error;
    DGifCloseFile(gif, &error);
  }
};
typedef std::unique_ptr<GifFileType, GifCloser> GifFile;

// The file opened by giflib; nil with giflib's error code in `error`.
GifFile OpenGif(const std::string& path, int& error) {
  error = 0;
  return GifFile(DGifOpenFileName(path.c_str(), &error));
}

// Passes over the whole data of an extension or an image without decoding it.
bool SkipExtension(GifFileType* gif) {
  int code;
  GifByteType* block = nullptr;
  if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return false;
  while (block != nullptr)
    if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return false;
  return true;
}

bool SkipImageData(GifFileType* gif) {
  int codeSize;
  GifByteType* block = nullptr;
  if (DGifGetCode(gif, &codeSize, &block) == GIF_ERROR) return false;
  while (block != nullptr)
    if (DGifGetCodeNext(gif, &block) == GIF_ERROR) return false;
  return true;
}

// The transparent index a graphic control extension sets, or -1; the
// extension's data is consumed either way.
bool ReadExtension(GifFileType* gif, int& transparent) {
  int code;
  GifByteType* block = nullptr;
  if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return false;
  if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr && block[0] >= 4) {
    GraphicsControlBlock gcb;
    if (DGifExtensionToGCB(block[0], block + 1, &gcb) == GIF_OK) transparent = gcb.TransparentColor;
  }
  while (block != nullptr)
    if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return false;
  return true;
}

// The rows of an interlaced image arrive in four passes.
std::vector<int> RowOrder(int height, bool interlaced) {
  std::vector<int> rows;
  rows.reserve(size_t(height));
  if (!interlaced) {
    for (int y = 0; y < height; ++y) rows.push_back(y);
    return rows;
  }
  const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass)
    for (int y = start[pass]; y < height; y += step[pass]) rows.push_back(y);
  return rows;
}

}  // namespace

bool IsGifFile(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  // giflib takes any file that starts "GIF", whatever version follows, and
  // so do other readers: every such file comes here, where the screen's
  // size is checked before its pixels are allocated.
  char magic[3];
  const bool gif = std::fread(magic, 1, sizeof magic, f) == sizeof magic && std::memcmp(magic, "GIF", 3) == 0;
  std::fclose(f);
  return gif;
}

size_t CountGifImages(const std::string& path, size_t limit) {
  int error = 0;
  GifFile gif = OpenGif(path, error);
  if (!gif) return 0;
  size_t count = 0;
  GifRecordType type;
  while (count < limit && DGifGetRecordType(gif.get(), &type) == GIF_OK) {
    if (type == IMAGE_DESC_RECORD_TYPE) {
      if (DGifGetImageDesc(gif.get()) == GIF_ERROR) break;
      ++count;  // counted once its description is read; its data may be cut short
      if (!SkipImageData(gif.get())) break;
    } else if (type == EXTENSION_RECORD_TYPE) {
      if (!SkipExtension(gif.get())) break;
    } else {
      break;
    }
  }
  return count;
}

CGImageRef ReadFirstGifImage(const std::string& path, size_t largestSide, size_t pixelBudget, std::string& why) {
  int openError = 0;
  GifFile gif = OpenGif(path, openError);
  auto failed = [&](const char* what) -> CGImageRef {
    const char* detail = GifErrorString(gif ? gif->Error : openError);
    why = std::string(what) + (detail != nullptr ? std::string(": ") + detail : std::string());
    return nullptr;
  };
  if (!gif) return failed("not a GIF giflib can read");
  int transparent = NO_TRANSPARENT_COLOR;
  GifRecordType type;
  for (;;) {
    if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR) return failed("the GIF is damaged");
    if (type == IMAGE_DESC_RECORD_TYPE) break;
    if (type != EXTENSION_RECORD_TYPE || !ReadExtension(gif.get(), transparent)) return failed("the GIF holds no image");
  }
  if (DGifGetImageDesc(gif.get()) == GIF_ERROR) return failed("the GIF is damaged");
  const GifImageDesc& frame = gif->Image;
  const ColorMapObject* colours = frame.ColorMap != nullptr ? frame.ColorMap : gif->SColorMap;
  if (colours == nullptr) return failed("the GIF has no colour table");
  if (frame.Width <= 0 || frame.Height <= 0) return failed("the GIF's image is empty");

  // The canvas is the logical screen; a file that gives none takes the frame's extent.
  const size_t width = gif->SWidth > 0 ? size_t(gif->SWidth) : size_t(frame.Left) + size_t(frame.Width);
  const size_t height = gif->SHeight > 0 ? size_t(gif->SHeight) : size_t(frame.Top) + size_t(frame.Height);
  if (width > largestSide || height > largestSide || width * height > pixelBudget) {
    why = std::to_string(width) + " x " + std::to_string(height) + " pixels is more than a picture may have";
    return nullptr;
  }

  std::vector<UInt8> argb(width * height * 4, 0);  // transparent where the frame does not reach
  std::vector<GifPixelType> line(size_t(frame.Width));
  for (int row : RowOrder(frame.Height, frame.Interlace)) {
    if (DGifGetLine(gif.get(), line.data(), frame.Width) == GIF_ERROR) return failed("the GIF's image data is cut short");
    const size_t y = size_t(frame.Top) + size_t(row);
    if (y >= height) continue;
    for (int k = 0; k < frame.Width; ++k) {
      const size_t x = size_t(frame.Left) + size_t(k);
      if (x >= width || line[size_t(k)] == transparent) continue;
      UInt8* p = &argb[(y * width + x) * 4];
      p[0] = 255;
      if (line[size_t(k)] < colours->ColorCount) {  // an index past the table stays black
        const GifColorType& c = colours->Colors[line[size_t(k)]];
        p[1] = c.Red, p[2] = c.Green, p[3] = c.Blue;
      }
    }
  }
  return CGImageCreateFromARGB(width, height, argb.data(), width * 4);
}
