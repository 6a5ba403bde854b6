// The host's Qt application, which the plug-in's windows then use: made once,
// offscreen when there is no display.
#pragma once

void EnsureHostApplication();
// Whether windows appear on a real display.
bool HostHasDisplay();
