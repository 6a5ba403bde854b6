// The built-in sample clip: a moving test pattern with a frame counter and
// a tone, made by the host itself.
#pragma once

#include <string>

// Writes `frames` frames of width x height at 25 frames a second (H.264 and
// AAC in MP4). False with `error` on failure.
bool WriteSampleClip(const std::string& path, int width, int height, int frames, std::string& error);
