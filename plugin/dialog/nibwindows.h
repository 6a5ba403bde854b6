// Windows made from the nib files of a bundle.
#pragma once

#include "toolbox/Toolbox.h"

// The window TheWindow of the nib TheNib ("" for the plug-in's own nib) in
// the bundle TheIdentifier; the caller shows it. A missing bundle or nib
// ends the process with an alert, a missing window without one.
WindowRef OpenNibWindowFromCFBundle(const char* TheIdentifier, const char* TheNib, const char* TheWindow);
