// quorvel-host as a person runs it: its output, its exit status, the settings
// file it leaves, and its one-line errors.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <fstream>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
}
#include <sstream>

#include "HostRun.h"
#include "HostileResourceFiles.h"
#include "MediaSupport.h"
#include "TestSupport.h"
#include "media/ClipReader.h"
#include "media/ClipWriter.h"
#include "resources/ResourceFork.h"

namespace {

size_t Lines(const std::string& s) {
  size_t n = 0;
  for (char c : s) n += c == '\n';
  return n;
}

TEST(HostCommand, InfoDescribesTheEffect) {
  TempDir config;
  HostRun r = Host("info --selected-frames 12", config.path());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Type:          filter"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Group:         Overlays"), std::string::npos);
  EXPECT_NE(r.out.find("Button:        Picture and Motion\u2026"), std::string::npos);
  EXPECT_NE(r.out.find("3. Unused slider 3 (no effect)"), std::string::npos);
  EXPECT_NE(r.out.find("default 0.50"), std::string::npos);
  EXPECT_NE(r.out.find("0x1380"), std::string::npos);
  EXPECT_NE(r.out.find("renders 12 of 12 selected; takes 0 before and 12 after"), std::string::npos);

  HostRun j = Host("info --json", config.path());
  ASSERT_EQ(j.status, 0) << j.err;
  EXPECT_NE(j.out.find("\"pluginType\": 105"), std::string::npos) << j.out;
  EXPECT_NE(j.out.find("\"flags\": 4992"), std::string::npos);
  EXPECT_NE(j.out.find("\"buttonTitle\": \"Picture and Motion\u2026\""), std::string::npos);
  EXPECT_NE(j.out.find("\"default\": 0.5"), std::string::npos);
}

TEST(HostCommand, TwoRunsLeaveTheDefaultRecordInTheSettingsFile) {
  TempDir config;
  ASSERT_EQ(Host("info", config.path()).status, 0);
  ASSERT_EQ(Host("info", config.path()).status, 0);
  EXPECT_EQ(FolderEntries(config.path()), std::vector<std::string>{"kwz41-Prefs"});
  std::vector<UInt8> bytes = ReadFileBytes(config / "kwz41-Prefs");
  ResourceForkContents c;
  ASSERT_TRUE(ParseResourceFork(bytes.data(), bytes.size(), c));
  ASSERT_EQ(c.resources.size(), 2u);
  const ResourceEntry& e = c.resources[0];
  EXPECT_EQ(e.type, FOUR_CHAR_CODE("Pref"));
  EXPECT_EQ(e.id, 1);
  EXPECT_EQ(e.name, "Config Settings");
  ASSERT_EQ(e.data.size(), 396u);
  auto u32 = [&](size_t at) { UInt32 v; std::memcpy(&v, &e.data[at], 4); return v; };
  auto s16 = [&](size_t at) { SInt16 v; std::memcpy(&v, &e.data[at], 2); return v; };
  auto f64 = [&](size_t at) { double v; std::memcpy(&v, &e.data[at], 8); return v; };
  EXPECT_EQ(u32(0), 396u);
  EXPECT_EQ(u32(4), 3u);
  EXPECT_EQ(f64(16), 1.0);   // StartRel.Right
  EXPECT_EQ(f64(56), 0.0);   // EndRel.Top
  EXPECT_EQ(f64(64), 1.0);   // EndRel.Bottom
  EXPECT_EQ(UInt16(s16(72)), 65535);  // Colors[1].red
  EXPECT_EQ(s16(110), 50);            // Sliders[2]
  EXPECT_EQ(UInt16(s16(122)), 65535);  // FrameStartColor.green
  EXPECT_EQ(UInt16(s16(126)), 65535);  // FrameEndColor.red
  EXPECT_EQ(s16(132), 1);
  EXPECT_EQ(s16(136), 1);
  EXPECT_EQ(e.data[138], 37);  // the length of the note that follows
  // Beside it, the motion: its size, version 1, not smooth, linear, no spin, no blur.
  const ResourceEntry& m = c.resources[1];
  EXPECT_EQ(m.type, FOUR_CHAR_CODE("Motn"));
  EXPECT_EQ(m.id, 1);
  EXPECT_EQ(m.name, "Motion Settings");
  ASSERT_EQ(m.data.size(), 28u);
  UInt32 size, version;
  SInt16 easing;
  double spin, blur;
  std::memcpy(&size, &m.data[0], 4), std::memcpy(&version, &m.data[4], 4), std::memcpy(&easing, &m.data[10], 2);
  std::memcpy(&spin, &m.data[12], 8), std::memcpy(&blur, &m.data[20], 8);
  EXPECT_EQ(size, 28u);
  EXPECT_EQ(version, 1u);
  EXPECT_EQ(m.data[8], 0);
  EXPECT_EQ(easing, 1);
  EXPECT_EQ(spin, 0.0);
  EXPECT_EQ(blur, 0.0);
}

