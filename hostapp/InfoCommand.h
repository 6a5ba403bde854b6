// quorvel-host info: what an effect says about itself.
#pragma once

#include <string>

#include "PluginBundle.h"

struct InfoOptions {
  bool json = false;
  SInt32 selectedFrames = 150;  // as if the user had selected this many frames
  SInt16 interfaceVersion = kHostInterfaceVersion;
};

// Sends kPlugGetInfo and prints the description; answers the exit status.
int RunInfo(const LoadedPlugin& plugin, const InfoOptions& options);

// quorvel-host info CLIP: what a clip holds, as the host reads it: its
// frames as shown and as stored, their rate, whether each keeps its own
// time, its streams, chapters and description. Answers the exit status.
int RunClipInfo(const std::string& clip, bool json);
