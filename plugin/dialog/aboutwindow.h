// The about window: product name and version, closed by either of its buttons.
#pragma once

#include "toolbox/Toolbox.h"

// Builds, runs (application-modal) and disposes of the about window.
void ShowAbout();
OSStatus AboutDialogHandler(EventHandlerCallRef handlerCallRef, EventRef event, void* userData);