TEST(HostCommand, ASmallSettingsFileThatClaimsGigabytesIsSetAside) {
  TempDir config;
  // 908 KB whose 1000 types all reach one 900 KB data entry.
  const std::vector<UInt8> hostile = AmplifyingResourceFile(1000, 900 * 1000, SharedBytes::DataEntry);
  WriteFileBytes(config / "kwz41-Prefs", hostile);
  // Half a gigabyte of address space is plenty for a file of this size. The
  // sanitizers reserve far more address space of their own, so there the run
  // is only watched, not limited.
  const std::string limit = kUnderSanitizers ? "" : "ulimit -v 524288; ";
  TempDir out;
  const std::string cmd = "XDG_CONFIG_HOME=" + Quoted(config.path()) + " sh -c " +
                          Quoted(limit + "exec " + Quoted(QUORVEL_HOST_PATH) + " info") + " >/dev/null 2>" +
                          Quoted(out / "err");
  const int raw = std::system(cmd.c_str());
  ASSERT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << ReadText(out / "err");
  EXPECT_EQ(ReadFileBytes(config / "kwz41-Prefs.damaged"), hostile);
  const std::vector<UInt8> fresh = ReadFileBytes(config / "kwz41-Prefs");
  EXPECT_LT(fresh.size(), 4096u);
  ResourceForkContents c;
  ASSERT_TRUE(ParseResourceFork(fresh.data(), fresh.size(), c));
  EXPECT_EQ(c.resources.size(), 2u);  // the record and the motion's
}

TEST(HostCommand, BadBundlesGetAOneLineErrorAndAFailingStatus) {
  TempDir config, notBundle, noLibrary, noEntry;
  ::mkdir((noLibrary / "Contents").c_str(), 0700);
  std::ofstream(noLibrary / "Contents/Manifest") << "Identifier: x.y\nExecutable: Linux/Missing.so\n";
  ::mkdir((noEntry / "Contents").c_str(), 0700);
  ::mkdir((noEntry / "Contents/Linux").c_str(), 0700);
  std::ofstream(noEntry / "Contents/Manifest") << "Identifier: x.y\nExecutable: Linux/NoEntry.so\n";
  ASSERT_EQ(::symlink(QUORVEL_NO_ENTRY_LIBRARY, (noEntry / "Contents/Linux/NoEntry.so").c_str()), 0);

  struct Case {
    std::string args, says;
  } cases[] = {
      {"--bundle " + Quoted(notBundle.path()) + " info", "not a bundle"},
      {"--bundle " + Quoted(notBundle / "nowhere") + " info", "not a bundle"},
      {"--bundle " + Quoted(noLibrary.path()) + " info", "has no library"},
      {"--bundle " + Quoted(noEntry.path()) + " info", "has no entry point \"main\""},
      {"--interface-version 3 info", "interface version is too old"},
  };
  for (const Case& c : cases) {
    HostRun r = Host(c.args, config.path());
    EXPECT_EQ(r.status, 1) << c.args;
    EXPECT_EQ(Lines(r.err), 1u) << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
  }
  EXPECT_TRUE(FolderEntries(config.path()).empty()) << "a refused start wrote settings";
}

// A small lossless clip of flat frames with a tone.
std::string SmallClip(const TempDir& dir) {
  std::string error, path = dir / "clip.mkv";
  auto w = ClipWriter::Create(path, OutputFormat::Matroska, 64, 48, 25, 1, true, error);
  std::vector<uint8_t> px(64 * 48 * 4, 128);
  std::vector<float> tone(1920 * 2, 0.25f);
  for (int n = 0; n < 12 && w; ++n) w->WriteFrame(px.data(), 64 * 4, tone.data(), 1920, error);
  if (w) w->Finish(error);
  return path;
}

TEST(HostCommand, RendersClipsAndPlaceholders) {
  TempDir config, dir;
  const std::string clip = SmallClip(dir);
  HostRun r = Host("render " + Quoted(clip) + " -o " + Quoted(dir / "out.mkv") +
                       " --format mkv --start 2 --count 6 --fade-in 2 --fade-out 2 --sliders 0.1,0.2,0.3",
                   config.path());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("rendered 12 frames"), std::string::npos) << r.err;
  std::string error;
  auto out = ClipReader::Open(dir / "out.mkv", error);
  ASSERT_TRUE(out) << error;
  EXPECT_EQ(out->info().frameCount, 12);
  EXPECT_TRUE(out->info().hasAudio);

  r = Host("render " + Quoted(clip) + " -o " + Quoted(dir / "frames") + " --format png", config.path());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(FolderEntries(dir / "frames").size(), 12u);

  r = Host("placeholder " + Quoted(clip) + " --at 4 -o " + Quoted(dir / "thumb.png"), config.path());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(PathExists(dir / "thumb.png"));
}

