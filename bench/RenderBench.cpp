// Per-frame and per-picture costs, each beside the memory-bandwidth floor:
// a plain read-and-write pass over the same frame, timed in the same run;
// the frames also beside the same work drawn through pixman (pixman_ms) and
// on two threads against one (two_threads_x). Run with QUORVEL_THREADS=1 for
// the one-thread figures. Reports only; nothing here asserts a time.
#include <benchmark/benchmark.h>
#include <hwy/targets.h>

#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../tests/render/RenderSupport.h"
#include "HostServices.h"
#include "cg/Bands.h"
#include "cg/CGReference.h"
#include "common/commonprocs.h"
#include "common/iMovieGlue.h"
#include "effect/DataHandling.h"
#include "effect/pascalFX.h"
#include "files/EasyFile.h"
#include "imageio/ImageIO.h"
#include "render/lineEffect.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Milliseconds of one plain read-and-write pass over a frame of `bytes`
// (read every pixel of one buffer, write it to another), best of several.
double FloorMs(size_t bytes) {
  std::vector<UInt8> a(bytes, 1), b(bytes, 2);
  double best = 1e9;
  for (int k = 0; k < 20; ++k) {
    auto t0 = Clock::now();
    std::memcpy(b.data(), a.data(), bytes);
    benchmark::DoNotOptimize(b.data());
    best = std::min(best, Ms(Clock::now() - t0));
  }
  return best;
}

