#include "RenderJob.h"

#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <vector>

#include "ClipRange.h"
#include "HostServices.h"
#include "OutputFiles.h"
#include "media/AudioReader.h"
#include "media/ClipReader.h"

namespace {

std::atomic<bool> lgStopRequested{false};

using Clock = std::chrono::steady_clock;

// The audio samples (stereo frames) that belong to video frame `n`.
void AudioSpan(long n, const ClipInfo& info, long& first, long& end) {
  auto at = [&](long k) { return long((int64_t(k) * kAudioRate * info.fpsDen) / info.fpsNum); };
  first = at(n);
  end = at(n + 1);
}

struct Session {
  HostSession host;
  HYPluginParams params;
  HYFrame* output = nullptr;
  bool open = false;
  HYPluginEntry entry;
  ~Session() {
    if (open) {
      params.selector = kPlugTerminate;
      entry(0, &params);
    }
    ReclaimLentFrames(host);
    DisposeHostFrame(output);
  }
};

}  // namespace

void RequestRenderStop() { lgStopRequested = true; }

// Frames are allocated and freed many times a second. Left to its defaults,
// the C library hands every frame-sized block back to the system and gets it
// again zero-filled page by page, which costs more than drawing the frame.
void KeepFrameMemoryAround() {
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
}

bool RenderClip(HYPluginEntry entry, const RenderOptions& o, const RenderProgress& progress, RenderReport& report,
                std::string& error) {
  lgStopRequested = false;
  KeepFrameMemoryAround();
  const auto began = Clock::now();
  if (!OutputAllowed(o.clip, o.output, o.overwrite, o.format == OutputFormat::PngFrames, error)) return false;
  auto clip = ClipReader::Open(o.clip, error);
  if (!clip) return false;
  const ClipInfo& info = clip->info();
  long count = 0;
  if (!RangeInClip(info, o.start, o.count, count, error)) return false;
  if (o.fadeIn < 0 || o.fadeOut < 0 || o.fadeIn > count || o.fadeOut > count) {
    error = "fades must be from 0 to the " + std::to_string(count) + " frames of the range";
    return false;
  }
  if (!FramesFit(info, o.clip, "rendered", error)) return false;
  if (o.format == OutputFormat::Mp4 && (info.width % 2 != 0 || info.height % 2 != 0)) {
    error = o.clip + " is " + std::to_string(info.width) + " x " + std::to_string(info.height) +
            "; H.264 in MP4 needs even sizes: give --format mkv to keep its size";
    return false;
  }
  // The audio is read as it is written, a stretch at a time.
  std::unique_ptr<AudioReader> audio;
  if (o.format != OutputFormat::PngFrames && info.hasAudio) {
    audio = AudioReader::Open(o.clip, error);
    if (!audio && !error.empty()) return false;
  }
  const bool withAudio = audio != nullptr;

  const std::string temp = TemporaryBeside(o.output);
  if (o.format == OutputFormat::PngFrames && ::mkdir(temp.c_str(), 0755) != 0) {
    error = "cannot write " + o.output + ": " + std::strerror(errno);
    return false;
  }
  auto writer =
      ClipWriter::Create(temp, o.format, info.width, info.height, info.fpsNum, info.fpsDen, withAudio, error, &info);
  auto fail = [&](const std::string& why) {
    error = why;
    writer.reset();
    RemoveOutput(temp);
    return false;
  };
  if (!writer) return fail(error);

  size_t blocksBefore = 0;
  {
    Session s;
    s.entry = entry;
    s.host.clip = clip.get();
    s.host.failGetFrameAt = o.failGetFrameAt < 0 ? -1 : SInt32(o.failGetFrameAt);
    s.host.filterInfo.fadeInFrames = SInt32(o.fadeIn);
    s.host.filterInfo.fadeOutFrames = SInt32(o.fadeOut);
    for (int i = 0; i < kHYFilterSliderCount; ++i) s.host.filterInfo.sliderValues[i] = o.sliders[i];
    s.params = NewParams(s.host, kHostInterfaceVersion);
    const Rect bounds = {0, 0, SInt16(info.height), SInt16(info.width)};
    s.output = NewHostFrame(bounds.right, bounds.bottom);
    if (s.output == nullptr) return fail("out of memory for the frames");
    s.params.frame = s.output;
    s.params.frameRect = bounds;
    s.params.startFrame = SInt32(o.start);
    s.params.frameCount = SInt32(count);
    s.params.proxyOnly = o.proxyOnly;
    s.params.getInfo2.selectedFrames = SInt32(count);
    s.params.selector = kPlugGetInfo;
    SInt32 result = entry(0, &s.params);
    // The first call starts the plug-in, whose master record lives as long as
    // it is loaded; what a session keeps is counted from here.
    blocksBefore = HostBlocksOutstanding();
    if (result == kPluginOK) {
      s.params.selector = kPlugInitialize;
      result = entry(0, &s.params);
      s.open = true;
    }
    if (result != kPluginOK) return fail("the plug-in refused the render session: " + ResultName(result));

    if (o.starting) o.starting();
    uint8_t* pixels = reinterpret_cast<uint8_t*>(s.output->baseAddress);
    const int rowBytes = s.output->rowBytes;
    std::vector<float> soundBuffer;
    const long total = long(info.frameCount);
    for (long n = 0; n < total; ++n) {
      if (lgStopRequested) return fail("interrupted; nothing was written");
      const bool inRange = n >= o.start && n < o.start + count;
      bool audible = true, untouched = !inRange;
      if (inRange) {
        s.params.selector = kPlugDoFrame;
        s.params.renderFrame = SInt32(n - o.start);
        const size_t mixedBefore = s.host.audioMixed.size();
        const double callbacksBefore = s.host.callbackSeconds;
        const auto t0 = Clock::now();
        result = entry(0, &s.params);
        report.pluginSeconds += std::chrono::duration<double>(Clock::now() - t0).count();
        report.pluginSeconds -= s.host.callbackSeconds - callbacksBefore;
        if (result == kPluginCantGetNeededFrame) {
          // The host could not give the frame: it goes out unchanged, with its sound.
          ++report.failedFrameRequests;
          untouched = true;
        } else if (result != kPluginOK) {
          return fail("the plug-in failed on frame " + std::to_string(n) + ": " + ResultName(result));
        } else {
          audible = s.host.audioMixed.size() > mixedBefore;
        }
      }
      // A frame the effect does not touch goes from the decoder to the
      // encoder as it is, not through A,R,G,B.
      const AVFrame* decoded = untouched ? clip->DecodedFrame(n) : nullptr;
      if (untouched && decoded == nullptr) return fail(o.clip + ": frame " + std::to_string(n) + " cannot be read");
      long first, end;
      AudioSpan(n, info, first, end);
      const long samples = end - first;
      const float* sound = nullptr;
      if (withAudio) {
        soundBuffer.resize(size_t(samples) * kAudioChannels);
        if (!audio->Read(first, int(samples), soundBuffer.data(), error)) return fail(error);
        if (!audible) std::fill(soundBuffer.begin(), soundBuffer.end(), 0.0f);
        sound = soundBuffer.data();
      }
      const int soundSamples = withAudio ? int(samples) : 0;
      if (!(untouched ? writer->WriteDecodedFrame(decoded, sound, soundSamples, error)
                      : writer->WriteFrame(pixels, rowBytes, sound, soundSamples, error)))
        return fail(error);
      ++report.frames;
      if (progress) progress(n + 1, total);
    }
    s.params.selector = kPlugTerminate;
    entry(0, &s.params);
    s.open = false;
    report.framesLeftLent = ReclaimLentFrames(s.host);
  }
  report.blocksNotGivenBack = long(HostBlocksOutstanding()) - long(blocksBefore);
  if (!writer->Finish(error)) return fail(error);
  writer.reset();
  if (!PlaceOutput(temp, o.output, o.overwrite, error)) return false;
  report.seconds = std::chrono::duration<double>(Clock::now() - began).count();
  return true;
}