TEST(HostCommand, BadRendersSayWhyInOneLine) {
  TempDir config, dir;
  const std::string clip = SmallClip(dir);
  for (std::string args : {"render " + Quoted(dir / "nothing.mp4") + " -o " + Quoted(dir / "o.mp4"),
                           "render " + Quoted(clip) + " -o " + Quoted(dir / "o.mp4") + " --start 11 --count 5",
                           "render " + Quoted(clip) + " -o " + Quoted(dir / "none/o.mp4"),
                           "placeholder " + Quoted(clip) + " --at 99 -o " + Quoted(dir / "p.png"),
                           // the host cannot give the frame: a failure, not a blank picture
                           "placeholder " + Quoted(clip) + " --at 4 --fail-frame 4 -o " + Quoted(dir / "p.png")}) {
    HostRun r = Host(args, config.path());
    EXPECT_EQ(r.status, 1) << args;
    EXPECT_EQ(Lines(r.err), 1u) << r.err;
  }
  EXPECT_EQ(FolderEntries(dir.path()).size(), 1u);
  HostRun r = Host("render " + Quoted(clip) + " -o x --fade-in -2", config.path());
  EXPECT_EQ(r.status, 2);
  // A picture that cannot be read: the render goes on without it, and its
  // summary says which file and why.
  const std::string picture = WriteLines(dir / "picture.png", {"not a picture"});
  const std::string script = WriteLines(dir / "s.txt", {"picture " + picture, "ok"});
  r = Host("render " + Quoted(clip) + " -o " + Quoted(dir / "o.mkv") + " --format mkv --configure --script " +
               Quoted(script),
           config.path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("picture:  none, " + picture + ": Not a PNG file; the video stays as it is"), std::string::npos)
      << r.err;
}

TEST(HostCommand, TheClipIsNeverItsOwnOutput) {
  TempDir config, dir;
  const std::string clip = SmallClip(dir);
  const std::vector<UInt8> original = ReadFileBytes(clip);
  ASSERT_EQ(::symlink(clip.c_str(), (dir / "link.mkv").c_str()), 0);
  ASSERT_EQ(::link(clip.c_str(), (dir / "hard.mkv").c_str()), 0);
  const std::string leaf = dir.path().substr(dir.path().find_last_of('/') + 1);
  for (const std::string& out : {clip, dir / "link.mkv", dir / "hard.mkv", dir / "../" + leaf + "/clip.mkv"})
    for (const char* more : {"", " --overwrite"}) {
      HostRun r = Host("render " + Quoted(clip) + " -o " + Quoted(out) + " --format mkv" + more, config.path());
      EXPECT_EQ(r.status, 1) << out << more;
      EXPECT_EQ(Lines(r.err), 1u) << r.err;
      EXPECT_NE(r.err.find("same file as the clip"), std::string::npos) << r.err;
      EXPECT_NE(r.err.find(out), std::string::npos) << r.err;
    }
  HostRun r = Host("placeholder " + Quoted(clip) + " --at 1 -y -o " + Quoted(dir / "hard.mkv"), config.path());
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(ReadFileBytes(clip), original);
  EXPECT_EQ(FolderEntries(dir.path()).size(), 3u) << "something was left beside the clip";
}

TEST(HostCommand, AnExistingOutputIsReplacedOnlyOnRequest) {
  TempDir config, dir;
  const std::string clip = SmallClip(dir);
  const std::vector<UInt8> mine = {'m', 'i', 'n', 'e'};
  WriteFileBytes(dir / "out.mkv", mine);
  WriteFileBytes(dir / "thumb.png", mine);
  ::mkdir((dir / "frames").c_str(), 0700);
  WriteFileBytes(dir / "frames/notes.txt", mine);
  const std::string renders[] = {"render " + Quoted(clip) + " --format mkv -o " + Quoted(dir / "out.mkv"),
                                 "render " + Quoted(clip) + " --format png -o " + Quoted(dir / "frames"),
                                 "placeholder " + Quoted(clip) + " --at 2 -o " + Quoted(dir / "thumb.png")};
  for (const std::string& args : renders) {
    HostRun r = Host(args, config.path());
    EXPECT_EQ(r.status, 1) << args;
    EXPECT_EQ(Lines(r.err), 1u) << r.err;
    EXPECT_NE(r.err.find("--overwrite"), std::string::npos) << r.err;
  }
  EXPECT_EQ(ReadFileBytes(dir / "out.mkv"), mine);
  EXPECT_EQ(ReadFileBytes(dir / "thumb.png"), mine);
  EXPECT_EQ(ReadFileBytes(dir / "frames/notes.txt"), mine);

  for (const std::string& args : renders) {
    HostRun r = Host(args + (args[0] == 'r' ? " --overwrite" : " -y"), config.path());
    EXPECT_EQ(r.status, 0) << args << r.err;
  }
  std::string error;
  auto out = ClipReader::Open(dir / "out.mkv", error);
  ASSERT_TRUE(out) << error;
  EXPECT_EQ(out->info().frameCount, 12);
  EXPECT_TRUE(ClipReader::Open(dir / "thumb.png", error)) << error;
  EXPECT_EQ(FolderEntries(dir / "frames").size(), 12u);  // the old folder's notes went with it
  EXPECT_FALSE(PathExists(dir / "frames/notes.txt"));
  EXPECT_EQ(FolderEntries(dir.path()).size(), 4u) << "something was left beside the outputs";
}

std::string JsonNumber(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", v);
  return text;
}

