// Reading a clip: any video file FFmpeg reads, frame by absolute number,
// scaled to the size asked for, as opaque A,R,G,B pixels; and its audio.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct ClipInfo {
  // The frame as a player shows it: turned upright by the clip's display
  // matrix, which is how the host hands on every frame.
  int width = 0;
  int height = 0;
  // How the clip stores it: its size, and how far a player turns it
  // clockwise (after mirroring it left to right when `mirrored`). A turn
  // that is no quarter turn is not applied, and is told by `turnNotApplied`.
  int storedWidth = 0, storedHeight = 0;
  int turnedDegrees = 0;
  bool mirrored = false;
  double turnNotApplied = 0;
  int fpsNum = 25;  // frame rate as a fraction
  int fpsDen = 1;
  int64_t frameCount = 0;
  // Frames that do not all last as long (a phone's clip): each keeps its
  // own time, counted in the stream's time base.
  bool variableRate = false;
  int timeBaseNum = 1, timeBaseDen = 25;
  bool hasAudio = false;
  // The pictures as the clip stores them, in FFmpeg's numbers: the pixel
  // format (-1 unknown) and the colour description (2 and 0 unspecified).
  int pixelFormat = -1;
  int primaries = 2, transfer = 2, matrix = 2, range = 0;
  // What else the container holds: each stream in a few words ("audio,
  // aac, 2 channels, 48000 Hz"), the index of the video stream read and of
  // the first audio (-1 none), the chapters, and the container's own
  // description (creation time, location, title...) as key and value.
  std::vector<std::string> streams;
  int videoStream = -1, audioStream = -1;
  int chapters = 0;
  std::vector<std::pair<std::string, std::string>> tags;
  double seconds = 0;  // from the first frame's start to the last one's end
};

// How a player turns the clip's frames, in words ("turned 90 degrees
// clockwise", "mirrored and turned 270 degrees clockwise"); empty when it
// does not turn them.
std::string TurnWords(const ClipInfo& info);

// Audio as the host mixes it: interleaved stereo floats.
constexpr int kAudioRate = 48000;
constexpr int kAudioChannels = 2;

// The media libraries say only what went wrong, not how they are doing.
void QuietMediaLibraries();

class ClipReader {
 public:
  // Nil with `error` saying why when the file is missing, unreadable or has no video.
  static std::unique_ptr<ClipReader> Open(const std::string& path, std::string& error);
  ~ClipReader();
  const ClipInfo& info() const { return info_; }
  // Frame `n` (0-based), scaled to width x height into `argb` (rows of
  // `rowBytes`), alpha 255, with the clip's own matrix and range. A cheaper
  // scaler when not `highQuality`.
  bool ReadFrame(int64_t n, int width, int height, bool highQuality, uint8_t* argb, int rowBytes);
  // Frame `n` as the decoder gives it, turned upright (an AVFrame of
  // `info().pixelFormat`), valid until the next read; nil when it cannot be had.
  const struct AVFrame* DecodedFrame(int64_t n);
  // When frame `n` starts, from the first frame, in the stream's time base;
  // for n = frameCount, when the last one ends.
  int64_t FrameStart(int64_t n) const;

 private:
  struct Impl;
  explicit ClipReader(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
  ClipInfo info_;
};
