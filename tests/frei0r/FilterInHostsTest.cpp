// The filter in the real FFmpeg and melt: each renders a generated clip
// with the picture of four quarters, read back where the test says it lands.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "FilterChecks.h"
#include "TestSupport.h"

namespace {

using namespace filterchecks;

constexpr int kFrames = 30;  // 1.2 s at 25 frames a second

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

int Shell(const std::string& command) { return std::system(command.c_str()); }

// The clip's frames as R,G,B,A.
std::vector<std::vector<uint32_t>> RawFrames(const std::string& clip, const std::string& raw) {
  EXPECT_EQ(Shell("ffmpeg -loglevel error -y -i " + Quoted(clip) + " -f rawvideo -pix_fmt rgba " + Quoted(raw)), 0);
  std::ifstream in(raw, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::vector<uint32_t>> frames(bytes.size() / (size_t(kW) * kH * 4), std::vector<uint32_t>(size_t(kW) * kH));
  for (size_t k = 0; k < frames.size(); ++k) std::memcpy(frames[k].data(), &bytes[k * kW * kH * 4], size_t(kW) * kH * 4);
  return frames;
}

class FilterInHosts : public ::testing::Test {
 protected:
  void SetUp() override {
    // An instrumented filter cannot be loaded by programs that are not.
    if (kUnderSanitizers) GTEST_SKIP() << "FFmpeg and melt load only the normal build's filter";
    picture = WriteQuarteredPicture(dir / "quarters.png", 64, 48, kQuarters);
    clip = dir / "video.mkv";
    ASSERT_EQ(Shell("ffmpeg -loglevel error -y -f lavfi -i color=c=0x406080:s=320x240:r=25:d=1.2,format=rgba "
                    "-pix_fmt bgr0 -c:v ffv1 " + Quoted(clip)),
              0);
  }
  // Frames 0, 10, 20 and 25 are at the start, half way, the end and after it
  // when the glide runs from 0 to 0.8 s.
  void ExpectGlide(const std::vector<std::vector<uint32_t>>& frames, int quarterTurns) {
    ASSERT_EQ(frames.size(), size_t(kFrames));
    for (auto [frame, fraction] : {std::pair{0, 0.0}, {10, 0.5}, {20, 1.0}, {25, 1.0}}) {
      SCOPED_TRACE("frame " + std::to_string(frame));
      ExpectPictureAt(frames[frame], RectAt(fraction, kStart, kEnd), quarterTurns);
    }
  }
  static constexpr double kStart[4] = {0.1, 0.1, 0.25, 0.3}, kEnd[4] = {0.5, 0.45, 0.4, 0.5};
  const std::string environment = "FREI0R_PATH=" + Quoted(QUORVEL_FREI0R_DIR) + " ";
  TempDir dir;
  std::string picture, clip;
};

// FFmpeg passes each parameter in order, times in milliseconds.
std::string FFmpegParameters(const std::string& picture, double turn, const char* blend) {
  char text[512];
  std::snprintf(text, sizeof text, "%s|0.1|0.1|0.25|0.3|0.5|0.45|0.4|0.5|0|800|0|0xffffff|1|%g|%s", picture.c_str(),
                turn, blend);
  return text;
}

}  // namespace

TEST_F(FilterInHosts, FFmpegDrawsThePictureWhereItBelongsWithTimesInMilliseconds) {
  for (int quarterTurns : {0, 1}) {
    SCOPED_TRACE(std::to_string(quarterTurns) + " quarter turns");
    const std::string out = dir / ("ffmpeg" + std::to_string(quarterTurns) + ".mkv");
    ASSERT_EQ(Shell(environment + "ffmpeg -loglevel error -y -i " + Quoted(clip) + " -vf " +
                    Quoted("frei0r=filter_name=quorvel:filter_params=" +
                           FFmpegParameters(picture, quarterTurns * 0.25, "normal")) +
                    " -pix_fmt bgr0 -c:v ffv1 " + Quoted(out)),
              0);
    ExpectGlide(RawFrames(out, dir / "ffmpeg.rgba"), quarterTurns);
  }
  // Multiply over the video: the product of the two colours.
  const std::string out = dir / "multiply.mkv";
  ASSERT_EQ(Shell(environment + "ffmpeg -loglevel error -y -i " + Quoted(clip) + " -vf " +
                  Quoted("frei0r=filter_name=quorvel:filter_params=" + FFmpegParameters(picture, 0, "multiply")) +
                  " -pix_fmt bgr0 -c:v ffv1 " + Quoted(out)),
            0);
  const auto frames = RawFrames(out, dir / "multiply.rgba");
  ASSERT_EQ(frames.size(), size_t(kFrames));
  const PixelRect r = RectAt(1, kStart, kEnd);
  for (int q = 0; q < 4; ++q) {
    const Landing at = QuarterCentre(q, r.l, r.t, r.r - r.l, r.b - r.t, 0);
    const FlatColour c = kQuarters[q];
    EXPECT_TRUE(Near(frames[20], at.x, at.y, int(std::lround(c.r * kBack[0] / 255.0)),
                     int(std::lround(c.g * kBack[1] / 255.0)), int(std::lround(c.b * kBack[2] / 255.0))))
        << "quarter " << q;
  }
}

TEST_F(FilterInHosts, MeltDrawsThePictureWhereItBelongsWithTimesInSeconds) {
  for (int quarterTurns : {0, 1}) {
    SCOPED_TRACE(std::to_string(quarterTurns) + " quarter turns");
    const std::string out = dir / ("melt" + std::to_string(quarterTurns) + ".mkv");
    // Parameters by name, as MLT's editors set them.
    const std::string filter = " -filter frei0r.quorvel picture=" + Quoted(picture) +
                               " 'start left=0.1' 'start top=0.1' 'start width=0.25' 'start height=0.3'"
                               " 'end left=0.5' 'end top=0.45' 'end width=0.4' 'end height=0.5'"
                               " 'start time=0' 'end time=0.8' turn=" + std::to_string(quarterTurns * 0.25);
    ASSERT_EQ(Shell(environment + "melt -quiet " + Quoted(clip) + filter + " -consumer avformat:" + Quoted(out) +
                    " vcodec=ffv1 pix_fmt=bgr0 an=1 >/dev/null 2>&1"),
              0);
    ExpectGlide(RawFrames(out, dir / "melt.rgba"), quarterTurns);
  }
}