TEST(HostCommand, ConfigureSetsAndReportsEveryFieldTheDialogEdits) {
  TempDir config, dir;
  const std::string clip = WriteFlatClip(dir / "clip.mkv", 30, 64, 48);
  const std::string picture = WritePicture(dir / "picture.png", 400, 300, {200, 30, 30});
  const std::string script = WriteLines(dir / "all.txt", {
      "picture " + picture, "media hd",             // the dialog opens again, 960 x 540
      "drag 0.5 0.5 0.25 0.25",                     // the start rectangle by 240, 135 up and left
      "rect end", "drag 0.999 0.999 0.5 0.5",       // the end's bottom-right corner to 481, 271
      "slider border 12", "slider opacity 34", "slider turn -25", "colour 123456", "blend luminosity",
      "keep-proportions on",                        // the end rectangle takes 4 : 3, 481 x 361
      "ok"});
  HostRun r = Host("configure " + Quoted(clip) + " --start 5 --count 20 --at 3 --script " + Quoted(script) + " --json",
                   config.path());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Lines(r.out), 1u);
  const std::string want[] = {
      "\"StartRel\": {\"Left\": -0.25, \"Right\": 0.75, \"Top\": -0.25, \"Bottom\": 0.75}",
      "\"EndRel\": {\"Left\": 0, \"Right\": " + JsonNumber(481.0 / 960) + ", \"Top\": 0, \"Bottom\": " +
          JsonNumber(361.0 / 540) + "}",
      "\"Sliders\": [12, 34, -25, 0, 0, 0]",
      "\"Colors\": [[4608, 13312, 22016], [65535, 65535, 65535]",
      "\"MediaType\": 3", "\"KeepProps\": true", "\"BlendMode\": 16",
      "\"Picture\": {\"width\": 400, \"height\": 300, \"path\": \"" + picture + "\"}"};
  for (const std::string& w : want) EXPECT_NE(r.out.find(w), std::string::npos) << w << "\n" << r.out;
  // What will be drawn, told to the person too.
  EXPECT_NE(r.err.find("settings: " + config / "kwz41-Prefs"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("picture:  " + picture + ", 400 x 300"), std::string::npos) << r.err;

  // A new process starts from what OK saved, the picture apart.
  r = Host("configure " + Quoted(clip) + " --script " + Quoted(WriteLines(dir / "ok.txt", {"ok"})) + " --json",
           config.path());
  ASSERT_EQ(r.status, 0) << r.err;
  for (size_t k = 0; k + 1 < std::size(want); ++k) EXPECT_NE(r.out.find(want[k]), std::string::npos) << want[k];
  EXPECT_NE(r.out.find("\"Picture\": null"), std::string::npos) << r.out;
}

TEST(HostCommand, ARenderWithTheDialogFirstDrawsWhatTheScriptSet) {
  TempDir config, dir;
  const int w = 160, h = 120;
  const std::string clip = WriteFlatClip(dir / "clip.mkv", 20, w, h);
  const FlatColour red = {200, 30, 30};
  const std::string picture = WritePicture(dir / "picture.png", 400, 300, red);
  // On the 720 x 480 preview: the start rectangle from 10 % to 40 % of the
  // frame, the end one from 60 % to 90 %, the picture multiplied in fully.
  const std::string script = WriteLines(dir / "s.txt", {
      "picture " + picture, "drag 0.001 0.001 0.1 0.1", "drag 0.999 0.999 0.4 0.4", "rect end",
      "drag 0.001 0.001 0.6 0.6", "drag 0.999 0.999 0.9 0.9", "slider opacity 100", "blend multiply", "ok"});
  HostRun r = Host("render " + Quoted(clip) + " -o " + Quoted(dir / "out.mkv") +
                       " --format mkv --start 5 --count 11 --configure --script " + Quoted(script),
                   config.path());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("picture:  " + picture + ", 400 x 300"), std::string::npos) << r.err;
  std::string error;
  auto out = ClipReader::Open(dir / "out.mkv", error);
  ASSERT_TRUE(out) << error;
  std::vector<uint8_t> px(size_t(w) * h * 4);
  auto at = [&](int x, int y) { return &px[(size_t(y) * w + x) * 4]; };
  for (int n : {0, 4, 5, 10, 15, 16, 19}) {
    ASSERT_TRUE(out->ReadFrame(n, w, h, true, px.data(), w * 4)) << n;
    const FlatColour c = FlatClipColour(n);
    const int k = n - 5;
    if (k < 0 || k >= 11) {
      EXPECT_EQ(at(w / 2, h / 2)[1], c.r) << "frame " << n << " is outside the effect";
      continue;
    }
    // The rectangle k / 11 of the way from the start one to the end one.
    auto tween = [&](double from, double to) { return from + (k * (to - from)) / 11; };
    const int left = int(w * tween(0.1, 0.6)), right = int(w * tween(0.4, 0.9));
    const int top = int(h * tween(0.1, 0.6)), bottom = int(h * tween(0.4, 0.9));
    const uint8_t* inside = at((left + right) / 2, (top + bottom) / 2);
    EXPECT_NEAR(inside[1], c.r * red.r / 255.0, 1) << n;
    EXPECT_NEAR(inside[2], c.g * red.g / 255.0, 1) << n;
    EXPECT_NEAR(inside[3], c.b * red.b / 255.0, 1) << n;
    for (const uint8_t* outside : {at(left - 3, (top + bottom) / 2), at((left + right) / 2, bottom + 2)}) {
      EXPECT_EQ(outside[1], c.r) << n;
      EXPECT_EQ(outside[2], c.g) << n;
    }
  }
}

