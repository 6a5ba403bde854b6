// A second, optional entry of the bundle's library: shows the about window,
// so that a host can let a person see the plug-in's windows without a clip.
#include "dialog/aboutwindow.h"

extern "C" __attribute__((visibility("default"))) void QuorvelShowAbout() { ShowAbout(); }
