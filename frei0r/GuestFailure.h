// The filter is a guest in its host's process (FFmpeg, melt, an editor):
// a failure of the render core never ends that process. The core's
// Terminate unwinds to the entry point as a GuestFailure, its alerts are
// one line on standard error, and the entry point answers as the filter
// does for a failure: the frame unchanged, the call without effect.
#pragma once

#include <exception>

struct GuestFailure : std::exception {
  const char* what() const noexcept override { return "the render core stopped"; }
};

// Alerts as one line on standard error, named for the filter.
void ShowAlertsAsLines();

// Runs `body`; a GuestFailure inside it runs `failed` instead of going on.
template <typename Body, typename Failed>
void Guarded(Body body, Failed failed) {
  try {
    body();
  } catch (const GuestFailure&) {
    failed();
  }
}