bool RenderPlaceholder(HYPluginEntry entry, const RenderOptions& options, long at, std::string& error) {
  const std::string& output = options.output;
  if (!OutputAllowed(options.clip, output, options.overwrite, false, error)) return false;
  auto clip = ClipReader::Open(options.clip, error);
  if (!clip) return false;
  const ClipInfo& info = clip->info();
  long one = 0;
  if (!RangeInClip(info, at, 1, one, error) || !FramesFit(info, options.clip, "rendered", error)) return false;
  HostSession host;
  host.clip = clip.get();
  host.failGetFrameAt = options.failGetFrameAt < 0 ? -1 : SInt32(options.failGetFrameAt);
  HYPluginParams params = NewParams(host, kHostInterfaceVersion);
  const Rect bounds = {0, 0, SInt16(info.height), SInt16(info.width)};
  HYFrame* frame = NewHostFrame(bounds.right, bounds.bottom);
  if (frame == nullptr) {
    error = "out of memory for the frame";
    return false;
  }
  params.frame = frame;
  params.frameRect = bounds;
  params.startFrame = 0;
  params.frameCount = SInt32(info.frameCount);
  params.getInfo.bestThumbOffset = SInt32(at);
  params.selector = kPlugFilePlaceHolder;
  const SInt32 result = entry(0, &params);
  ReclaimLentFrames(host);
  bool ok = result == kPluginOK;
  if (!ok) error = "the plug-in could not make the placeholder: " + ResultName(result);
  if (ok)
    ok = WritePng(output, reinterpret_cast<const uint8_t*>(frame->baseAddress), info.width, info.height,
                  frame->rowBytes, options.overwrite, error);
  DisposeHostFrame(frame);
  return ok;
}
