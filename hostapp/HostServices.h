// The host's side of the callback table: blocks that know their size,
// frames lent from the clip being worked on, the blit, audio mixing and the
// clip's filter settings. Frames are the host's own, described to the
// plug-in as the interface header describes them.
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
  std::vector<HYFrame*> spareFrames;  // frames given back, lent again before new ones are made
  ~HostSession();
};

// A frame of the host's, transparent black: nil when the memory cannot be had.
HYFrame* NewHostFrame(SInt16 width, SInt16 height);
void DisposeHostFrame(HYFrame* frame);
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
