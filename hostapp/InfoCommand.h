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
