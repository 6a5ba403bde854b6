// The frei0r filter loaded as a host loads it, called through its entry
// points: where the picture lands, what bad parameters give, several
// instances on several threads, and the same frame as the bundle draws.
#include <dlfcn.h>
#include <gtest/gtest.h>

extern "C" {
#include <frei0r.h>
}

#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "FilterChecks.h"
#include "MediaSupport.h"
#include "TestSupport.h"
#include "common/commonprocs.h"
#include "corefoundation/CFURL.h"
#include "effect/pascalFX.h"
#include "files/EasyFile.h"
#include "render/lineEffect.h"
#include "render/motion.h"

namespace {

using namespace filterchecks;

// The filter's entry points, from the built quorvel.so.
// One instance; its parameters set by name, as melt sets them.
class Instance {
 public:
  Instance(int w = kW, int h = kH) : f_(TheFilter()), it_(f_.construct(w, h)) {}
  ~Instance() { if (it_) f_.destruct(it_); }
  f0r_instance_t get() const { return it_; }
  int Index(const std::string& name) {
    for (int k = 0; k < kParameters; ++k) {
      f0r_param_info_t info;
      f_.info(&info, k);
      if (name == info.name) return k;
    }
    ADD_FAILURE() << "no parameter " << name;
    return -1;
  }
  void Set(const std::string& name, double v) { f_.set(it_, &v, Index(name)); }
  void Set(const std::string& name, const std::string& text) {
    const char* s = text.c_str();
    f_.set(it_, &s, Index(name));
  }
  void Colour(float r, float g, float b) {
    f0r_param_color_t c{r, g, b};
    f_.set(it_, &c, Index("border colour"));
  }
  void Box(const char* which, double l, double t, double w, double h) {
    const std::string p = which;
    Set(p + " left", l), Set(p + " top", t), Set(p + " width", w), Set(p + " height", h);
  }
  std::vector<uint32_t> Frame(double time, const std::vector<uint32_t>& in) {
    std::vector<uint32_t> out(in.size());
    f_.update(it_, time, in.data(), out.data());
    return out;
  }
  // The frame drawn on in place, as MLT may hand it.
  std::vector<uint32_t> FrameInPlace(double time, std::vector<uint32_t> frame) {
    f_.update(it_, time, frame.data(), frame.data());
    return frame;
  }

 private:
  Filter& f_;
  f0r_instance_t it_;
};

class FrameFilter : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(TheFilter().library, nullptr) << dlerror();
    picture = WriteQuarteredPicture(dir / "quarters.png", 64, 48, kQuarters);
  }
  TempDir dir;
  std::string picture;
};

}  // namespace

TEST_F(FrameFilter, ThePictureGlidesFromStartToEndAndHoldsBeforeAndAfter) {
  const double start[4] = {0.1, 0.1, 0.25, 0.3}, end[4] = {0.5, 0.45, 0.4, 0.5};
  struct Case {
    double time, fraction;  // the time given, and how far along the rectangle should be
    int quarterTurns;
  } cases[] = {{-5, 0, 0}, {100, 0, 0}, {300, 0.5, 0}, {500, 1, 0}, {900, 1, 0},
               {100, 0, 1}, {300, 0.5, 1}, {500, 1, 1}, {200, 0.25, 3}};
  for (const Case& c : cases) {
    Instance f;
    f.Set("picture", picture);
    f.Box("start", start[0], start[1], start[2], start[3]);
    f.Box("end", end[0], end[1], end[2], end[3]);
    f.Set("start time", 100.0), f.Set("end time", 500.0);
    f.Set("turn", c.quarterTurns * 0.25);
    SCOPED_TRACE("time " + std::to_string(c.time) + ", quarter turns " + std::to_string(c.quarterTurns));
    ExpectPictureAt(f.Frame(c.time, Flat(kBack)), RectAt(c.fraction, start, end), c.quarterTurns);
  }
}

