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

namespace {

// The white of the picture over a black clip: the sum of the red channel's
// weights, and their centroid.
struct WhiteSpot {
  double mass = 0, x = 0, y = 0;
};
WhiteSpot SpotOf(const std::vector<uint32_t>& frame, int channel = 0) {
  WhiteSpot s;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      const double w = At(frame, x, y)[channel] / 255.0;
      s.mass += w, s.x += w * (x + 0.5), s.y += w * (y + 0.5);
    }
  s.x /= s.mass, s.y /= s.mass;
  return s;
}

}  // namespace

// The motion through FFmpeg's frei0r filter, by its parameters 16 to 19: a
// slow glide lands on its exact place on every frame (smooth is the filter's
// default; FFmpeg writes a check box y or n); a fast one blurred over half
// a frame keeps all its white.
TEST_F(FilterInHosts, FFmpegDrawsTheMotionSmoothAndBlurred) {
  const std::string black = dir / "black.mkv", white = WritePicture(dir / "white.png", 40, 30, {255, 255, 255});
  ASSERT_EQ(Shell("ffmpeg -loglevel error -y -f lavfi -i color=c=black:s=320x240:r=25:d=1.2,format=rgba "
                  "-pix_fmt bgr0 -c:v ffv1 " + Quoted(black)),
            0);
  auto render = [&](const std::string& params, const std::string& name) {
    const std::string out = dir / (name + ".mkv");
    EXPECT_EQ(Shell(environment + "ffmpeg -loglevel error -y -i " + Quoted(black) + " -vf " +
                    Quoted("frei0r=filter_name=quorvel:filter_params=" + params) + " -pix_fmt bgr0 -c:v ffv1 " +
                    Quoted(out)),
              0);
    return RawFrames(out, dir / (name + ".rgba"));
  };
  // 32 pixels to the right between 0 and 1160 ms: under a pixel a frame.
  const auto slow = render(white + "|0.1|0.2|0.125|0.125|0.2|0.2|0.125|0.125|0|1160|0|0xffffff|1|0|normal", "slow");
  ASSERT_EQ(slow.size(), size_t(kFrames));
  double worst = 0;
  for (int k = 0; k < kFrames; ++k) {
    const double left = 32 + 32.0 * k / 29;
    worst = std::max(worst, std::fabs(SpotOf(slow[k]).x - (left + 20)));
  }
  EXPECT_LT(worst, 0.05);
  // 200 pixels in 10 frames, a half shutter: blurred over 10 pixels, and
  // the white's sum unchanged from a sharp frame's.
  const auto fast = render(white + "|0|0.2|0.125|0.125|0.625|0.2|0.125|0.125|0|400|0|0xffffff|1|0|normal|y|linear|0|0.5",
                           "fast");
  ASSERT_EQ(fast.size(), size_t(kFrames));
  EXPECT_NEAR(SpotOf(fast[5]).mass, 40 * 30, 2);
  int partial = 0;
  for (int x = 0; x < kW; ++x) partial += At(fast[5], x, 60)[0] > 0 && At(fast[5], x, 60)[0] < 255;
  EXPECT_NEAR(partial, 20, 4);  // 10 on each side
}

