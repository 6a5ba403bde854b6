// The picture box: shows the chosen picture fitted and centred in a black
// frame, and is the button that chooses a new one (it sends 'Pict').
//
// The picture is the record's TheOriginalImage, read when the box draws: a
// picture reference does not fit the control's 32-bit value on a 64-bit
// machine, so the value only counts changes (the dialog sets it whenever it
// sets a picture, which redraws the box).
#pragma once

#include "toolbox/Toolbox.h"

void RegisterPictureControl();
void UnregisterPictureControl();
OSStatus PictureControlHandler(EventHandlerCallRef handlerCallRef, EventRef event, void* userData);