TEST_F(FrameFilter, MultiplyOpacityAndBorderFollowTheirFormulas) {
  Instance f;
  f.Set("picture", picture);
  f.Box("start", 0.25, 0.25, 0.5, 0.5);
  f.Set("blend", "multiply");
  auto out = f.Frame(0, Flat(kBack));
  for (int q = 0; q < 4; ++q) {
    const Landing at = QuarterCentre(q, 80, 60, 160, 120, 0);
    const FlatColour c = kQuarters[q];
    EXPECT_TRUE(Near(out, at.x, at.y, int(std::lround(c.r * kBack[0] / 255.0)),
                     int(std::lround(c.g * kBack[1] / 255.0)), int(std::lround(c.b * kBack[2] / 255.0))))
        << "quarter " << q;
  }
  // Normal at 40 %: the picture's colour over the video's by 0.4.
  f.Set("blend", "1");
  f.Set("opacity", 0.4);
  out = f.Frame(0, Flat(kBack));
  const Landing at = QuarterCentre(0, 80, 60, 160, 120, 0);
  EXPECT_TRUE(Near(out, at.x, at.y, int(std::lround(0.4 * 230 + 0.6 * kBack[0])),
                   int(std::lround(0.4 * 20 + 0.6 * kBack[1])), int(std::lround(0.4 * 20 + 0.6 * kBack[2]))));
  // A border of 50 % is an eighth of the picture's shorter side (48 / 8 = 6
  // of its pixels, 15 of the frame's), in the colour given.
  f.Set("opacity", 1.0);
  f.Set("border", 0.5);
  f.Colour(1, 0.5, 0);
  out = f.Frame(0, Flat(kBack));
  EXPECT_TRUE(Near(out, 80 + 5, 150, 255, 128, 0));
  EXPECT_TRUE(Near(out, 160, 60 + 5, 255, 128, 0));
  EXPECT_TRUE(Near(out, 80 + 20, 80, kQuarters[0].r, kQuarters[0].g, kQuarters[0].b));
}

TEST_F(FrameFilter, BadParametersGiveTheDocumentedFallbacks) {
  const std::vector<uint32_t> in = Flat(kBack);
  Instance normal;
  normal.Set("picture", picture);
  const auto normalOut = normal.Frame(0, in);
  ASSERT_NE(normalOut, in);
  struct Case {
    const char* what;
    std::function<void(Instance&)> set;
    bool unchanged;  // or else drawn as with the defaults
  } cases[] = {
      {"a picture that does not exist", [&](Instance& f) { f.Set("picture", dir / "missing.png"); }, true},
      {"a text file as picture",
       [&](Instance& f) { f.Set("picture", WriteLines(dir / "notes.txt", {"not a picture"})); }, true},
      {"no picture", [&](Instance& f) { f.Set("picture", ""); }, true},
      {"a blend mode that does not exist", [&](Instance& f) { f.Set("picture", picture), f.Set("blend", "sparkle"); }, false},
      {"blend number 17", [&](Instance& f) { f.Set("picture", picture), f.Set("blend", "17"); }, false},
      {"negative sizes", [&](Instance& f) { f.Set("picture", picture), f.Box("start", 0.2, 0.2, -0.5, -1); }, true},
      {"not-a-number everywhere",
       [&](Instance& f) {
         f.Set("picture", picture);
         for (const char* p : {"start left", "start top", "start width", "start height", "opacity", "turn", "border",
                               "start time", "end time"})
           f.Set(p, std::nan(""));
       },
       false},
      {"huge values", [&](Instance& f) { f.Set("picture", picture), f.Box("start", 1e300, -1e300, 1e300, 1e300); }, true},
  };
  for (const Case& c : cases) {
    Instance f;
    ::testing::internal::CaptureStderr();
    c.set(f);
    std::vector<uint32_t> out;
    for (int k = 0; k < 3; ++k) {
      c.set(f);  // as melt does, before every frame
      out = f.Frame(0, in);
    }
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(out, c.unchanged ? in : normalOut) << c.what;
    EXPECT_LE(std::count(said.begin(), said.end(), '\n'), 1) << c.what << " said:\n" << said;
  }
  // A picture that cannot be read is named with the reason, once.
  {
    Instance f;
    const std::string notes = dir / "notes.txt";
    ::testing::internal::CaptureStderr();
    f.Set("picture", notes);
    f.Frame(0, in);
    const std::string said = ::testing::internal::GetCapturedStderr();
    const std::string start = "quorvel: cannot read the picture " + notes + ": ";
    ASSERT_EQ(said.rfind(start, 0), 0u) << said;
    EXPECT_GT(said.find("; frames pass unchanged"), start.size()) << said;
  }
  // Calls a host should not make change nothing and end nothing.
  Instance f;
  double v = 0.5;
  f0r_param_info_t info{};
  TheFilter().set(f.get(), &v, kParameters), TheFilter().set(f.get(), &v, -1), TheFilter().set(f.get(), nullptr, 1);
  TheFilter().get(f.get(), &v, 99), TheFilter().info(&info, 99);
  TheFilter().update(f.get(), 0, nullptr, nullptr);
  EXPECT_EQ(TheFilter().construct(0, 10), nullptr);
  EXPECT_EQ(TheFilter().construct(40000, 10), nullptr);
  // What is set is what is read back; a picture's path stays the filter's own copy.
  f.Set("blend", "overlay");
  char* text = nullptr;
  TheFilter().get(f.get(), &text, 15);
  EXPECT_STREQ(text, "overlay");
}