// A plug-in built against the interface header alone, which inverts what it
// is given, renders through the host: frames and blocks cross as the header
// describes them.
TEST(HostCommand, APlugInOfTheInterfaceHeaderAloneRendersThroughTheHost) {
  TempDir config, dir;
  const int w = 64, h = 48;
  const std::string clip = WriteFlatClip(dir / "clip.mkv", 8, w, h);
  HostRun r = Host("--bundle " + Quoted(QUORVEL_INVERT_BUNDLE) + " render " + Quoted(clip) + " -o " +
                       Quoted(dir / "out.mkv") + " --format mkv --start 2 --count 3",
                   config.path());
  ASSERT_EQ(r.status, 0) << r.err;
  std::string error;
  auto out = ClipReader::Open(dir / "out.mkv", error);
  ASSERT_TRUE(out) << error;
  ASSERT_EQ(out->info().frameCount, 8);
  std::vector<uint8_t> px(size_t(w) * h * 4);
  for (int n = 0; n < 8; ++n) {
    ASSERT_TRUE(out->ReadFrame(n, w, h, true, px.data(), w * 4)) << n;
    const FlatColour c = FlatClipColour(n);
    const bool inverted = n >= 2 && n < 5;
    for (const size_t at : {size_t(0), (size_t(h / 2) * w + w / 2) * 4, px.size() - 4}) {
      EXPECT_EQ(px[at], 255) << "frame " << n;
      EXPECT_EQ(px[at + 1], inverted ? 255 - c.r : c.r) << "frame " << n;
      EXPECT_EQ(px[at + 2], inverted ? 255 - c.g : c.g) << "frame " << n;
      EXPECT_EQ(px[at + 3], inverted ? 255 - c.b : c.b) << "frame " << n;
    }
  }
}

// ---- Renders that keep the clip's quality ----