CGImageRef TestPicture(int w, int h) {
  std::vector<Pixel> px;
  px.reserve(size_t(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) px.push_back({255, UInt8(x * 7), UInt8(y * 3), UInt8((x ^ y) & 255)});
  return PictureFrom(w, h, px);
}

// Runs `work` for the benchmark's iterations and reports the time per
// iteration beside the floor for a frame of `frameBytes`.
template <typename Work>
void RunAgainstFloor(benchmark::State& state, size_t frameBytes, Work work) {
  auto t0 = Clock::now();
  for (auto _ : state) {
    work();
    benchmark::ClobberMemory();
  }
  const double perIteration = Ms(Clock::now() - t0) / double(state.iterations());
  const double floor = FloorMs(frameBytes);
  state.counters["floor_ms"] = floor;
  state.counters["x_floor"] = perIteration / floor;
}

// Milliseconds of `work`: the median of several runs.
template <typename Work>
double MedianMs(Work work, int runs) {
  std::vector<double> times;
  for (int k = 0; k < runs; ++k) {
    const auto t0 = Clock::now();
    work();
    times.push_back(Ms(Clock::now() - t0));
  }
  std::nth_element(times.begin(), times.begin() + runs / 2, times.end());
  return times[size_t(runs / 2)];
}

// The same work with the drawing sent through pixman, the path the
// compositor replaced (pixman_ms), and on two threads against one, taken
// turn about in the same process (two_threads_x).
template <typename Work>
void CompareInTheSameRun(benchmark::State& state, Work work) {
  CGUsePixmanForDrawing(true);
  state.counters["pixman_ms"] = MedianMs(work, 7);
  CGUsePixmanForDrawing(false);
  const int threads = bands::Threads();
  std::vector<double> ratios;
  for (int k = 0; k < 5; ++k) {
    bands::SetThreads(1);
    const double one = MedianMs(work, 9);
    bands::SetThreads(2);
    ratios.push_back(one / MedianMs(work, 9));
  }
  bands::SetThreads(threads);
  std::nth_element(ratios.begin(), ratios.begin() + 2, ratios.end());
  state.counters["two_threads_x"] = ratios[2];
}

// DoEffect: a 1000 x 750 picture in a rectangle half the frame's width and
// height, turned 28.8 degrees (8 % of a turn, the nearest to 30 the
// percentage slider offers), at 50 % opacity.
void BM_DoEffect(benchmark::State& state) {
  const int w = int(state.range(0)), h = int(state.range(1));
  PluginDataRec config{};
  ResetConfig(&config, true);
  config.TheRendered = TestPicture(1000, 750);
  config.StartRel = config.EndRel = {0.25, 0.75, 0.25, 0.75};
  config.Sliders[2] = 50;
  config.Sliders[3] = 8;
  config.BlendMode = SInt16(state.range(2));
  GWorldPtr source = NewFrame(w, h), target = NewFrame(w, h);
  FillRandom(source, 1);
  SInt16 opacity = 0;
  auto frame = [&] { DoEffect(&config, nullptr, source, target, 5, 0, 0, 10, 0.5f, 0.5f, 0.5f, opacity); };
  RunAgainstFloor(state, size_t(w) * h * 4, frame);
  CompareInTheSameRun(state, frame);
  state.SetLabel(state.range(2) == 1 ? "normal" : state.range(2) == 2 ? "multiply" : "luminosity");
  CGImageRelease(config.TheRendered);
  DisposeGWorld(source);
  DisposeGWorld(target);
}
// On a shared machine the fastest of several repetitions (--benchmark_repetitions)
// shows the code's own cost best; the median shows what a user meets.
double Fastest(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

BENCHMARK(BM_DoEffect)
    ->ArgsProduct({{720}, {480}, {1, 2, 16}})
    ->ArgsProduct({{1920}, {1080}, {1, 2, 16}})
    ->ArgsProduct({{3840}, {2160}, {1, 2, 16}})
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", Fastest)
    ->UseRealTime();

// The motion at 1080p: the picture of BM_DoEffect a quarter of the frame
// wide, gliding 96 pixels a frame. 0 draws it as described, 1 smooth, 2
// with a half shutter (48 pixels: 16 drawings). Reported beside it, in the
// same run: the described drawing (x_plain), and for the blur how many
// drawings of the picture's area its cost is worth (drawings), the frame's
// copy taken out of both.
void BM_Motion(benchmark::State& state) {
  const int w = 1920, h = 1080;
  PluginDataRec config{};
  ResetConfig(&config, true);
  config.TheRendered = TestPicture(1000, 750);
  config.StartRel = {0.05, 0.30, 0.3, 0.6};
  config.EndRel = {0.55, 0.80, 0.3, 0.6};
  config.Sliders[2] = 50;
  config.Sliders[3] = 8;
  GWorldPtr source = NewFrame(w, h), target = NewFrame(w, h);
  FillRandom(source, 1);
  auto draw = [&](bool smooth, double blur) {
    config.Smooth = smooth;
    config.MotionBlur = blur;
    SInt16 opacity = 0;
    DoEffect(&config, nullptr, source, target, 5, 0, 0, 10, 0.5f, 0.5f, 0.5f, opacity);
  };
  const int mode = int(state.range(0));
  auto frame = [&] { draw(mode == 1, mode == 2 ? 0.5 : 0); };
  RunAgainstFloor(state, size_t(w) * h * 4, frame);
  const double plain = MedianMs([&] { draw(false, 0); }, 9), own = MedianMs(frame, 9);
  const double copy = MedianMs([&] { Source2Target(source, target); }, 9);
  state.counters["x_plain"] = own / plain;
  if (mode == 2) state.counters["drawings"] = (own - copy) / (plain - copy);
  state.SetLabel(mode == 0 ? "as described" : mode == 1 ? "smooth" : "motion blur, 16 drawings");
  CGImageRelease(config.TheRendered);
  DisposeGWorld(source);
  DisposeGWorld(target);
}
BENCHMARK(BM_Motion)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RenderLineArt(benchmark::State& state) {
  PluginDataRec config{};
  ResetConfig(&config, true);
  config.TheOriginalImage = TestPicture(4000, 3000);
  config.Sliders[1] = 20;
  config.Colors[1] = {65535, 65535, 0};
  RunAgainstFloor(state, size_t(4000) * 3000 * 4, [&] { RenderLineArt(&config); });
  CGImageRelease(config.TheOriginalImage);
  CGImageRelease(config.TheRendered);
}
BENCHMARK(BM_RenderLineArt)->Unit(benchmark::kMillisecond)->UseRealTime();

// The copy of the source frame into the target that every frame begins with.
void BM_FrameCopy(benchmark::State& state) {
  const int w = int(state.range(0)), h = int(state.range(1));
  GWorldPtr source = NewFrame(w, h), target = NewFrame(w, h);
  FillRandom(source, 1);
  RunAgainstFloor(state, size_t(w) * h * 4, [&] { Source2Target(source, target); });
  DisposeGWorld(source);
  DisposeGWorld(target);
}
BENCHMARK(BM_FrameCopy)->Args({720, 480})->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMillisecond)->UseRealTime();

// A fade's blit: the untouched frame laid over the effect's at half opacity.
void BM_FadeBlit(benchmark::State& state) {
  const int w = int(state.range(0)), h = int(state.range(1));
  GWorldPtr source = NewFrame(w, h), target = NewFrame(w, h);
  FillRandom(source, 1);
  FillRandom(target, 2);
  const Rect all = {0, 0, SInt16(h), SInt16(w)};
  HYProcs* procs = HostProcs();
  const HYFrame from = DescribeFrame(source);
  HYFrame to = DescribeFrame(target);
  RunAgainstFloor(state, size_t(w) * h * 4, [&] { procs->Blit(&from, &to, &all, &all, 128); });
  DisposeGWorld(source);
  DisposeGWorld(target);
}
BENCHMARK(BM_FadeBlit)->Args({720, 480})->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMillisecond)->UseRealTime();

