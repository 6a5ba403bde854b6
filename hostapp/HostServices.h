// The host's side of the callback table: memory from the shared block
// convention, frames lent from the clip being worked on, the blit, audio
// mixing and the clip's filter settings.
#pragma once

#include <string>

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <vector>

#include "HostPluginSDK.h"

class ClipReader;

struct HostSession {
  HYPluginFilterInfo filterInfo{{0.5f, 0.5f, 0.5f}, 0, 0};
  ClipReader* clip = nullptr;           // where GetFrame takes frames from
  std::map<void*, SInt32> lent;         // frames lent, by cookie: their frame numbers
  std::set<SInt32> audioMixed;          // frames whose audio the plug-in mixed
  SInt32 failGetFrameAt = -1;           // a fault to inject: GetFrame of this frame fails
  double callbackSeconds = 0;  // time spent in this host's callbacks
  std::vector<GWorldPtr> spareFrames;  // frames given back, lent again before new ones are made
  ~HostSession();
};

// The callback table; every callback finds its session through `instance`.
HYProcs* HostProcs();
// What a plug-in's result code means, in a few words for a message.
std::string ResultName(SInt32 result);
// A parameter block addressed to `session`, offering `interfaceVersion`.
HYPluginParams NewParams(HostSession& session, SInt16 interfaceVersion);
// The blocks lent to plug-ins and not given back.
size_t HostBlocksOutstanding();
// Takes back every frame still lent in the session; answers how many there were.
size_t ReclaimLentFrames(HostSession& session);