// Peak signal to noise of the luma planes of two decoded frames, in dB.
double LumaPsnr(const AVFrame* a, const AVFrame* b) {
  double sum = 0;
  for (int y = 0; y < a->height; ++y)
    for (int x = 0; x < a->width; ++x) {
      const double d = double(a->data[0][y * a->linesize[0] + x]) - b->data[0][y * b->linesize[0] + x];
      sum += d * d;
    }
  const double mse = sum / (double(a->width) * a->height);
  return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

// The three planes of two 4:2:0 pictures hold the same bytes (yuvj420p, the
// JPEG name of full-range yuv420p, counting as yuv420p).
bool SamePlanes(const AVFrame* a, const AVFrame* b) {
  if (a->width != b->width || a->height != b->height) return false;
  for (int p = 0; p < 3; ++p) {
    const int rows = p == 0 ? a->height : (a->height + 1) / 2, bytes = p == 0 ? a->width : (a->width + 1) / 2;
    for (int y = 0; y < rows; ++y)
      if (std::memcmp(a->data[p] + y * a->linesize[p], b->data[p] + y * b->linesize[p], size_t(bytes)) != 0) return false;
  }
  return true;
}

TEST(HostCommand, FramesTheEffectDoesNotTouchKeepTheirPicturesAndColours) {
  TempDir config, dir;
  // A textured, moving H.264 clip in full range with BT.601 colours.
  const std::string source = dir / "source.mp4";
  ASSERT_EQ(Shell("ffmpeg -loglevel error -y -f lavfi -i testsrc2=s=320x240:r=25:d=2 -pix_fmt yuv420p "
                  "-color_primaries bt470bg -color_trc smpte170m -colorspace bt470bg -color_range pc -c:v libx264 "
                  "-preset fast -crf 18 '" + source + "'"), 0);
  ASSERT_EQ(Shell("ffmpeg -loglevel error -y -i '" + source + "' -c:v libx264 -preset fast -crf 18 '" + dir / "plain.mp4" + "'"), 0);
  for (const char* format : {"mp4", "mkv"}) {
    const std::string out = dir / (std::string("out.") + format);
    HostRun r = Host("render '" + source + "' -o '" + out + "' --format " + format + " --start 20 --count 5", config.path());
    ASSERT_EQ(r.status, 0) << r.err;
  }
  std::string error;
  auto src = ClipReader::Open(source, error), mp4 = ClipReader::Open(dir / "out.mp4", error),
       mkv = ClipReader::Open(dir / "out.mkv", error), plain = ClipReader::Open(dir / "plain.mp4", error);
  ASSERT_TRUE(src && mp4 && mkv && plain) << error;
  // Tagged as the source is, in both.
  for (ClipReader* out : {mp4.get(), mkv.get()}) {
    EXPECT_EQ(out->info().primaries, src->info().primaries);
    EXPECT_EQ(out->info().transfer, src->info().transfer);
    EXPECT_EQ(out->info().matrix, src->info().matrix);
    EXPECT_EQ(out->info().range, src->info().range);
  }
  double ours = 0, theirs = 0;
  int frames = 0;
  for (int n = 0; n < 50; ++n) {
    if (n >= 20 && n < 25) continue;
    // Lossless Matroska: the decoded pictures themselves, not only their colours.
    EXPECT_TRUE(SamePlanes(mkv->DecodedFrame(n), src->DecodedFrame(n))) << "frame " << n;
    ours += LumaPsnr(mp4->DecodedFrame(n), src->DecodedFrame(n));
    theirs += LumaPsnr(plain->DecodedFrame(n), src->DecodedFrame(n));
    ++frames;
  }
  ours /= frames, theirs /= frames;
  std::printf("frames outside the effect, luma PSNR against the source: ours %.2f dB, a plain re-encode %.2f dB\n", ours,
              theirs);
  EXPECT_NEAR(ours, theirs, 0.5);
}

// The host converts 8-bit Y'CbCr frames itself, in the colours of FFmpeg's
// accurate scaler done in two steps: the chroma scaled between its own
// resolution and every pixel's (bicubic), and the matrix rounded exactly at
// every pixel. Against the scaler's one-step conversion the two differ only
// where bicubic chroma overshoots at a saturated edge: the one step keeps
// the overshoot, the 8-bit chroma in between clips it. Each chroma layout,
// both ranges, both matrices and an odd size, read and written.
struct ColourCase {
  const char* format;
  bool fullRange;
  bool bt709;  // else BT.601
  int width, height;
  std::string Name() const {
    return std::string(format) + (fullRange ? " pc " : " tv ") + (bt709 ? "bt709 " : "bt601 ") + std::to_string(width);
  }
  std::string Range() const { return fullRange ? "full" : "limited"; }
  const char* Matrix() const { return bt709 ? "bt709" : "bt601"; }
};
const ColourCase kColourCases[] = {
    {"yuv420p", false, true, 320, 240},  {"yuvj420p", true, false, 320, 240}, {"yuv422p", false, false, 320, 240},
    {"yuv444p", true, true, 320, 240},   {"yuv420p", false, true, 161, 121},  {"yuv440p", true, false, 160, 120},
};

// The worst difference of two runs of bytes, and how many differ by more than 2.
struct Apart {
  int worst = 0, overTwo = 0;
  void Add(int a, int b) {
    const int d = std::abs(a - b);
    worst = std::max(worst, d);
    overTwo += d > 2;
  }
};

TEST(HostCommand, FramesAreReadInTheColoursOfTheAccurateScaler) {
  TempDir dir;
  for (const ColourCase& c : kColourCases) {
    SCOPED_TRACE(c.Name());
    const std::string clip = dir / (std::string(c.format) + std::to_string(c.width) + ".mkv");
    ASSERT_EQ(Shell("ffmpeg -loglevel error -y -f lavfi -i testsrc2=s=322x242:r=25:d=0.2 -vf format=rgb24,crop=" +
                    std::to_string(c.width) + ":" + std::to_string(c.height) + ":0:0 -pix_fmt " + c.format +
                    " -color_range " + (c.fullRange ? "pc" : "tv") + " -colorspace " +
                    (c.bt709 ? "bt709" : "bt470bg") + " -c:v ffv1 " + Quoted(clip)),
              0);
    const std::string toRgb = std::string("scale=flags=bicubic+accurate_rnd+full_chroma_int:in_color_matrix=") +
                              c.Matrix() + ":in_range=" + c.Range() + ",format=rgb24";
    const ShownFrame twoSteps = ShowFrame(clip, 2, "scale=flags=bicubic+accurate_rnd:in_range=" + c.Range() +
                                                       ":out_range=" + c.Range() + ",format=yuv444p," + toRgb);
    const ShownFrame oneStep = ShowFrame(clip, 2, toRgb);
    ASSERT_EQ(twoSteps.width, c.width);
    ASSERT_EQ(oneStep.width, c.width);
    std::string error;
    auto reader = ClipReader::Open(clip, error);
    ASSERT_TRUE(reader) << error;
    std::vector<uint8_t> argb(size_t(c.width) * c.height * 4);
    ASSERT_TRUE(reader->ReadFrame(2, c.width, c.height, true, argb.data(), c.width * 4));
    Apart fromTwo, fromOne;
    for (int y = 0; y < c.height; ++y)
      for (int x = 0; x < c.width; ++x) {
        const uint8_t* ours = &argb[(size_t(y) * c.width + x) * 4];
        ASSERT_EQ(ours[0], 255);
        for (int k = 0; k < 3; ++k) {
          fromTwo.Add(ours[k + 1], twoSteps.at(x, y)[k]);
          fromOne.Add(ours[k + 1], oneStep.at(x, y)[k]);
        }
      }
    EXPECT_LE(fromTwo.worst, 1);
    EXPECT_LE(fromOne.worst, 16);
    EXPECT_LE(fromOne.overTwo, c.width * c.height / 500) << "channels more than 2 levels from the one-step conversion";
  }
}

TEST(HostCommand, FramesAreWrittenInTheColoursOfTheAccurateScaler) {
  TempDir dir;
  for (const ColourCase& c : kColourCases) {
    SCOPED_TRACE(c.Name());
    // Opaque A,R,G,B pixels with sharp, saturated edges.
    const std::string raw = dir / "frame.argb";
    ASSERT_EQ(Shell("ffmpeg -loglevel error -y -f lavfi -i testsrc2=s=322x242 -frames:v 1 -vf format=argb,crop=" +
                    std::to_string(c.width) + ":" + std::to_string(c.height) + ":0:0 -f rawvideo " +
                    Quoted(raw)),
              0);
    const std::vector<UInt8> argb = ReadFileBytes(raw);
    ASSERT_EQ(argb.size(), size_t(c.width) * c.height * 4);
    ClipInfo like;
    like.width = c.width, like.height = c.height;
    like.pixelFormat = av_get_pix_fmt(c.format);
    like.matrix = c.bt709 ? AVCOL_SPC_BT709 : AVCOL_SPC_BT470BG;
    like.range = c.fullRange ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
    std::string error;
    const std::string clip = dir / "written.mkv";
    {
      auto writer = ClipWriter::Create(clip, OutputFormat::Matroska, c.width, c.height, 25, 1, false, error, &like);
      ASSERT_TRUE(writer) << error;
      ASSERT_TRUE(writer->WriteFrame(argb.data(), c.width * 4, nullptr, 0, error)) << error;
      ASSERT_TRUE(writer->Finish(error)) << error;
    }
    auto reader = ClipReader::Open(clip, error);
    ASSERT_TRUE(reader) << error;
    const AVFrame* ours = reader->DecodedFrame(0);
    ASSERT_NE(ours, nullptr);
    auto reference = [&](const std::string& steps) {
      const std::string out = dir / "reference.yuv";
      EXPECT_EQ(Shell("ffmpeg -loglevel error -y -f rawvideo -pix_fmt argb -s " + std::to_string(c.width) + "x" +
                      std::to_string(c.height) + " -i " + Quoted(raw) + " -vf " + Quoted(steps) +
                      " -f rawvideo " + Quoted(out)),
                0);
      return ReadFileBytes(out);
    };
    const std::string plain = std::string(c.format) == "yuvj420p" ? "yuv420p" : c.format;
    const std::string toYCbCr = std::string("scale=flags=bicubic+accurate_rnd+full_chroma_inp:out_color_matrix=") +
                                c.Matrix() + ":out_range=" + c.Range();
    const std::vector<UInt8> twoSteps = reference(toYCbCr + ",format=yuv444p,scale=flags=bicubic+accurate_rnd:in_range=" +
                                                  c.Range() + ":out_range=" + c.Range() + ",format=" + plain);
    const std::vector<UInt8> oneStep = reference(toYCbCr + ",format=" + plain);
    const AVPixFmtDescriptor* layout = av_pix_fmt_desc_get(AVPixelFormat(ours->format));
    Apart fromTwo, fromOne;
    size_t at = 0;
    for (int p = 0; p < 3; ++p) {
      const int w = p ? AV_CEIL_RSHIFT(c.width, layout->log2_chroma_w) : c.width;
      const int h = p ? AV_CEIL_RSHIFT(c.height, layout->log2_chroma_h) : c.height;
      ASSERT_GE(twoSteps.size(), at + size_t(w) * h);
      ASSERT_GE(oneStep.size(), at + size_t(w) * h);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x, ++at) {
          const int level = ours->data[p][y * ours->linesize[p] + x];
          fromTwo.Add(level, twoSteps[at]);
          fromOne.Add(level, oneStep[at]);
        }
    }
    EXPECT_EQ(at, twoSteps.size());
    // FFmpeg's own steps round in between differently from our exact
    // formula: up to 2 levels, at a few chroma samples on sharp edges.
    EXPECT_LE(fromTwo.worst, 2);
    EXPECT_EQ(fromTwo.overTwo, 0);
    EXPECT_LE(fromOne.worst, 8);
    EXPECT_LE(fromOne.overTwo, c.width * c.height / 500) << "levels more than 2 from the one-step conversion";
  }
}