std::string WriteTestFile(const char* name) {
  std::string path = std::string("/tmp/quorvel-bench-") + name;
  auto out = OIIO::ImageOutput::create(path);
  OIIO::ImageSpec spec(4000, 3000, 3, OIIO::TypeDesc::UINT8);
  std::vector<UInt8> px(size_t(4000) * 3000 * 3);
  for (size_t k = 0; k < px.size(); ++k) px[k] = UInt8((k / 3 % 4000) * 255 / 4000 + (k % 3) * 40);
  out->open(path, spec);
  out->write_image(OIIO::TypeDesc::UINT8, px.data());
  out->close();
  return path;
}

void BM_Import(benchmark::State& state, const char* name) {
  const std::string path = WriteTestFile(name);
  CFURLRef url = CFURLCreateWithFileSystemPath(kCFAllocatorDefault, path);
  RunAgainstFloor(state, size_t(4000) * 3000 * 4, [&] { CGImageRelease(GetCGImageFromURLUsingCG(url)); });
  CFRelease(url);
  std::remove(path.c_str());
}
BENCHMARK_CAPTURE(BM_Import, png, "4000x3000.png")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Import, jpeg, "4000x3000.jpg")->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

// QUORVEL_SIMD=avx2 or sse4 runs the compositor's kernels for that target
// on a machine that has a wider one, to measure what most users' machines run.
int main(int argc, char** argv) {
  if (const char* simd = std::getenv("QUORVEL_SIMD"); simd && *simd) {
    const std::string want = simd;
    const int64_t target = want == "avx2" ? HWY_AVX2 : want == "sse4" ? HWY_SSE4 : want == "avx3" ? HWY_AVX3 : 0;
    if (target == 0 || (hwy::SupportedTargets() & target) == 0) {
      std::fprintf(stderr, "QUORVEL_SIMD=%s: this machine runs avx3, avx2 or sse4 only as it has them\n", simd);
      return 2;
    }
    hwy::SetSupportedTargetsForTest(target);
  }
  benchmark::AddCustomContext("simd", hwy::TargetName(hwy::SupportedAndGeneratedTargets().front()));  // the one run
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
