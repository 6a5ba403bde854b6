// End to end: a 1920 x 1080 clip of 300 frames decoded, rendered with the
// effect (a 1000 x 750 picture in half the frame, turned 28.8 degrees, 50 %
// opacity) and encoded as H.264 + AAC, beside FFmpeg doing the same overlay
// job with the same encoder settings, in the same run. Also, as the floor
// of the whole job: a plain FFmpeg transcode of the clip with those encoder
// settings and no filter, and the host's render with no picture, which is
// what the host costs before the effect draws anything. Reports only.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "../tests/render/RenderSupport.h"
#include "../tests/support/TestSupport.h"
#include "RenderJob.h"
#include "SampleClip.h"
#include "effect/DataHandling.h"
#include "host/HostEntry.h"
#include "media/ClipReader.h"
#include "media/ClipWriter.h"
#include "memory/MacMemory.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

Ptr AllocateForThePlugIn(SInt32 size) { return NewPtrClear(size); }

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::atoi(argv[1]) : 300;
  QuietMediaLibraries();
  ScopedPreferences prefs;
  TempDir dir;
  std::string error;
  std::fprintf(stderr, "making a 1920 x 1080 clip of %d frames...\n", frames);
  if (!WriteSampleClip(dir / "clip.mp4", 1920, 1080, frames, error)) return std::fprintf(stderr, "%s\n", error.c_str()), 1;

  // The picture, also as a file for FFmpeg.
  std::vector<Pixel> px;
  for (int y = 0; y < 750; ++y)
    for (int x = 0; x < 1000; ++x) px.push_back({255, UInt8(x * 255 / 1000), UInt8(y * 255 / 750), 128});
  std::vector<uint8_t> argb;
  for (const Pixel& p : px) argb.insert(argb.end(), {p.a, p.r, p.g, p.b});
  if (!WritePng(dir / "picture.png", argb.data(), 1000, 750, 4000, true, error)) return 1;

  HYProcs procs{};
  procs.NewPtrClear = AllocateForThePlugIn;
  HYPluginParams start{};
  start.interfaceVersion = 4;
  start.procs = &procs;
  PluginMain(0, &start);
  gPascalData->TheRendered = PictureFrom(1000, 750, px);
  gPascalData->StartRel = gPascalData->EndRel = {0.25, 0.75, 0.25, 0.75};
  gPascalData->Sliders[2] = 50;
  gPascalData->Sliders[3] = 8;

  RenderOptions o;
  o.clip = dir / "clip.mp4";
  o.output = dir / "quorvel.mp4";
  RenderReport report;
  auto t0 = std::chrono::steady_clock::now();
  if (!RenderClip(PluginMain, o, nullptr, report, error)) return std::fprintf(stderr, "%s\n", error.c_str()), 1;
  const double ours = Seconds(t0);

  // The same render with no picture: the host's decode and encode alone.
  CGImageRef picture = gPascalData->TheRendered;
  gPascalData->TheRendered = nullptr;
  o.output = dir / "bare.mp4";
  RenderReport bareReport;
  t0 = std::chrono::steady_clock::now();
  if (!RenderClip(PluginMain, o, nullptr, bareReport, error)) return std::fprintf(stderr, "%s\n", error.c_str()), 1;
  const double bare = Seconds(t0);
  gPascalData->TheRendered = picture;

  const std::string transcode = "ffmpeg -hide_banner -loglevel error -y -i '" + o.clip +
                                "' -c:v libx264 -preset fast -crf 18 -c:a aac '" + dir / "transcode.mp4" + "'";
  t0 = std::chrono::steady_clock::now();
  const int transcoded = std::system(transcode.c_str());
  const double plain = Seconds(t0);

  const std::string ffmpeg =
      "ffmpeg -hide_banner -loglevel error -y -i '" + o.clip + "' -loop 1 -i '" + dir / "picture.png" +
      "' -filter_complex \"[1:v]format=rgba,scale=960:540:eval=frame,rotate=a=28.8*PI/180:c=none:"
      "ow=rotw(28.8*PI/180):oh=roth(28.8*PI/180),colorchannelmixer=aa=0.5[p];"
      "[0:v][p]overlay=x=(W-w)/2:y=(H-h)/2:format=rgb:shortest=1,format=yuv420p[v]\" -map '[v]' -map 0:a "
      "-c:v libx264 -preset fast -crf 18 -c:a aac '" + dir / "ffmpeg.mp4" + "'";
  t0 = std::chrono::steady_clock::now();
  const int status = std::system(ffmpeg.c_str());
  const double theirs = Seconds(t0);

  std::printf("end-to-end render of %d frames of 1920 x 1080 (decode, effect, H.264 + AAC encode)\n", frames);
  std::printf("  quorvel-host  %6.1f s  %6.1f fps   plug-in %5.1f ms a frame, %4.1f %% of the frame time\n", ours,
              frames / ours, report.pluginSeconds * 1000 / frames, 100 * report.pluginSeconds / ours);
  std::printf("  no picture    %6.1f s  %6.1f fps   the host's decode and encode alone\n", bare, frames / bare);
  if (status == 0)
    std::printf("  ffmpeg        %6.1f s  %6.1f fps   (scale, rotate, overlay in RGB)\n", theirs, frames / theirs);
  else
    std::printf("  ffmpeg        did not run (status %d)\n", status);
  if (transcoded == 0) {
    std::printf("  transcode     %6.1f s  %6.1f fps   FFmpeg, the same encoder settings, no filter\n", plain,
                frames / plain);
    std::printf("  ratios to the transcode: the render %.2fx, the host with no picture %.2fx\n", ours / plain,
                bare / plain);
  } else {
    std::printf("  transcode     did not run (status %d)\n", transcoded);
  }
  return 0;
}