// Every number the filter takes is held to what can be drawn, as the
// documentation gives it: positions -1 to 2, sizes 0 to 3, border, opacity
// and motion blur 0 to 1, spin -8 to 8, turns and times any finite value;
// not a number is the default.
TEST_F(FrameFilter, EveryNumberIsHeldToItsRange) {
  struct Range {
    const char* name;
    double low, high, byDefault;
  };
  const Range ranges[] = {
      {"start left", -1, 2, 0},     {"start top", -1, 2, 0},     {"start width", 0, 3, 1}, {"start height", 0, 3, 1},
      {"end left", -1, 2, 0},       {"end top", -1, 2, 0},       {"end width", 0, 3, 1},   {"end height", 0, 3, 1},
      {"border", 0, 1, 0},          {"opacity", 0, 1, 1},        {"turn", -1e6, 1e6, 0},
      {"start time", -1e300, 1e300, 0}, {"end time", -1e300, 1e300, 1},
      {"spin", -8, 8, 0},           {"motion blur", 0, 1, 0},    {"smooth", 0, 1, 1},
  };
  for (const Range& r : ranges) {
    Instance f;
    auto read = [&](double v) {
      f.Set(r.name, v);
      double back = -12345;
      TheFilter().get(f.get(), &back, f.Index(r.name));
      return back;
    };
    // A check box is on or off: above a half is on.
    const bool box = std::string(r.name) == "smooth";
    const double inside = box ? r.high : r.low + (r.high - r.low) / 3;
    EXPECT_EQ(read(inside), inside) << r.name;
    if (box) {
      EXPECT_EQ(read(0.4), 0) << r.name;
    }
    EXPECT_EQ(read(r.low - 1 - std::abs(r.low)), r.low) << r.name;
    EXPECT_EQ(read(r.high + 1 + std::abs(r.high)), r.high) << r.name;
    EXPECT_EQ(read(-INFINITY), r.low) << r.name;
    EXPECT_EQ(read(INFINITY), r.high) << r.name;
    EXPECT_EQ(read(std::nan("")), r.byDefault) << r.name;
  }
}

TEST_F(FrameFilter, TransparentVideoKeepsItsColoursOutsideThePicture) {
  Instance f;
  f.Set("picture", picture);
  f.Box("start", 0.5, 0.5, 0.5, 0.5);
  const uint8_t colour[3] = {201, 13, 77};
  const auto in = Flat(colour, 3);
  const auto out = f.Frame(0, in);
  EXPECT_EQ(std::memcmp(At(out, 10, 10), At(in, 10, 10), 4), 0) << Rgb(At(out, 10, 10));
  // Over the transparent video the opaque picture is all that shows.
  EXPECT_TRUE(Near(out, 200, 150, kQuarters[0].r, kQuarters[0].g, kQuarters[0].b));
  EXPECT_EQ(At(out, 200, 150)[3], 255);
}