TEST(HostCommand, OddSizesStayInMatroskaAndAreRefusedInMP4) {
  TempDir config, dir;
  const std::string clip = WriteFlatClip(dir / "odd.mkv", 5, 161, 121);
  HostRun r = Host("render '" + clip + "' -o '" + dir / "out.mkv" + "' --format mkv", config.path());
  ASSERT_EQ(r.status, 0) << r.err;
  std::string error;
  auto out = ClipReader::Open(dir / "out.mkv", error);
  ASSERT_TRUE(out) << error;
  EXPECT_EQ(out->info().width, 161);
  EXPECT_EQ(out->info().height, 121);
  r = Host("render '" + clip + "' -o '" + dir / "out.mp4" + "'", config.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Lines(r.err), 1u) << r.err;
  EXPECT_NE(r.err.find("161 x 121; H.264 in MP4 needs even sizes: give --format mkv"), std::string::npos) << r.err;
}

TEST(HostCommand, AudioThatStartsAfterTheVideoKeepsItsPlace) {
  TempDir config, dir;
  // Two seconds of video; audio from 0.5 s on, silent for its first 0.2 s,
  // then a tone: the tone is heard 0.7 s into the video.
  const std::string clip = dir / "late.mkv";
  ASSERT_EQ(Shell("ffmpeg -loglevel error -y -f lavfi -i color=c=gray:s=64x48:r=25:d=2 -itsoffset 0.5 -f lavfi -i "
                  "\"aevalsrc=if(gte(t\\,0.2)\\,0.5*sin(2*PI*1000*t)\\,0):s=48000:d=1.5\" "
                  "-c:v ffv1 -c:a flac '" + clip + "'"), 0);
  HostRun r = Host("render '" + clip + "' -o '" + dir / "out.mkv" + "' --format mkv", config.path());
  ASSERT_EQ(r.status, 0) << r.err;
  auto onset = [](const std::vector<float>& audio) {
    for (size_t k = 0; k < audio.size(); k += 2)
      if (std::fabs(audio[k]) > 0.05f) return long(k / 2);
    return -1L;
  };
  EXPECT_NEAR(onset(ReadAudio(clip, 96000)), 0.7 * 48000, 48);
  EXPECT_NEAR(onset(ReadAudio(dir / "out.mkv", 96000)), 0.7 * 48000, 48);
}

