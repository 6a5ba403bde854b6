// The frames of a clip that configure, render and placeholder work on,
// checked in one place: the range as the user asked for it, and frames the
// plug-in can take.
#pragma once

#include <string>

#include "media/ClipReader.h"

// `count` below 0 is the rest of the clip from `start`; `frames` answers the
// range's length. False with a one-line `error` that says the range as it
// was asked for when it lies outside the clip.
bool RangeInClip(const ClipInfo& info, long start, long count, long& frames, std::string& error);
// False with a one-line `error` for frames over 32767 pixels on a side,
// which the plug-in's 16-bit rectangles cannot hold; `doing` says what
// could not be done with them ("rendered", "shown").
bool FramesFit(const ClipInfo& info, const std::string& clip, const char* doing, std::string& error);
