// Writes small image files as seeds for the import fuzz target: the first
// byte of each seed picks the extension the fuzz target gives the file.
#include <OpenImageIO/imageio.h>
#include <gif_lib.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string folder = argv[1];
  const char* extensions[] = {".png", ".jpg", ".tif", ".gif", ".bmp", ".webp", ".psd", ".tga"};
  for (int k = 0; k < 8; ++k) {
    if (k == 6) continue;  // no writer for Photoshop files
    const std::string temp = folder + "/seed" + extensions[k];
    auto out = OIIO::ImageOutput::create(temp);
    if (!out) continue;
    const int channels = (k == 1 || k == 3) ? 3 : 4;
    OIIO::ImageSpec spec(9, 7, channels, OIIO::TypeDesc::UINT8);
    std::vector<unsigned char> px(9 * 7 * size_t(channels));
    for (size_t i = 0; i < px.size(); ++i) px[i] = (unsigned char)(i * 37);
    if (!out->open(temp, spec) || !out->write_image(OIIO::TypeDesc::UINT8, px.data())) continue;
    out->close();
    std::ifstream in(temp, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::ofstream seed(folder + "/seed-" + std::to_string(k), std::ios::binary);
    seed.put(char(k));
    seed.write(bytes.data(), std::streamsize(bytes.size()));
    std::remove(temp.c_str());
  }
  // A GIF with what OpenImageIO does not write: a transparent colour, a local
  // colour table, interlaced rows, a first frame inside a larger screen.
  const std::string temp = folder + "/seed.gif";
  int error = 0;
  GifFileType* gif = EGifOpenFileName(temp.c_str(), false, &error);
  if (gif == nullptr) return 1;
  EGifSetGifVersion(gif, true);
  const GifColorType colours[4] = {{200, 30, 10}, {250, 200, 0}, {10, 20, 30}, {255, 255, 255}};
  ColorMapObject* map = GifMakeMapObject(4, colours);
  EGifPutScreenDesc(gif, 12, 10, 8, 0, map);
  GraphicsControlBlock gcb{DISPOSAL_UNSPECIFIED, false, 10, 1};
  GifByteType extension[4];
  EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(EGifGCBToExtension(&gcb, extension)), extension);
  EGifPutImageDesc(gif, 2, 1, 9, 8, true, map);
  GifPixelType line[9];
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 9; ++x) line[x] = GifPixelType((x + y) % 4);
    EGifPutLine(gif, line, 9);
  }
  GifFreeMapObject(map);
  if (EGifCloseFile(gif, &error) != GIF_OK) return 1;
  std::ifstream in(temp, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::ofstream seed(folder + "/seed-gif-transparent", std::ios::binary);
  seed.put(char(3));  // the ".gif" extension
  seed.write(bytes.data(), std::streamsize(bytes.size()));
  std::remove(temp.c_str());
  return 0;
}
