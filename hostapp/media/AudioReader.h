// A clip's audio read as it is needed, a stretch at a time: interleaved
// stereo floats at the host's rate, counted on the video's timeline, so that
// sample 0 goes with the first video frame. Audio that starts after the
// video is preceded by silence; audio that starts before it is cut to it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class AudioReader {
 public:
  // Nil with an empty `error` when the clip has no audio; nil with `error`
  // saying why when its audio cannot be read.
  static std::unique_ptr<AudioReader> Open(const std::string& path, std::string& error);
  ~AudioReader();
  // `count` stereo samples from sample `first` into `out` (2 x count floats);
  // silence before the audio starts and after it ends. Reading goes forward:
  // `first` never lies before the end of the last stretch read.
  bool Read(int64_t first, int count, float* out, std::string& error);

 private:
  struct Impl;
  explicit AudioReader(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};