// melt by the parameters' names: ease-in and half a turn of spin. The
// picture's left half is white, its right half red, so its turn shows where
// the white lies from the centre.
TEST_F(FilterInHosts, MeltEasesAndSpinsByTheParametersNames) {
  const std::string black = dir / "black.mkv";
  ASSERT_EQ(Shell("ffmpeg -loglevel error -y -f lavfi -i color=c=black:s=320x240:r=25:d=1.2,format=rgba "
                  "-pix_fmt bgr0 -c:v ffv1 " + Quoted(black)),
            0);
  const FlatColour halves[4] = {{255, 255, 255}, {255, 0, 0}, {255, 255, 255}, {255, 0, 0}};
  const std::string halved = WriteQuarteredPicture(dir / "halves.png", 60, 20, halves);
  const std::string out = dir / "eased.mkv";
  const std::string filter = " -filter frei0r.quorvel picture=" + Quoted(halved) +
                             " 'start left=0.1' 'start top=0.4' 'start width=0.1875' 'start height=0.0833333'"
                             " 'end left=0.6' 'end top=0.4' 'end width=0.1875' 'end height=0.0833333'"
                             " 'start time=0' 'end time=0.8' easing=ease-in spin=0.5";
  ASSERT_EQ(Shell(environment + "melt -quiet " + Quoted(black) + filter + " -consumer avformat:" + Quoted(out) +
                  " vcodec=ffv1 pix_fmt=bgr0 an=1 >/dev/null 2>&1"),
            0);
  const auto frames = RawFrames(out, dir / "eased.rgba");
  ASSERT_EQ(frames.size(), size_t(kFrames));
  for (const int k : {0, 10, 20}) {
    const double t = k / 20.0, eased = t * t * t, turn = 0.5 * eased * 2 * M_PI;
    const WhiteSpot all = SpotOf(frames[k], 0), whiteHalf = SpotOf(frames[k], 1);
    EXPECT_NEAR(all.x, 32 + 160 * eased + 30, 0.5) << "frame " << k;
    EXPECT_NEAR(whiteHalf.x - all.x, -15 * std::cos(turn), 0.5) << "frame " << k;
    EXPECT_NEAR(whiteHalf.y - all.y, 15 * std::sin(turn), 0.5) << "frame " << k;
  }
}

// A project melt saves keeps its picture: parameter 0 is "resource", which
// MLT's XML reader makes absolute against the project's folder as it does
// its clips' files. Moved with its picture, or naming one elsewhere by its
// absolute path, the project still draws it; "picture" still sets it.
TEST_F(FilterInHosts, AMeltProjectKeepsItsPictureWhereverItGoes) {
  const std::string red = WritePicture(dir / "red.png", 40, 30, {255, 0, 0});
  const std::string elsewhere = WritePicture(dir / "elsewhere.png", 40, 30, {255, 0, 0});
  ASSERT_EQ(Shell("mkdir " + Quoted(dir / "project") + " && cp " + Quoted(red) + " " + Quoted(dir / "project/red.png") +
                  " && ffmpeg -loglevel error -y -f lavfi -i color=c=black:s=320x240:r=25:d=1.2,format=rgba "
                  "-pix_fmt bgr0 -c:v ffv1 " + Quoted(dir / "project/black.mkv")),
            0);
  struct Case {
    const char* what;
    std::string setting;
  } cases[] = {{"a picture beside the project", "resource=" + Quoted(dir / "project/red.png")},
               {"a picture elsewhere, by its absolute path", "resource=" + Quoted(elsewhere)},
               {"the parameter's earlier name", "picture=" + Quoted(elsewhere)}};
  int k = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string from = dir / ("project" + std::to_string(k)), to = dir / ("moved" + std::to_string(k++));
    ASSERT_EQ(Shell("cp -r " + Quoted(dir / "project") + " " + Quoted(from) + " && cd " + Quoted(from) + " && " +
                    environment + "melt -quiet black.mkv -filter frei0r.quorvel " + c.setting +
                    " -consumer xml:project.mlt no_root=1 >/dev/null 2>&1 && mv " + Quoted(from) + " " + Quoted(to)),
              0);
    const std::string out = dir / "rendered.mkv";
    ASSERT_EQ(Shell("cd / && " + environment + "melt -quiet " + Quoted(to + "/project.mlt") + " -consumer avformat:" +
                    Quoted(out) + " vcodec=ffv1 pix_fmt=bgr0 an=1 >/dev/null 2>&1"),
              0);
    const auto frames = RawFrames(out, dir / "rendered.rgba");
    ASSERT_EQ(frames.size(), size_t(kFrames));
    // The whole frame is the picture's: the rectangles' defaults.
    EXPECT_TRUE(Near(frames[0], kW / 2, kH / 2, 255, 0, 0));
  }
}
