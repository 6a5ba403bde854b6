// The clip preview control: the preview frame with the start and end
// rectangles; the active one is moved by its inside and resized by its
// corner handles, and a click on the other one makes it active.
#pragma once

#include "toolbox/Toolbox.h"

void RegisterClipCtrl();
void UnregisterClipCtrl();
OSStatus ClipCtrlControlHandler(EventHandlerCallRef handlerCallRef, EventRef event, void* userData);
