// Clips shaped like a phone's and a camera's come out as they play: each
// frame at its own time, turned upright, with the streams and the
// description the clip carries.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "HostRun.h"
#include "MediaSupport.h"
#include "TestSupport.h"
#include "media/ClipReader.h"

namespace {

// A phone's variable rate: 50 frames at 25 a second, then 50 at 10. Each
// frame comes out at the time it has in the clip, in MP4 and Matroska, the
// effect's range counted in frames as before.
TEST(ClipsAsTheyPlay, AVariableRateClipKeepsEveryFramesTime) {
  TempDir config, dir;
  const std::string clip = dir / "phone.mp4";
  ASSERT_EQ(Shell("ffmpeg -loglevel error -y -f lavfi -i testsrc2=s=160x120:r=25:d=2 -f lavfi -i testsrc2=s=160x120:r=10:d=5 "
                  "-f lavfi -i sine=f=440:d=6.9 -filter_complex '[0][1]concat=n=2:v=1:a=0[v]' -map '[v]' -map 2:a "
                  "-fps_mode vfr -c:v libx264 -preset fast -c:a aac " + Quoted(clip)),
            0);
  const std::vector<std::string> source = FrameTimes(clip);
  ASSERT_GE(source.size(), 90u);
  HostRun described = Host("info " + Quoted(clip), config.path());
  EXPECT_NE(described.out.find("Rate:          variable: each frame keeps its own time"), std::string::npos)
      << described.out << described.err;
  for (const char* format : {"mp4", "mkv"}) {
    SCOPED_TRACE(format);
    const std::string out = dir / (std::string("out.") + format);
    HostRun r = Host("render " + Quoted(clip) + " -o " + Quoted(out) + " --format " + format + " --start 40 --count 30",
                     config.path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(FrameTimes(out), source);
    std::string error;
    auto rendered = ClipReader::Open(out, error);
    ASSERT_TRUE(rendered) << error;
    EXPECT_TRUE(rendered->info().variableRate);
    // As long as the clip, within a frame of its slower part, and its sound
    // as long as its pictures: no frame's sound is squeezed to the rate.
    EXPECT_NEAR(Duration(out), Duration(clip), 0.1);
    EXPECT_NEAR(SoundEnds(out), Duration(clip), 0.1);
  }
}


// Where a frame shows the stored white quarter of the turned clips below:
// each quarter's middle is white or grey. A frame shorter than `h` fails.
void ExpectWhiteQuarter(const ShownFrame& f, int w, int h, int column, int row) {
  ASSERT_EQ(f.width, w);
  ASSERT_EQ(f.height, h);
  for (int qy = 0; qy < 2; ++qy)
    for (int qx = 0; qx < 2; ++qx) {
      const uint8_t* p = f.at(w / 4 + qx * w / 2, h / 4 + qy * h / 2);
      EXPECT_NEAR(p[1], qx == column && qy == row ? 255 : 128, 16) << "quarter " << qx << ", " << qy;
    }
}

// A phone's clip, 64 x 36 stored, grey with its stored top left quarter
// white, turned as its display matrix says. The dialog and the render see
// it as a player shows it: the red picture put in the bottom left of the
// shown frame (from 5 % to 45 % across, 55 % to 95 % down) lands there, and
// the output shows the same frame with nothing left to turn.
TEST(ClipsAsTheyPlay, ATurnedClipComesOutUprightWithThePictureWhereItWasPut) {
  TempDir config, dir;
  // A phone's 4:2:0 H.264 in MP4, and a camera's 4:2:2 10-bit ProRes in
  // QuickTime, whose chroma cannot be turned a quarter as it is.
  const std::string frame = "color=c=gray:s=64x36:r=25:d=0.4,drawbox=x=0:y=0:w=32:h=18:color=white:t=fill ";
  const std::string phoneStored = dir / "stored.mp4", cameraStored = dir / "stored.mov";
  ASSERT_EQ(Shell("ffmpeg -loglevel error -y -f lavfi -i " + frame + "-c:v libx264 -pix_fmt yuv420p " +
                  Quoted(phoneStored) + " && ffmpeg -loglevel error -y -f lavfi -i " + frame +
                  "-c:v prores_ks -pix_fmt yuv422p10le " + Quoted(cameraStored)),
            0);
  const FlatColour red = {220, 20, 20};
  const std::string picture = WritePicture(dir / "red.png", 40, 40, red);
  const std::string script = WriteLines(dir / "s.txt", {
      "picture " + picture, "drag 0.001 0.001 0.05 0.55", "drag 0.999 0.999 0.45 0.95", "rect end",
      "drag 0.001 0.001 0.05 0.55", "drag 0.999 0.999 0.45 0.95", "slider opacity 100", "ok"});
  struct Case {
    int clockwise;
    bool mirror;
    int w;                        // the shown width; 64 x 36 either way round
    int whiteColumn, whiteRow;    // where the stored top left quarter shows
    bool camera = false;
  };
  // Turned a quarter clockwise, the stored top left goes to the top right;
  // mirrored left to right after that, back to the top left.
  for (const Case c : {Case{90, false, 36, 1, 0}, Case{180, false, 64, 1, 1}, Case{270, false, 36, 0, 1},
                       Case{90, true, 36, 0, 0}, Case{180, true, 64, 0, 1}, Case{0, true, 64, 1, 0},
                       Case{90, false, 36, 1, 0, true}, Case{180, true, 64, 0, 1, true}}) {
    SCOPED_TRACE(std::to_string(c.clockwise) + (c.mirror ? " mirrored" : "") + (c.camera ? ", ProRes 4:2:2" : ""));
    const int w = c.w, h = 64 * 36 / w;
    const std::string phone = dir / (c.camera ? "camera.mov" : "phone.mp4");
    TagDisplayMatrix(c.camera ? cameraStored : phoneStored, phone, c.clockwise, c.mirror);
    // FFmpeg's player shows it so, and the host says so.
    ExpectWhiteQuarter(ShowFrame(phone, 3), w, h, c.whiteColumn, c.whiteRow);
    const std::string described = Host("info " + Quoted(phone), config.path()).out;
    EXPECT_NE(described.find("Shown:         " + std::to_string(w) + " x " + std::to_string(h) + "\n"),
              std::string::npos) << described;
    for (const char* format : {"mp4", "mkv"}) {
      SCOPED_TRACE(format);
      const std::string out = dir / (std::string("out.") + format);
      HostRun r = Host("render " + Quoted(phone) + " -o " + Quoted(out) + " --overwrite --format " + format +
                           " --configure --script " + Quoted(script),
                       config.path());
      ASSERT_EQ(r.status, 0) << r.err;
      const std::string told = "turned upright: stored 64 x 36, shown " +
                               (c.mirror ? std::string("mirrored") : "turned " + std::to_string(c.clockwise));
      EXPECT_NE(r.err.find(told), std::string::npos) << r.err;
      std::string error;
      auto rendered = ClipReader::Open(out, error);
      ASSERT_TRUE(rendered) << error;
      EXPECT_EQ(rendered->info().storedWidth, w);
      EXPECT_EQ(rendered->info().turnedDegrees, 0);
      EXPECT_FALSE(rendered->info().mirrored);
      const ShownFrame frame = ShowFrame(out, 3);
      // The picture's middle is red; the quarters' middles are the clip's.
      ASSERT_EQ(frame.width, w);
      ASSERT_EQ(frame.height, h);
      for (int y = int(0.6 * h); y < int(0.9 * h); ++y)
        for (int x = int(0.1 * w); x < int(0.4 * w); ++x) {
          EXPECT_NEAR(frame.at(x, y)[0], red.r, 16) << x << ", " << y;
          EXPECT_NEAR(frame.at(x, y)[1], red.g, 16) << x << ", " << y;
        }
      // Off the picture: the quarter above it and those on the right.
      for (int qy = 0; qy < 2; ++qy)
        for (int qx = 0; qx < 2; ++qx) {
          if (qx == 0 && qy == 1) continue;
          const uint8_t* p = frame.at(w / 4 + qx * w / 2, h / 4 + qy * h / 2);
          EXPECT_NEAR(p[1], qx == c.whiteColumn && qy == c.whiteRow ? 255 : 128, 16) << "quarter " << qx << ", " << qy;
        }
    }
  }
}

}  // namespace

namespace {

// What ffprobe says of a clip, `key=value` a line.
std::string Probe(const std::string& clip, const std::string& entries) {
  TempDir dir;
  EXPECT_EQ(Shell("ffprobe -v error " + entries + " -of default=nw=1 " + Quoted(clip) + " > " + Quoted(dir / "probe")), 0);
  return ReadText(dir / "probe");
}

size_t Count(const std::string& text, const std::string& line) {
  size_t n = 0;
  for (size_t at = text.find(line + "\n"); at != std::string::npos; at = text.find(line + "\n", at + 1))
    n += at == 0 || text[at - 1] == '\n';
  return n;
}

// Zero crossings a second of a stream's first channel: twice its tone's frequency.
double Crossings(const std::string& clip, const std::string& stream) {
  TempDir dir;
  EXPECT_EQ(Shell("ffmpeg -loglevel error -y -i " + Quoted(clip) + " -map 0:" + stream +
                  " -ac 1 -ar 48000 -f f32le -c:a pcm_f32le " + Quoted(dir / "pcm")),
            0);
  std::ifstream in(dir / "pcm", std::ios::binary);
  std::vector<float> s;
  for (float v; in.read(reinterpret_cast<char*>(&v), sizeof v);) s.push_back(v);
  int n = 0;
  for (size_t k = 1; k < s.size(); ++k) n += (s[k - 1] < 0) != (s[k] < 0);
  return s.empty() ? 0 : n * 48000.0 / s.size();
}

// A camera's clip with a second, commentary sound in PCM, subtitles, two
// chapters and a description. Matroska takes all of it as it is; MP4 takes
// the commentary encoded anew and the chapters (which it keeps as a text
// track of its own), and the summary names the subtitles it cannot hold.
TEST(ClipsAsTheyPlay, EveryStreamAndTheDescriptionComeAlongWhereTheContainerHoldsThem) {
  TempDir config, dir;
  const std::string subtitles = WriteLines(dir / "s.srt", {"1", "00:00:00,200 --> 00:00:01,000", "Hello", "",
                                                            "2", "00:00:01,200 --> 00:00:01,800", "Goodbye", ""});
  const std::string chapters = WriteLines(dir / "chapters.txt", {";FFMETADATA1", "[CHAPTER]", "TIMEBASE=1/1000",
                                                                 "START=0", "END=1000", "title=Arrival", "[CHAPTER]",
                                                                 "TIMEBASE=1/1000", "START=1000", "END=2000",
                                                                 "title=Departure"});
  const std::string clip = dir / "camera.mkv";
  ASSERT_EQ(Shell("ffmpeg -loglevel error -y -f lavfi -i testsrc2=s=160x120:r=25:d=2 -f lavfi -i sine=f=440:d=2 "
                  "-f lavfi -i sine=f=880:d=2:sample_rate=44100 -i " + Quoted(subtitles) + " -i " + Quoted(chapters) +
                  " -map 0:v -map 1:a -map 2:a -map 3:s -map_chapters 4 -c:v libx264 -preset fast -c:a:0 aac "
                  "-c:a:1 pcm_s16le -ac:a:1 1 -c:s srt -metadata:s:a:1 title=Commentary -metadata:s:a:1 language=fre "
                  "-metadata title='A walk' -metadata creation_time=2026-05-01T10:20:30.000000Z "
                  "-metadata location=+48.8566+002.3522/ " + Quoted(clip)),
            0);
  struct Case {
    const char* format;
    const char* commentaryCodec;
    int subtitleStreams;
  };
  for (const Case c : {Case{"mkv", "pcm_s16le", 1}, Case{"mp4", "aac", 0}}) {
    SCOPED_TRACE(c.format);
    const std::string out = dir / (std::string("out.") + c.format);
    HostRun r = Host("render " + Quoted(clip) + " -o " + Quoted(out) + " --format " + c.format + " --start 10 --count 20",
                     config.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string streams = Probe(out, "-show_entries stream=codec_type,codec_name,channels:stream_tags=title,language");
    EXPECT_EQ(Count(streams, "codec_type=video"), 1u) << streams;
    EXPECT_EQ(Count(streams, "codec_type=audio"), 2u) << streams;
    EXPECT_EQ(Count(streams, "codec_type=subtitle"), size_t(c.subtitleStreams)) << streams;
    EXPECT_EQ(Count(streams, std::string("codec_name=") + c.commentaryCodec), std::string(c.format) == "mp4" ? 2u : 1u)
        << streams;
    // MP4 keeps a stream's language and not its title.
    EXPECT_EQ(Count(streams, "TAG:title=Commentary"), c.subtitleStreams ? 1u : 0u) << streams;
    EXPECT_EQ(Count(streams, "TAG:language=fre"), 1u) << streams;
    EXPECT_EQ(Count(streams, "channels=1"), 1u) << streams;
    // The commentary is the commentary, as long as the clip.
    EXPECT_NEAR(Crossings(out, "a:1"), 2 * 880, 10);
    EXPECT_NEAR(Crossings(out, "a:0"), 2 * 440, 10);
    const std::string description =
        Probe(out, "-show_entries format_tags=title,creation_time,location:chapter=start_time:chapter_tags=title");
    EXPECT_EQ(Count(description, "TAG:title=A walk"), 1u) << description;
    EXPECT_EQ(Count(description, "TAG:creation_time=2026-05-01T10:20:30.000000Z"), 1u) << description;
    EXPECT_NE(description.find("=+48.8566+002.3522/\n"), std::string::npos) << description;  // the location
    EXPECT_EQ(Count(description, "TAG:title=Arrival"), 1u) << description;
    EXPECT_EQ(Count(description, "TAG:title=Departure"), 1u) << description;
    const bool told = r.err.find("left out: stream 3, subtitles (subrip): MP4 cannot hold it") != std::string::npos;
    EXPECT_EQ(told, c.subtitleStreams == 0) << r.err;
    if (c.subtitleStreams == 0) continue;
    // The subtitles say what they said, when they said it.
    ASSERT_EQ(Shell("ffmpeg -loglevel error -y -i " + Quoted(out) + " -map 0:s " + Quoted(dir / "back.srt")), 0);
    const std::string back = ReadText(dir / "back.srt");
    EXPECT_NE(back.find("00:00:00,200 --> 00:00:01,000\nHello"), std::string::npos) << back;
    EXPECT_NE(back.find("00:00:01,200 --> 00:00:01,800\nGoodbye"), std::string::npos) << back;
  }
}

}  // namespace

namespace {

// When a clip's frames flash white, in seconds on its timeline as FFmpeg
// plays it (from the video's start time, frames at 25 a second).
std::vector<double> FlashTimes(const std::string& clip) {
  TempDir dir;
  EXPECT_EQ(Shell("ffmpeg -loglevel error -y -i " + Quoted(clip) + " -map 0:v -vf scale=8:8,format=gray -f rawvideo " +
                  Quoted(dir / "grey") + " && ffprobe -v error -select_streams v -show_entries stream=start_time " +
                  "-of default=nw=1:nk=1 " + Quoted(clip) + " > " + Quoted(dir / "start")),
            0);
  double start = 0;
  std::ifstream(dir / "start") >> start;
  std::ifstream in(dir / "grey", std::ios::binary);
  std::vector<double> flashes;
  char frame[64];
  for (int n = 0; in.read(frame, sizeof frame); ++n)
    if (static_cast<unsigned char>(frame[27]) > 128) flashes.push_back(start + n / 25.0);
  return flashes;
}

// When a clip's first sound beeps, in seconds on the same timeline.
std::vector<double> BeepTimes(const std::string& clip) {
  TempDir dir;
  EXPECT_EQ(Shell("ffmpeg -loglevel error -y -i " + Quoted(clip) + " -map 0:a:0 -af aresample=async=1:first_pts=0 " +
                  "-ac 1 -ar 48000 -f f32le -c:a pcm_f32le " + Quoted(dir / "pcm")),
            0);
  std::ifstream in(dir / "pcm", std::ios::binary);
  std::vector<double> beeps;
  long quiet = 48000;
  float v;
  for (long k = 0; in.read(reinterpret_cast<char*>(&v), sizeof v); ++k) {
    if (std::fabs(v) > 0.1f && quiet > 4800) beeps.push_back(k / 48000.0);
    quiet = std::fabs(v) > 0.1f ? 0 : quiet + 1;
  }
  return beeps;
}

// Flashes at frames 20, 45 and 60 of a 3-second clip and a beep at each,
// with the sound starting half a second after the pictures and half a
// second before them. Every beep comes out on its flash's frame; a beep
// before the first frame is cut, as the sound before it is.
TEST(ClipsAsTheyPlay, EveryBeepStaysOnItsFlashWhereverTheSoundStarts) {
  TempDir config, dir;
  const std::string flashes = "color=c=black:s=64x48:r=25:d=3,drawbox=c=white:t=fill:"
                              "enable='eq(n\\,20)+eq(n\\,45)+eq(n\\,60)'";
  // Beeps of 40 ms at the given times of the sound's own clock.
  auto beeps = [](double a, double b, double c, double extra) {
    auto at = [](double t) { return "between(t\\," + std::to_string(t) + "\\," + std::to_string(t + 0.04) + ")"; };
    return "aevalsrc='(" + at(a) + "+" + at(b) + "+" + at(c) + "+" + at(extra) + ")*0.5*sin(2*PI*1000*t)':s=48000:d=3.5";
  };
  struct Case {
    const char* name;
    std::string inputs;
    size_t sourceBeeps;
  };
  const Case cases[] = {
      {"sound half a second late", "-f lavfi -i \"" + flashes + "\" -itsoffset 0.5 -f lavfi -i \"" +
                                       beeps(0.3, 1.3, 1.9, 2.9) + "\"", 4},
      {"sound half a second early", "-itsoffset 0.5 -f lavfi -i \"" + flashes + "\" -f lavfi -i \"" +
                                        beeps(0.2, 1.3, 2.3, 2.9) + "\"", 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string clip = dir / "clip.mp4", out = dir / "out.mp4";
    ASSERT_EQ(Shell("ffmpeg -loglevel error -y " + c.inputs + " -c:v libx264 -c:a aac -fps_mode passthrough -shortest " + Quoted(clip)),
              0);
    const std::vector<double> shown = FlashTimes(clip), heard = BeepTimes(clip);
    ASSERT_EQ(shown.size(), 3u);
    ASSERT_GE(heard.size(), 3u);
    HostRun r = Host("render " + Quoted(clip) + " -o " + Quoted(out) + " --overwrite", config.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<double> outShown = FlashTimes(out), outHeard = BeepTimes(out);
    ASSERT_EQ(outShown.size(), 3u);
    // The beeps on the frames' timeline: only those from the first frame on.
    ASSERT_EQ(outHeard.size(), 3u);
    for (size_t k = 0; k < 3; ++k) {
      EXPECT_NEAR(outShown[k], shown[k] - shown[0] + outShown[0], 0.001) << "flash " << k;
      EXPECT_NEAR(outHeard[k], outShown[k], 0.04) << "beep " << k;
    }
  }
}

}  // namespace
