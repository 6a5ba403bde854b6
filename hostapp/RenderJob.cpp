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
// The audio samples of frame n: from its start to the next frame's, by the
// frames' own times in a variable-rate clip, by the rate otherwise.
void AudioSpan(long n, const ClipInfo& info, const ClipReader& clip, long& first, long& end) {
  if (info.variableRate) {
    auto at = [&](long k) {
      return long(__int128(clip.FrameStart(k)) * kAudioRate * info.timeBaseNum / info.timeBaseDen);
    };
    first = at(n);
    end = at(n + 1);
    return;
  }
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

namespace {

// What a render asks of its clip before anything is written.
// How the frames were turned to show as a player shows them.
void NoteTurn(const ClipInfo& info, std::vector<std::string>& notes) {
  if (info.turnNotApplied != 0) {
    char degrees[32];
    std::snprintf(degrees, sizeof degrees, "%g", info.turnNotApplied);
    notes.push_back(std::string("not turned: the clip asks for a turn of ") + degrees +
                    " degrees, which is no quarter turn; its frames stay as stored");
  }
  const std::string turn = TurnWords(info);
  if (turn.empty()) return;
  notes.push_back("turned upright: stored " + std::to_string(info.storedWidth) + " x " +
                  std::to_string(info.storedHeight) + ", shown " + turn + "; written as shown, " +
                  std::to_string(info.width) + " x " + std::to_string(info.height));
}

bool RenderFitsClip(const RenderOptions& o, const ClipInfo& info, long& count, std::string& error) {
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
  return true;
}

// Opens the plug-in's render session over the range; the plug-in's result.
SInt32 OpenSession(Session& s, HYPluginEntry entry, const RenderOptions& o, ClipReader* clip, long count,
                   size_t& blocksBefore) {
  const ClipInfo& info = clip->info();
  s.entry = entry;
  s.host.clip = clip;
  s.host.failGetFrameAt = o.failGetFrameAt < 0 ? -1 : SInt32(o.failGetFrameAt);
  s.host.filterInfo.fadeInFrames = SInt32(o.fadeIn);
  s.host.filterInfo.fadeOutFrames = SInt32(o.fadeOut);
  for (int i = 0; i < kHYFilterSliderCount; ++i) s.host.filterInfo.sliderValues[i] = o.sliders[i];
  s.params = NewParams(s.host, kHostInterfaceVersion);
  const Rect bounds = {0, 0, SInt16(info.height), SInt16(info.width)};
  s.output = NewHostFrame(bounds.right, bounds.bottom);
  if (s.output == nullptr) return kPluginOutOfMemory;
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
  return result;
}

// How the plug-in left one frame of the range.
struct DrawnFrame {
  bool untouched = false;  // the host could not give it: it goes out as it came
  bool audible = true;     // the plug-in mixed its sound
};

// Frame `n` of the range through the plug-in; false when the plug-in failed.
bool DrawInRange(Session& s, long n, const RenderOptions& o, RenderReport& report, DrawnFrame& drawn,
                 std::string& error) {
  s.params.selector = kPlugDoFrame;
  s.params.renderFrame = SInt32(n - o.start);
  const size_t mixedBefore = s.host.audioMixed.size();
  const double callbacksBefore = s.host.callbackSeconds;
  const auto t0 = Clock::now();
  const SInt32 result = s.entry(0, &s.params);
  report.pluginSeconds += std::chrono::duration<double>(Clock::now() - t0).count();
  report.pluginSeconds -= s.host.callbackSeconds - callbacksBefore;
  if (result == kPluginCantGetNeededFrame) {
    ++report.failedFrameRequests;
    drawn.untouched = true;
  } else if (result != kPluginOK) {
    error = "the plug-in failed on frame " + std::to_string(n) + ": " + ResultName(result);
    return false;
  } else {
    drawn.audible = s.host.audioMixed.size() > mixedBefore;
  }
  return true;
}

// The sound of frame `n`, silent where the plug-in did not mix it; nil
// without audio.
const float* SoundOfFrame(AudioReader* audio, long n, const ClipReader& clip, bool audible, std::vector<float>& buffer,
                          int& samples, std::string& error) {
  samples = 0;
  if (audio == nullptr) return buffer.data();
  long first, end;
  AudioSpan(n, clip.info(), clip, first, end);
  samples = int(end - first);
  buffer.resize(size_t(samples) * kAudioChannels);
  if (!audio->Read(first, samples, buffer.data(), error)) return nullptr;
  if (!audible) std::fill(buffer.begin(), buffer.end(), 0.0f);
  return buffer.data();
}

}  // namespace

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
  if (!RenderFitsClip(o, info, count, error)) return false;
  NoteTurn(info, report.notes);
  // The audio is read as it is written, a stretch at a time.
  std::unique_ptr<AudioReader> audio;
  if (o.format != OutputFormat::PngFrames && info.hasAudio) {
    audio = AudioReader::Open(o.clip, error);
    if (!audio && !error.empty()) return false;
  }
  const std::string temp = TemporaryBeside(o.output);
  if (o.format == OutputFormat::PngFrames && ::mkdir(temp.c_str(), 0755) != 0) {
    error = "cannot write " + o.output + ": " + std::strerror(errno);
    return false;
  }
  auto writer = ClipWriter::Create(temp, o.format, info.width, info.height, info.fpsNum, info.fpsDen, audio != nullptr,
                                   error, &info, o.format == OutputFormat::PngFrames ? "" : o.clip);
  auto fail = [&](const std::string& why) {
    error = why;
    writer.reset();
    RemoveOutput(temp);
    return false;
  };
  if (!writer) return fail(error);
  report.notes.insert(report.notes.end(), writer->notes().begin(), writer->notes().end());
  if (o.format == OutputFormat::PngFrames && info.hasAudio) report.notes.push_back("left out: the sound; PNG frames hold pictures only");

  size_t blocksBefore = 0;
  {
    Session s;
    const SInt32 opened = OpenSession(s, entry, o, clip.get(), count, blocksBefore);
    if (opened != kPluginOK) return fail("the plug-in refused the render session: " + ResultName(opened));
    if (o.starting) o.starting();
    std::vector<float> soundBuffer;
    const long total = long(info.frameCount);
    for (long n = 0; n < total; ++n) {
      if (lgStopRequested) return fail("interrupted; nothing was written");
      DrawnFrame drawn;
      drawn.untouched = n < o.start || n >= o.start + count;
      if (!drawn.untouched && !DrawInRange(s, n, o, report, drawn, error)) return fail(error);
      // A frame the effect does not touch goes from the decoder to the
      // encoder as it is, not through A,R,G,B.
      const AVFrame* decoded = drawn.untouched ? clip->DecodedFrame(n) : nullptr;
      if (drawn.untouched && decoded == nullptr) return fail(o.clip + ": frame " + std::to_string(n) + " cannot be read");
      int samples = 0;
      const float* sound = SoundOfFrame(audio.get(), n, *clip, drawn.audible, soundBuffer, samples, error);
      if (info.variableRate) writer->TimeNextFrame(clip->FrameStart(n), clip->FrameStart(n + 1) - clip->FrameStart(n));
      if (sound == nullptr && audio) return fail(error);
      if (!(drawn.untouched ? writer->WriteDecodedFrame(decoded, sound, samples, error)
                            : writer->WriteFrame(reinterpret_cast<const uint8_t*>(s.output->baseAddress),
                                                 s.output->rowBytes, sound, samples, error)))
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