// Video of every alpha, noisy; a picture turned a tenth of a turn in the
// middle. Every pixel more than 3 pixels beyond the picture's corners comes
// through bit for bit, drawn into another frame or in place; the picture
// covers the middle.
TEST_F(FrameFilter, EveryPixelAwayFromThePictureComesThroughAsItWas) {
  std::vector<uint32_t> in(size_t(kW) * kH);
  uint32_t seed = 12345;
  for (uint32_t& p : in) p = seed = seed * 1664525u + 1013904223u;
  const double l = 0.3, t = 0.35, w = 0.4, h = 0.3, turn = 0.1;
  const double cx = kW * (l + w / 2), cy = kH * (t + h / 2);
  const double reach = std::hypot(kW * w, kH * h) / 2 + 3, inner = std::min(kW * w, kH * h) / 2 - 3;
  for (bool inPlace : {false, true}) {
    SCOPED_TRACE(inPlace ? "in place" : "into another frame");
    Instance f;
    f.Set("picture", picture);
    f.Box("start", l, t, w, h);
    f.Box("end", l, t, w, h);
    f.Set("turn", turn);
    const std::vector<uint32_t> out = inPlace ? f.FrameInPlace(0, in) : f.Frame(0, in);
    size_t away = 0, changedInside = 0, inside = 0;
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        const double r = std::hypot(x + 0.5 - cx, y + 0.5 - cy);
        const size_t k = size_t(y) * kW + x;
        if (r > reach) {
          ++away;
          ASSERT_EQ(out[k], in[k]) << x << ", " << y;
        } else if (r < inner) {
          ++inside;
          changedInside += out[k] != in[k];
        }
      }
    EXPECT_GT(away, size_t(kW) * kH / 2);
    EXPECT_GT(changedInside, inside * 9 / 10);
  }
}

TEST_F(FrameFilter, InstancesOnSeveralThreadsDrawWhatEachDrawsAlone) {
  auto settings = [&](Instance& f, int k) {
    f.Set("picture", picture);
    f.Box("start", 0.05 * k, 0.1, 0.3, 0.3);
    f.Box("end", 0.6, 0.05 * k, 0.3, 0.4);
    f.Set("turn", 0.1 * k);
    f.Set("blend", std::to_string(k + 1));
    f.Set("border", 0.1 * k);
  };
  const auto in = Flat(kBack);
  std::vector<std::vector<std::vector<uint32_t>>> alone(4), together(4);
  for (int k = 0; k < 4; ++k) {
    Instance f;
    settings(f, k);
    for (int n = 0; n < 6; ++n) alone[k].push_back(f.Frame(n * 0.2, in));
  }
  std::vector<std::thread> threads;
  for (int k = 0; k < 4; ++k)
    threads.emplace_back([&, k] {
      Instance f;
      settings(f, k);
      for (int n = 0; n < 6; ++n) together[k].push_back(f.Frame(n * 0.2, in));
    });
  for (std::thread& t : threads) t.join();
  for (int k = 0; k < 4; ++k) EXPECT_EQ(together[k], alone[k]) << "instance " << k;
}

