// Rendering a clip with an effect: the frames of the selected range through
// a render session, the others copied unchanged, the audio kept in sync,
// written to a temporary and moved into place only when complete.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "HostPluginSDK.h"
#include "media/ClipWriter.h"

struct RenderOptions {
  std::string clip;
  std::string output;
  long start = 0;
  long count = -1;  // -1: to the end of the clip
  long fadeIn = 0;
  long fadeOut = 0;
  float sliders[kHYFilterSliderCount] = {0.5f, 0.5f, 0.5f};
  bool proxyOnly = false;
  OutputFormat format = OutputFormat::Mp4;
  bool overwrite = false;  // an existing output is replaced, not refused
  long failGetFrameAt = -1;  // a host fault to inject, for tests
  std::function<void()> starting;  // called once the request is checked, before the first frame
};

struct RenderReport {
  long frames = 0;
  double seconds = 0;
  // Time inside the plug-in's frame requests, less the host's GetFrame,
  // ReleaseFrame and MixAudio callbacks (Blit carries no instance, so its
  // time is counted as the plug-in's).
  double pluginSeconds = 0;
  int failedFrameRequests = 0;
  size_t framesLeftLent = 0;
  long blocksNotGivenBack = 0;
  // What the render did with the clip beyond the effect, a line each: the
  // frames turned upright, a stream left out.
  std::vector<std::string> notes;
};

// Progress: frames done of the total.
using RenderProgress = std::function<void(long done, long total)>;

// False with a one-line `error` naming the problem; nothing is left at the
// output path then. The output is never the clip itself, and an existing one
// is replaced only with `overwrite`, once the new one is complete. A frame request that fails in the plug-in is counted and
// the frame written unchanged when it is a host fault that the plug-in passed
// on (a frame the host could not give), and ends the render otherwise.
bool RenderClip(HYPluginEntry entry, const RenderOptions& options, const RenderProgress& progress,
                RenderReport& report, std::string& error);

// Runs a placeholder render of frame `at` of options.clip and writes it as a
// PNG to options.output. A frame the plug-in could not make is a failure,
// and no picture is written then.
bool RenderPlaceholder(HYPluginEntry entry, const RenderOptions& options, long at, std::string& error);

// Keeps freed frame memory in the process for the next frame.
void KeepFrameMemoryAround();

// Set from a signal handler: the render stops and removes what it wrote.
void RequestRenderStop();
