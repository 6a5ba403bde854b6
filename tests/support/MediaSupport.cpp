#include "MediaSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/display.h>
}

#include "TestSupport.h"

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

int Shell(const std::string& command) { return std::system(command.c_str()); }

std::vector<std::string> FrameTimes(const std::string& clip) {
  TempDir dir;
  EXPECT_EQ(Shell("ffprobe -v error -select_streams v -show_entries frame=pts_time -of default=nw=1:nk=1 " + Quoted(clip) +
                  " > " + Quoted(dir / "times")),
            0);
  std::vector<std::string> times;
  std::ifstream in(dir / "times");
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) times.push_back(line);
  return times;
}

double Duration(const std::string& clip) {
  TempDir dir;
  EXPECT_EQ(Shell("ffprobe -v error -show_entries format=duration -of default=nw=1:nk=1 " + Quoted(clip) + " > " +
                  Quoted(dir / "duration")),
            0);
  std::ifstream in(dir / "duration");
  double seconds = 0;
  in >> seconds;
  return seconds;
}

double SoundEnds(const std::string& clip) {
  TempDir dir;
  EXPECT_EQ(Shell("ffprobe -v error -select_streams a:0 -show_entries packet=pts_time,duration_time -of csv=p=0 " +
                  Quoted(clip) + " | tail -1 > " + Quoted(dir / "end")),
            0);
  std::ifstream in(dir / "end");
  double at = 0, lasting = 0;
  char comma;
  in >> at >> comma >> lasting;
  return at + lasting;
}

void TagDisplayMatrix(const std::string& in, const std::string& out, double clockwise, bool mirror) {
  AVFormatContext *from = nullptr, *to = nullptr;
  ASSERT_EQ(avformat_open_input(&from, in.c_str(), nullptr, nullptr), 0) << in;
  ASSERT_GE(avformat_find_stream_info(from, nullptr), 0);
  ASSERT_GE(avformat_alloc_output_context2(&to, nullptr, nullptr, out.c_str()), 0) << out;
  for (unsigned k = 0; k < from->nb_streams; ++k) {
    AVStream* s = avformat_new_stream(to, nullptr);
    avcodec_parameters_copy(s->codecpar, from->streams[k]->codecpar);
    s->codecpar->codec_tag = 0;
    s->time_base = from->streams[k]->time_base;
    if (s->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) continue;
    auto* m = reinterpret_cast<int32_t*>(av_stream_new_side_data(s, AV_PKT_DATA_DISPLAYMATRIX, 9 * sizeof(int32_t)));
    ASSERT_NE(m, nullptr);
    // The flip mirrors what is shown, after the turn.
    av_display_rotation_set(m, clockwise);
    av_display_matrix_flip(m, mirror, 0);
  }
  ASSERT_GE(avio_open(&to->pb, out.c_str(), AVIO_FLAG_WRITE), 0);
  ASSERT_GE(avformat_write_header(to, nullptr), 0);
  AVPacket* packet = av_packet_alloc();
  while (av_read_frame(from, packet) >= 0) {
    av_packet_rescale_ts(packet, from->streams[packet->stream_index]->time_base,
                         to->streams[packet->stream_index]->time_base);
    EXPECT_GE(av_interleaved_write_frame(to, packet), 0);
  }
  av_packet_free(&packet);
  EXPECT_GE(av_write_trailer(to), 0);
  avio_closep(&to->pb);
  avformat_free_context(to);
  avformat_close_input(&from);
}

ShownFrame ShowFrame(const std::string& clip, int n, const std::string& conversion) {
  TempDir dir;
  const std::string ppm = dir / "frame.ppm";
  const std::string filters = "select=eq(n\\," + std::to_string(n) + ")" + (conversion.empty() ? "" : "," + conversion);
  EXPECT_EQ(Shell("ffmpeg -loglevel error -y -i " + Quoted(clip) + " -vf " + Quoted(filters) +
                  " -frames:v 1 -pix_fmt rgb24 -c:v ppm -f image2 " + Quoted(ppm)),
            0);
  ShownFrame f;
  FILE* in = std::fopen(ppm.c_str(), "rb");
  if (in == nullptr) return f;
  int maxValue = 0;
  int width = 0, height = 0;
  if (std::fscanf(in, "P6 %d %d %d", &width, &height, &maxValue) == 3 && std::fgetc(in) != EOF && maxValue == 255 &&
      width > 0 && height > 0) {
    f.rgb.resize(size_t(width) * height * 3);
    if (std::fread(f.rgb.data(), 1, f.rgb.size(), in) == f.rgb.size())
      f.width = width, f.height = height;
    else
      f.rgb.clear();
  }
  std::fclose(in);
  return f;
}
