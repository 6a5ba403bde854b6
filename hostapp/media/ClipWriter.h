// Writing a clip: video frames of opaque A,R,G,B pixels and the audio that
// goes with each frame.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

enum class OutputFormat {
  Mp4,        // H.264 and AAC in MP4
  Matroska,   // lossless: FFV1 and FLAC in Matroska
  PngFrames,  // a folder of numbered PNG files, no audio
};

struct ClipInfo;
struct AVFrame;

class ClipWriter {
 public:
  // Writes to `path` (a file, or a folder for PNG frames, which must exist).
  // With a `source` clip, the video keeps its colour description (matrix,
  // range, primaries, transfer), and lossless Matroska its pixel format too;
  // without one, Matroska holds B,G,R,A and MP4 BT.709 in limited range.
  // With `carryFrom`, the `source` clip's file, its other streams, chapters
  // and description come along where the container holds them (see
  // CarriedStreams).
  static std::unique_ptr<ClipWriter> Create(const std::string& path, OutputFormat format, int width, int height,
                                            int fpsNum, int fpsDen, bool withAudio, std::string& error,
                                            const ClipInfo* source = nullptr, const std::string& carryFrom = "");
  // What was left out of the clip, a line each.
  const std::vector<std::string>& notes() const;
  ~ClipWriter();
  // With a variable-rate source: when the next frame starts and how long it
  // lasts, in the source's time base, counted from its first frame.
  void TimeNextFrame(int64_t start, int64_t duration);
  // One frame and its audio (`samples` interleaved stereo frames of 48 kHz).
  bool WriteFrame(const uint8_t* argb, int rowBytes, const float* audio, int samples, std::string& error);
  // A frame as the source's decoder gave it, encoded without passing through
  // A,R,G,B: as it is when the formats agree, else converted Y'CbCr to Y'CbCr.
  bool WriteDecodedFrame(const AVFrame* frame, const float* audio, int samples, std::string& error);
  // Flushes the encoders and completes the file.
  bool Finish(std::string& error);

 private:
  struct Impl;
  explicit ClipWriter(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// Writes one picture of opaque A,R,G,B pixels as a PNG file, put in place
// when complete; an existing file is replaced only with `overwrite`.
bool WritePng(const std::string& path, const uint8_t* argb, int width, int height, int rowBytes, bool overwrite,
              std::string& error);
