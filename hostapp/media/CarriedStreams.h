// What a clip holds beside the video and the first audio the render makes,
// carried into the output: its other audio streams, its subtitles and other
// streams the output's container takes, its chapters and its description
// (creation time, location, title). Other audio is copied as it is where
// the container takes it, else encoded as the output's own audio is.
#pragma once

#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/codec_id.h>
}

struct AVFormatContext;
struct ClipInfo;

class CarriedStreams {
 public:
  // Reads `clip` a second time, beside the frames' reader, carrying all but
  // the streams `source` names for the frames and the effect's sound; nil
  // with `error` saying why when it cannot be opened.
  static std::unique_ptr<CarriedStreams> Open(const std::string& clip, const ClipInfo& source,
                                              std::string& error);
  ~CarriedStreams();
  // Before the output's header: its streams for what can be carried, the
  // chapters and the description; a line in `notes` for each stream that
  // cannot be carried. False when an encoder cannot be started.
  // Audio that must be encoded anew is encoded with `audioCodec`; notes
  // name the container as `containerName`.
  bool AddTo(AVFormatContext* output, AVCodecID audioCodec, const std::string& containerName,
             std::vector<std::string>& notes, std::string& error);
  // The description of the clip's video and first audio on the streams the
  // output makes of them (language, title, creation time); `audio` may be nil.
  void Describe(struct AVStream* video, struct AVStream* audio) const;
  // Writes what the clip holds up to `seconds` after its first video frame.
  bool WriteUntil(double seconds, std::string& error);
  // Writes the rest and drains the encoders.
  bool Finish(std::string& error);

 private:
  struct Impl;
  explicit CarriedStreams(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};
