// The host's side of the callback table. Memory comes from the shared block
// convention; frame, audio and filter-info callbacks answer for the clip the
// host is working on (none yet: they report that no frame is available).
#pragma once

#include <cstddef>

#include "HostPluginSDK.h"

struct HostSession {
  HYPluginFilterInfo filterInfo{{0.5f, 0.5f, 0.5f}, 0, 0};
};

// The callback table; every callback finds its session through `instance`.
HYProcs* HostProcs();
// A parameter block addressed to `session`, offering `interfaceVersion`.
HYPluginParams NewParams(HostSession& session, SInt16 interfaceVersion);
// The blocks lent to plug-ins across all sessions.
size_t HostBlocksOutstanding();
