#include "SampleClip.h"

#include <cmath>
#include <cstdint>
#include <vector>

#include "media/ClipReader.h"
#include "media/ClipWriter.h"

namespace {

constexpr int kRate = 25;

struct Canvas {
  int width, height;
  std::vector<uint8_t> argb;
  void Put(int x, int y, uint8_t r, uint8_t g, uint8_t b) {
    if (x < 0 || y < 0 || x >= width || y >= height) return;
    uint8_t* p = &argb[(size_t(y) * width + x) * 4];
    p[0] = 255, p[1] = r, p[2] = g, p[3] = b;
  }
  void Box(int x0, int y0, int w, int h, uint8_t r, uint8_t g, uint8_t b) {
    for (int y = y0; y < y0 + h; ++y)
      for (int x = x0; x < x0 + w; ++x) Put(x, y, r, g, b);
  }
};

// Seven-segment digits: segments a..g as bits 0..6.
const uint8_t kSegments[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};

void Digit(Canvas& c, int digit, int x, int y, int size) {
  const int t = size / 5, w = size, h = size * 2;
  const uint8_t s = kSegments[digit];
  if (s & 1) c.Box(x, y, w, t, 255, 255, 255);
  if (s & 2) c.Box(x + w - t, y, t, h / 2, 255, 255, 255);
  if (s & 4) c.Box(x + w - t, y + h / 2, t, h / 2, 255, 255, 255);
  if (s & 8) c.Box(x, y + h - t, w, t, 255, 255, 255);
  if (s & 16) c.Box(x, y + h / 2, t, h / 2, 255, 255, 255);
  if (s & 32) c.Box(x, y, t, h / 2, 255, 255, 255);
  if (s & 64) c.Box(x, y + h / 2 - t / 2, w, t, 255, 255, 255);
}

void DrawFrame(Canvas& c, int n) {
  // Colour bars drifting left, a ball crossing, the frame number in a box.
  static const uint8_t bars[7][3] = {{192, 192, 192}, {192, 192, 0}, {0, 192, 192}, {0, 192, 0},
                                     {192, 0, 192},   {192, 0, 0},   {0, 0, 192}};
  for (int y = 0; y < c.height; ++y)
    for (int x = 0; x < c.width; ++x) {
      const int bar = ((x + 4 * n) * 7 / c.width) % 7;
      const uint8_t shade = uint8_t(40 + 180 * y / c.height);
      c.Put(x, y, uint8_t(bars[bar][0] * shade / 220), uint8_t(bars[bar][1] * shade / 220),
            uint8_t(bars[bar][2] * shade / 220));
    }
  const double t = double(n) / kRate;
  const int bx = int(c.width * (0.1 + 0.8 * (0.5 + 0.5 * std::sin(t * 1.3))));
  const int by = int(c.height * (0.2 + 0.6 * (0.5 + 0.5 * std::cos(t * 2.1))));
  const int r = c.height / 12;
  for (int y = -r; y <= r; ++y)
    for (int x = -r; x <= r; ++x)
      if (x * x + y * y <= r * r) c.Put(bx + x, by + y, 255, 140, 0);
  const int size = c.height / 16;
  c.Box(size / 2, size / 2, 5 * (size + size / 2) + size / 2, 3 * size, 0, 0, 0);
  int value = n;
  for (int k = 4; k >= 0; --k, value /= 10) Digit(c, value % 10, size + k * (size + size / 2), size, size);
}

}  // namespace

bool WriteSampleClip(const std::string& path, int width, int height, int frames, std::string& error) {
  auto writer = ClipWriter::Create(path, OutputFormat::Mp4, width, height, kRate, 1, true, error);
  if (!writer) return false;
  Canvas canvas{width, height, std::vector<uint8_t>(size_t(width) * height * 4)};
  const int perFrame = kAudioRate / kRate;
  std::vector<float> tone(size_t(perFrame) * kAudioChannels);
  for (int n = 0; n < frames; ++n) {
    DrawFrame(canvas, n);
    for (int k = 0; k < perFrame; ++k) {
      const double t = double(n * perFrame + k) / kAudioRate;
      const float v = float(0.2 * std::sin(2 * M_PI * 440 * t));
      tone[size_t(2 * k)] = tone[size_t(2 * k + 1)] = v;
    }
    if (!writer->WriteFrame(canvas.argb.data(), width * 4, tone.data(), perFrame, error)) return false;
  }
  return writer->Finish(error);
}