TEST(HostCommand, AnHourOfAudioIsReadAStretchAtATime) {
  TempDir config, dir;
  // Two seconds of video beside an hour of audio, and the same two seconds
  // with two seconds of audio: rendering the first must not hold the hour.
  for (const char* length : {"2", "3600"})
    ASSERT_EQ(Shell(std::string("ffmpeg -loglevel error -y -f lavfi -i color=c=blue:s=32x32:r=25:d=2 -f lavfi -i "
                                "sine=frequency=300:sample_rate=8000:duration=") +
                    length + " -c:v ffv1 -c:a flac '" + dir / length + ".mkv'"),
              0);
  long peak[2];
  for (int k = 0; k < 2; ++k) {
    const std::string name = k == 0 ? "2" : "3600";
    const pid_t child = ::fork();
    if (child == 0) {
      ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
      ::execl(QUORVEL_HOST_PATH, "quorvel-host", "render", (dir / name + ".mkv").c_str(), "-o",
              (dir / name + "-out.mkv").c_str(), "--format", "mkv", nullptr);
      ::_exit(127);
    }
    int status = 0;
    struct rusage usage;
    ASSERT_EQ(::wait4(child, &status, 0, &usage), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "rendering " << name << ".mkv ended with wait status " << status;
    peak[k] = usage.ru_maxrss;  // kilobytes
  }
  std::printf("peak resident size: %ld MB with 2 s of audio, %ld MB with an hour\n", peak[0] / 1024, peak[1] / 1024);
  // Held whole, the hour is 1.4 GB as the mixer's float stereo; the margin
  // leaves room for the allocator's and the sanitizers' own retention.
  EXPECT_LT(peak[1] - peak[0], 512 * 1024) << "the hour of audio was held in memory: peak resident size "
                                           << peak[0] / 1024 << " MB with 2 s of audio, " << peak[1] / 1024
                                           << " MB with an hour";
}

TEST(HostCommand, ConfigureErrorsAreOneLine) {
  TempDir config, dir;
  const std::string clip = WriteFlatClip(dir / "clip.mkv", 10, 64, 48);
  struct Case {
    std::string args, says;
  } cases[] = {
      {"configure " + Quoted(clip), "no display"},  // nobody to answer the dialog
      {"configure " + Quoted(clip) + " --script " + Quoted(WriteLines(dir / "bad.txt", {"twirl", "ok"})), "bad.txt:1:"},
      {"configure " + Quoted(clip) + " --script " + Quoted(WriteLines(dir / "end.txt", {"slider turn 5"})),
       "ends without ok"},
      {"configure " + Quoted(clip) + " --at 10 --script " + Quoted(dir / "end.txt"), "ends without ok"},
      {"configure " + Quoted(clip) + " --at 10 --script " + Quoted(WriteLines(dir / "ok.txt", {"ok"})), "--at 10"},
      {"configure " + Quoted(clip) + " --script " + Quoted(WriteLines(dir / "far.txt", {"slider border 101", "ok"})),
       "far.txt:1: border goes from 0 to 100; the dialog was cancelled"},
      // Only the whole script has a time, and running out of it names the
      // line and what the player was waiting for.
      {"configure " + Quoted(clip) + " --timeout 1 --script " +
           Quoted(WriteLines(dir / "long.txt", {"slider turn 100", "slider turn -100", "slider turn 100", "slider turn -100",
                                                "slider turn 100", "slider turn -100", "slider turn 100", "ok"})),
       "when the script's 1 s ran out (--timeout); the dialog was cancelled"},
      {"configure " + Quoted(clip) + " --input x11 --script " + Quoted(dir / "ok.txt"), "--input x11 needs an X display"},
  };
  for (const Case& c : cases) {
    HostRun r = Host(c.args, config.path());
    EXPECT_EQ(r.status, 1) << c.args;
    EXPECT_EQ(Lines(r.err), 1u) << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
  }
}

TEST(HostCommand, UsageErrorsSayWhatIsWrong) {
  TempDir config;
  for (const char* args : {"", "frobnicate", "info --selected-frames -3", "--interface-version x info"}) {
    HostRun r = Host(args, config.path());
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_NE(r.err.find("quorvel-host: "), std::string::npos);
  }
  EXPECT_EQ(Host("--help", config.path()).status, 0);
}

}  // namespace
