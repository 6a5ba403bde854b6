#include "MediaSupport.h"

#include <gtest/gtest.h>

#include <fstream>

#include "media/AudioReader.h"
#include "media/ClipWriter.h"

FlatColour FlatClipColour(int n) { return {uint8_t(n), uint8_t(200 - n), 60}; }

std::string WriteFlatClip(const std::string& path, int frames, int width, int height, bool withAudio) {
  std::string error;
  auto w = ClipWriter::Create(path, OutputFormat::Matroska, width, height, 25, 1, withAudio, error);
  EXPECT_TRUE(w) << error;
  if (!w) return path;
  std::vector<uint8_t> px(size_t(width) * height * 4);
  std::vector<float> tone(1920 * 2, 0.1f);
  for (int n = 0; n < frames; ++n) {
    const FlatColour c = FlatClipColour(n);
    for (size_t k = 0; k < px.size(); k += 4) px[k] = 255, px[k + 1] = c.r, px[k + 2] = c.g, px[k + 3] = c.b;
    EXPECT_TRUE(w->WriteFrame(px.data(), width * 4, withAudio ? tone.data() : nullptr, withAudio ? 1920 : 0, error))
        << error;
  }
  EXPECT_TRUE(w->Finish(error)) << error;
  return path;
}

std::string WritePicture(const std::string& path, int width, int height, FlatColour c) {
  std::vector<uint8_t> px(size_t(width) * height * 4);
  for (size_t k = 0; k < px.size(); k += 4) px[k] = 255, px[k + 1] = c.r, px[k + 2] = c.g, px[k + 3] = c.b;
  std::string error;
  EXPECT_TRUE(WritePng(path, px.data(), width, height, width * 4, true, error)) << error;
  return path;
}

std::string WriteQuarteredPicture(const std::string& path, int width, int height, const FlatColour quarters[4]) {
  std::vector<uint8_t> px(size_t(width) * height * 4);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const FlatColour c = quarters[(y >= height / 2 ? 2 : 0) + (x >= width / 2 ? 1 : 0)];
      uint8_t* p = &px[(size_t(y) * width + x) * 4];
      p[0] = 255, p[1] = c.r, p[2] = c.g, p[3] = c.b;
    }
  std::string error;
  EXPECT_TRUE(WritePng(path, px.data(), width, height, width * 4, true, error)) << error;
  return path;
}

std::string WriteLines(const std::string& path, const std::vector<std::string>& lines) {
  std::ofstream out(path);
  for (const std::string& l : lines) out << l << "\n";
  return path;
}

std::vector<float> ReadAudio(const std::string& path, int64_t samples) {
  std::string error;
  auto reader = AudioReader::Open(path, error);
  EXPECT_TRUE(reader) << path << ": " << error;
  std::vector<float> audio(size_t(samples) * 2);
  if (reader) {
    EXPECT_TRUE(reader->Read(0, int(samples), audio.data(), error)) << error;
  }
  return audio;
}