// The same settings through the bundle's effect and through the filter,
// frame after frame of video that changes under the picture: still and
// turned, and spinning with motion blur, each smooth (the filter's default)
// and on whole pixels (the bundle's).
TEST_F(FrameFilter, DrawsTheFramesTheBundleDraws) {
  struct Case {
    const char* name;
    bool smooth;
    double spin, blur;
  };
  const Case cases[] = {{"smooth", true, 0, 0},
                        {"on whole pixels", false, 0, 0},
                        {"spinning and blurred, smooth", true, 0.5, 0.8},
                        {"spinning and blurred, on whole pixels", false, -0.3, 0.5}};
  PluginDataRec rec{};
  rec.StartRel = {0.1, 0.5, 0.2, 0.5};
  rec.EndRel = {0.5, 0.8, 0.4, 0.9};
  rec.Sliders[1] = 25, rec.Sliders[2] = 60, rec.Sliders[3] = 8;
  rec.Colors[1] = {65535, 32768, 0};
  rec.BlendMode = 4;
  rec.Easing = cEaseLinear;
  CFURLRef url = CFURLCreateWithFileSystemPath(kCFAllocatorDefault, picture);
  rec.TheOriginalImage = GetCGImageFromURLUsingCG(url);
  CFRelease(url);
  ASSERT_NE(rec.TheOriginalImage, nullptr);
  RenderLineArt(&rec);
  const Rect bounds = {0, 0, kH, kW};
  GWorldPtr source = AllocateRectGWorld(bounds), dest = AllocateRectGWorld(bounds);
  uint8_t* src = reinterpret_cast<uint8_t*>(GetPixBaseAddr(GetGWorldPixMap(source)));
  const uint8_t* bundle = reinterpret_cast<uint8_t*>(GetPixBaseAddr(GetGWorldPixMap(dest)));
  const size_t rowBytes = size_t(GetPixRowBytes(GetGWorldPixMap(source)));
  std::vector<uint32_t> in(size_t(kW) * kH);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    rec.Smooth = c.smooth, rec.Spin = c.spin, rec.MotionBlur = c.blur;
    Instance f;
    f.Set("picture", picture);
    f.Box("start", 0.1, 0.2, 0.4, 0.3);
    f.Box("end", 0.5, 0.4, 0.3, 0.5);
    f.Set("end time", 25 * 40.0);  // FFmpeg's milliseconds over the bundle's 25 frames
    f.Set("border", 0.25), f.Colour(1, 0.5, 0), f.Set("opacity", 0.6), f.Set("turn", 0.08), f.Set("blend", "overlay");
    f.Set("smooth", c.smooth ? 1.0 : 0.0), f.Set("spin", c.spin), f.Set("motion blur", c.blur);
    for (int frame = 0; frame < 25; ++frame) {
      // A gradient that moves with the frame, the same for both.
      for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
          const uint8_t p[4] = {uint8_t((x + 9 * frame) * 255 / (kW + 225)), uint8_t(y * 255 / kH),
                                uint8_t((x + y + 13 * frame) % 256), 255};
          std::memcpy(&in[size_t(y) * kW + x], p, 4);
          uint8_t* q = src + y * rowBytes + x * 4;
          q[0] = p[3], q[1] = p[0], q[2] = p[1], q[3] = p[2];
        }
      DoPascalPixelEffect(source, dest, &rec, frame, 25);
      const auto out = f.Frame(frame * 40.0, in);
      // The filter learns the time between frames from the second frame on.
      if (frame == 0 && c.blur > 0) continue;
      int worst = 0;
      for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
          for (int k = 0; k < 3; ++k) worst = std::max(worst, std::abs(At(out, x, y)[k] - bundle[y * rowBytes + x * 4 + 1 + k]));
      ASSERT_LE(worst, 2) << "frame " << frame;
    }
  }
  DisposeGWorld(source), DisposeGWorld(dest);
  CGImageRelease(rec.TheOriginalImage), CGImageRelease(rec.TheRendered);
}

namespace {

// What a command prints on its standard output.
std::string Output(const std::string& command) {
  std::string text;
  FILE* p = popen(command.c_str(), "r");
  if (p == nullptr) return text;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;) text.append(buffer, n);
  pclose(p);
  return text;
}

// A guest in FFmpeg's, melt's or an editor's process brings no toolkit of
// its own into it (the editors on Debian 12 run on Qt 5), and carries no
// call that could end that process.
TEST(FilterAsAGuest, BringsNoQtAndCannotEndItsHost) {
  const std::string library = QUORVEL_FREI0R_LIBRARY;
  const std::string needed = Output("ldd '" + library + "'");
  ASSERT_NE(needed.find("libOpenImageIO"), std::string::npos) << needed;  // ldd did read it
  EXPECT_EQ(needed.find("libQt"), std::string::npos) << needed;
  const std::string undefined = Output("nm -D --undefined-only '" + library + "'");
  ASSERT_NE(undefined.find("memcpy"), std::string::npos) << undefined;
  for (const char* end : {" exit", " _exit", " _Exit", " quick_exit"})
    for (size_t at = undefined.find(end); at != std::string::npos; at = undefined.find(end, at + 1)) {
      const char after = undefined[at + std::strlen(end)];
      EXPECT_TRUE(after != '@' && after != '\n') << "quorvel.so calls" << end;
    }
}

}  // namespace
