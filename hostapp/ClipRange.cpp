#include "ClipRange.h"

bool RangeInClip(const ClipInfo& info, long start, long count, long& frames, std::string& error) {
  const std::string clip = " lies outside the clip's " + std::to_string(info.frameCount) + " frames";
  if (count < 0) {
    frames = long(info.frameCount) - start;
    if (start >= 0 && frames >= 1) return true;
    error = "the range from frame " + std::to_string(start) + " to the clip's end" + clip;
    return false;
  }
  frames = count;
  if (start >= 0 && count >= 1 && start < info.frameCount && count <= info.frameCount - start) return true;
  error = "the range of " + std::to_string(count) + " frames from frame " + std::to_string(start) + clip;
  return false;
}

bool FramesFit(const ClipInfo& info, const std::string& clip, const char* doing, std::string& error) {
  if (info.width <= 32767 && info.height <= 32767) return true;
  error = clip + ": frames larger than 32767 pixels on a side cannot be " + doing;
  return false;
}
