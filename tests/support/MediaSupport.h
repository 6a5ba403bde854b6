// Clips, pictures and scripts made for the tests that drive the host.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The colour of frame n of a flat clip: red n, green 200 - n, blue 60.
struct FlatColour {
  uint8_t r, g, b;
};
FlatColour FlatClipColour(int n);
// A lossless clip of `frames` flat frames of width x height at 25 frames a
// second (a tone with it when `withAudio`); fails the test when it cannot be made.
std::string WriteFlatClip(const std::string& path, int frames, int width, int height, bool withAudio = false);
// The first `samples` stereo samples of the clip's audio (silence past its end).
std::vector<float> ReadAudio(const std::string& path, int64_t samples);
// An opaque picture of one colour, as a PNG file.
std::string WritePicture(const std::string& path, int width, int height, FlatColour colour);
// An opaque picture in four flat quarters: top left, top right, bottom
// left, bottom right.
std::string WriteQuarteredPicture(const std::string& path, int width, int height, const FlatColour quarters[4]);
// A text file of the given lines.
std::string WriteLines(const std::string& path, const std::vector<std::string>& lines);

// Runs a shell command; its exit status.
int Shell(const std::string& command);
// The video frames' presentation times, as ffprobe reads them, in seconds.
std::vector<std::string> FrameTimes(const std::string& clip);
// The clip's length in seconds, as ffprobe reads it.
double Duration(const std::string& clip);
// When the clip's first sound ends: its last audio packet's time and duration.
double SoundEnds(const std::string& clip);
// `in` copied stream for stream into `out`, its video given a display
// matrix turning it `clockwise` degrees, then mirrored left to right when
// `mirror`, as a phone's clip says how it is to be shown.
void TagDisplayMatrix(const std::string& in, const std::string& out, double clockwise, bool mirror);
// Frame `n` of a clip as FFmpeg's player shows it (turned as the clip says),
// R,G,B; through the filter `conversion` when one is given.
struct ShownFrame {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
  const uint8_t* at(int x, int y) const { return &rgb[(size_t(y) * width + x) * 3]; }
};
ShownFrame ShowFrame(const std::string& clip, int n, const std::string& conversion = "");
