// Whole clips rendered by the host with the plug-in's own entry point, on
// small clips made here: what lands in the output, frame by frame.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <fstream>

#include "../render/RenderSupport.h"
#include "MediaSupport.h"
#include "RenderJob.h"
#include "TestSupport.h"
#include "effect/PluginData.h"
#include "host/HostEntry.h"
#include "media/ClipReader.h"
#include "media/ClipWriter.h"
#include "memory/MacMemory.h"

namespace {

constexpr int kW = 96, kH = 64, kFrames = 20;

// Frame n: a flat colour from its number; a 480 Hz tone throughout.
std::vector<uint8_t> SourceFrame(int n) {
  std::vector<uint8_t> px(size_t(kW) * kH * 4);
  for (size_t k = 0; k < px.size(); k += 4) px[k] = 255, px[k + 1] = uint8_t(10 * n), px[k + 2] = 100, px[k + 3] = uint8_t(200 - 5 * n);
  return px;
}

void WriteSourceClip(const std::string& path) {
  std::string error;
  auto w = ClipWriter::Create(path, OutputFormat::Matroska, kW, kH, 25, 1, true, error);
  ASSERT_TRUE(w) << error;
  std::vector<float> tone(1920 * 2);
  for (int n = 0; n < kFrames; ++n) {
    for (int k = 0; k < 1920; ++k) tone[size_t(2 * k)] = tone[size_t(2 * k + 1)] = float(0.3 * std::sin(2 * M_PI * 480 * (n * 1920 + k) / 48000.0));
    ASSERT_TRUE(w->WriteFrame(SourceFrame(n).data(), kW * 4, tone.data(), 1920, error)) << error;
  }
  ASSERT_TRUE(w->Finish(error)) << error;
}

std::vector<uint8_t> ReadBack(ClipReader& clip, int n) {
  std::vector<uint8_t> px(size_t(kW) * kH * 4);
  EXPECT_TRUE(clip.ReadFrame(n, kW, kH, true, px.data(), kW * 4)) << "frame " << n;
  return px;
}

Pixel At(const std::vector<uint8_t>& px, int x, int y) {
  const uint8_t* p = &px[(size_t(y) * kW + x) * 4];
  return {p[0], p[1], p[2], p[3]};
}

// Entry points that stand for a faulty plug-in.
SInt32 FailsOnFrameThree(SInt16 which, HYPluginParams* params) {
  if (params->selector == kPlugDoFrame && params->renderFrame == 3) return kPluginFailed;
  return PluginMain(which, params);
}

class RenderJob : public ::testing::Test {
 protected:
  void SetUp() override {
    clip = dir / "source.mkv";
    WriteSourceClip(clip);
    PluginMain(0, nullptr);  // nothing; the first real call starts the plug-in
  }
  void TearDown() override {
    if (gPascalData) {
      CGImageRelease(gPascalData->TheRendered);
      gPascalData->TheRendered = nullptr;
    }
  }
  // Starts the plug-in and gives its master record an opaque picture of one
  // colour at `place`, not moving, drawn at full opacity.
  void GivePluginAPicture(Pixel colour, RelRect place) {
    HYPluginParams info{};
    info.interfaceVersion = 4;
    static HYProcs procs;
    procs.NewPtrClear = [](SInt32 size) { return NewPtrClear(size); };
    info.procs = &procs;
    PluginMain(0, &info);
    ASSERT_NE(gPascalData, nullptr);
    gPascalData->TheRendered = SolidPicture(8, 8, colour);
    gPascalData->Sliders[2] = 100;
    gPascalData->StartRel = gPascalData->EndRel = place;
  }
  bool Render(RenderOptions& o, RenderReport& report, std::string& error, HYPluginEntry entry = PluginMain) {
    o.clip = o.clip.empty() ? clip : o.clip;
    return RenderClip(entry, o, nullptr, report, error);
  }
  ScopedPreferences prefs;
  TempDir dir;
  std::string clip;
};

TEST_F(RenderJob, FramesOutsideTheRangeAreBitIdenticalAndThePictureLandsInside) {
  RenderOptions o;
  o.output = dir / "out.mkv";
  o.format = OutputFormat::Matroska;
  o.start = 5;
  o.count = 10;
  GivePluginAPicture({255, 250, 250, 0}, {0, 0.5, 0, 1});  // the left half of the frame

  RenderReport report;
  std::string error;
  ASSERT_TRUE(Render(o, report, error)) << error;
  EXPECT_EQ(report.frames, kFrames);
  EXPECT_EQ(report.framesLeftLent, 0u);
  EXPECT_EQ(report.blocksNotGivenBack, 0);
  auto source = ClipReader::Open(clip, error), output = ClipReader::Open(o.output, error);
  ASSERT_TRUE(source && output) << error;
  EXPECT_EQ(output->info().frameCount, kFrames);
  for (int n = 0; n < kFrames; ++n) {
    const auto in = ReadBack(*source, n), out = ReadBack(*output, n);
    if (n < 5 || n >= 15) {
      EXPECT_EQ(in, out) << "frame " << n << " outside the range changed";
    } else {
      EXPECT_EQ(At(out, 10, 30), (Pixel{255, 250, 250, 0})) << "frame " << n;
      EXPECT_EQ(At(out, 80, 30), At(in, 80, 30)) << "frame " << n;
    }
  }
  // The audio as long as the video: the tone to its last frame, nothing after.
  const std::vector<float> audio = ReadAudio(o.output, (kFrames + 4) * 1920);
  auto loud = [&](long from, long to) {
    double sum = 0;
    for (long k = from * 2; k < to * 2; ++k) sum += std::fabs(audio[size_t(k)]);
    return sum / double(to - from);
  };
  EXPECT_GT(loud((kFrames - 1) * 1920, kFrames * 1920 - 200), 0.1);
  EXPECT_LT(loud(kFrames * 1920 + 1000, (kFrames + 4) * 1920), 0.001);
}

TEST_F(RenderJob, FadesBlendTheUntouchedFrameOverThePicture) {
  RenderOptions o;
  o.output = dir / "fade.mkv";
  o.format = OutputFormat::Matroska;
  o.start = 0;
  o.count = 8;
  o.fadeIn = 4;
  GivePluginAPicture({255, 250, 250, 250}, {0, 1, 0, 1});  // the whole frame
  RenderReport report;
  std::string error;
  ASSERT_TRUE(Render(o, report, error)) << error;
  auto output = ClipReader::Open(o.output, error);
  ASSERT_TRUE(output) << error;
  // Opacity of the untouched frame: 255, 191, 127, 63, then the picture alone.
  const double untouched[] = {1.0, 191 / 255.0, 127 / 255.0, 63 / 255.0, 0, 0};
  for (int n = 0; n < 6; ++n) {
    const Pixel src = At(SourceFrame(n), 5, 5), got = At(ReadBack(*output, n), 5, 5);
    EXPECT_NEAR(got.r, untouched[n] * src.r + (1 - untouched[n]) * 250, 2) << "frame " << n;
    EXPECT_NEAR(got.b, untouched[n] * src.b + (1 - untouched[n]) * 250, 2) << "frame " << n;
  }
}

TEST_F(RenderJob, AProxyRenderIsSilentInItsRangeAndAFailedFetchIsSurvived) {
  RenderOptions o;
  o.output = dir / "proxy.mkv";
  o.format = OutputFormat::Matroska;
  o.start = 10;
  o.count = 5;
  o.proxyOnly = true;
  o.failGetFrameAt = 12;
  RenderReport report;
  std::string error;
  ASSERT_TRUE(Render(o, report, error)) << error;
  EXPECT_EQ(report.failedFrameRequests, 1);
  EXPECT_EQ(report.framesLeftLent, 0u);
  auto output = ClipReader::Open(o.output, error);
  ASSERT_TRUE(output) << error;
  const std::vector<float> audio = ReadAudio(o.output, kFrames * 1920);
  auto loudness = [&](int frame) {
    double sum = 0;
    for (size_t k = size_t(frame) * 1920 * 2 + 200; k < size_t(frame + 1) * 1920 * 2 - 200 && k < audio.size(); ++k)
      sum += std::fabs(audio[k]);
    return sum;
  };
  EXPECT_GT(loudness(5), 100.0);
  EXPECT_LT(loudness(11), 1.0);
  // The frame the host could not give went out unchanged, with its sound.
  EXPECT_GT(loudness(12), 100.0);
  EXPECT_EQ(ReadBack(*output, 12), ReadBack(*ClipReader::Open(clip, error), 12));
}

TEST_F(RenderJob, BadRequestsFailWithAMessageAndLeaveNothingBehind) {
  std::ofstream(dir / "notes.txt") << "not a video\n";
  struct Case {
    const char* what;
    RenderOptions o;
    HYPluginEntry entry;
    const char* says;
  };
  std::vector<Case> cases;
  auto base = [&] {
    RenderOptions o;
    o.output = dir / "bad.mkv";
    o.format = OutputFormat::Matroska;
    return o;
  };
  Case c{"missing clip", base(), PluginMain, "No such file"};
  c.o.clip = dir / "missing.mkv";
  cases.push_back(c);
  c = {"not a video", base(), PluginMain, "notes.txt"};
  c.o.clip = dir / "notes.txt";
  cases.push_back(c);
  c = {"range outside", base(), PluginMain, "the range of 10 frames from frame 15 lies outside the clip's"};
  c.o.start = 15;
  c.o.count = 10;
  cases.push_back(c);
  // Said as it was asked: from frame 99999 to the end, not a negative count.
  c = {"start past the end", base(), PluginMain, "the range from frame 99999 to the clip's end lies outside the clip's"};
  c.o.start = 99999;
  cases.push_back(c);
  c = {"fade too long", base(), PluginMain, "fades"};
  c.o.count = 5;
  c.o.fadeIn = 9;
  cases.push_back(c);
  c = {"unwritable output", base(), PluginMain, "cannot write"};
  c.o.output = dir / "no/such/folder/out.mkv";
  cases.push_back(c);
  c = {"plug-in fails mid-render", base(), FailsOnFrameThree, "failed on frame 3"};
  cases.push_back(c);
  for (Case& k : cases) {
    RenderReport report;
    std::string error;
    EXPECT_FALSE(Render(k.o, report, error, k.entry)) << k.what;
    EXPECT_NE(error.find(k.says), std::string::npos) << k.what << ": " << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << k.what;
  }
  std::vector<std::string> left = FolderEntries(dir.path());
  EXPECT_EQ(left.size(), 2u) << "only the source clip and the notes remain";
}

TEST_F(RenderJob, AnInterruptedRenderLeavesNoOutput) {
  RenderOptions o;
  o.clip = clip;
  o.output = dir / "stopped.mp4";
  RenderReport report;
  std::string error;
  auto stopAtFive = [](long done, long) {
    if (done == 5) RequestRenderStop();
  };
  EXPECT_FALSE(RenderClip(PluginMain, o, stopAtFive, report, error));
  EXPECT_NE(error.find("interrupted"), std::string::npos) << error;
  EXPECT_EQ(FolderEntries(dir.path()).size(), 1u) << "something was left beside the source";
  // Asked to overwrite, an interrupted render keeps the old output as it was.
  for (OutputFormat format : {OutputFormat::Mp4, OutputFormat::PngFrames}) {
    const std::string old = format == OutputFormat::Mp4 ? dir / "old.mp4" : dir / "old-frames";
    if (format == OutputFormat::PngFrames) ::mkdir(old.c_str(), 0700);
    const std::string file = format == OutputFormat::Mp4 ? old : old + "/mine.txt";
    WriteFileBytes(file, {'o', 'l', 'd'});
    o.output = old;
    o.format = format;
    o.overwrite = true;
    EXPECT_FALSE(RenderClip(PluginMain, o, stopAtFive, report, error));
    EXPECT_EQ(ReadFileBytes(file), (std::vector<UInt8>{'o', 'l', 'd'}));
    EXPECT_EQ(FolderEntries(dir.path()).size(), 2u) << "something was left beside the source";
    RemoveTree(old);
  }
}

// H.264 in MP4 reorders frames and has an edit list: frame numbers must
// still be exact, forwards and after seeking back.
TEST(ClipReading, FindsEachFrameByItsNumberInACompressedClip) {
  TempDir dir;
  std::string error;
  const int frames = 60;
  {
    auto w = ClipWriter::Create(dir / "numbered.mp4", OutputFormat::Mp4, 64, 48, 25, 1, false, error);
    ASSERT_TRUE(w) << error;
    for (int n = 0; n < frames; ++n) {
      std::vector<uint8_t> px(64 * 48 * 4);
      for (size_t k = 0; k < px.size(); k += 4) px[k] = 255, px[k + 1] = px[k + 2] = px[k + 3] = uint8_t(4 * n);
      ASSERT_TRUE(w->WriteFrame(px.data(), 64 * 4, nullptr, 0, error)) << error;
    }
    ASSERT_TRUE(w->Finish(error)) << error;
  }
  auto clip = ClipReader::Open(dir / "numbered.mp4", error);
  ASSERT_TRUE(clip) << error;
  EXPECT_EQ(clip->info().frameCount, frames);
  EXPECT_EQ(clip->info().fpsNum * 1.0 / clip->info().fpsDen, 25.0);
  std::vector<uint8_t> px(64 * 48 * 4);
  for (int n : {0, 1, 2, 10, 40, 59, 5, 30, 29, 58, 3}) {
    ASSERT_TRUE(clip->ReadFrame(n, 64, 48, true, px.data(), 64 * 4)) << n;
    EXPECT_NEAR(px[size_t(20 * 64 + 30) * 4 + 2], 4 * n, 3) << "frame " << n;
  }
}

TEST(ClipWriting, AFrameFileThatCannotBeCompletedIsAFailure) {
  // The frame's bytes are buffered; the full disk shows only when it is closed.
  TempDir dir;
  ASSERT_EQ(::symlink("/dev/full", (dir / "frame_000000.png").c_str()), 0);
  std::string error;
  auto w = ClipWriter::Create(dir.path(), OutputFormat::PngFrames, 8, 8, 25, 1, false, error);
  ASSERT_TRUE(w) << error;
  std::vector<uint8_t> px(8 * 8 * 4, 200);
  EXPECT_FALSE(w->WriteFrame(px.data(), 8 * 4, nullptr, 0, error) && w->Finish(error));
  EXPECT_NE(error.find("frame_000000.png"), std::string::npos) << error;
}

TEST_F(RenderJob, APlaceholderIsTheEffectsFrameAsAPicture) {
  std::string error;
  RenderOptions o;
  o.clip = clip;
  o.output = dir / "frame.png";
  ASSERT_TRUE(RenderPlaceholder(PluginMain, o, 7, error)) << error;
  auto png = ClipReader::Open(dir / "frame.png", error);
  ASSERT_TRUE(png) << error;
  EXPECT_EQ(At(ReadBack(*png, 0), 3, 3), At(SourceFrame(7), 3, 3));
  o.output = dir / "none.png";
  EXPECT_FALSE(RenderPlaceholder(PluginMain, o, 25, error));
  EXPECT_FALSE(PathExists(dir / "none.png"));
  // A frame the host cannot give fails the placeholder instead of a blank picture.
  o.failGetFrameAt = 7;
  EXPECT_FALSE(RenderPlaceholder(PluginMain, o, 7, error));
  EXPECT_NE(error.find("cannot get a needed frame"), std::string::npos) << error;
  EXPECT_FALSE(PathExists(dir / "none.png"));
}

}  // namespace
