// The configuration dialog: opened in the layout of the record's media
// type, every control filled from the record, every command a change of the
// record and a fresh preview; OK keeps (and saves) the record, Cancel puts it
// back as it was.
#pragma once

#include "effect/PluginData.h"
#include "toolbox/Toolbox.h"

// Runs the whole dialog on theConfig; returns when the user pressed OK or Cancel.
void DoConfig(PluginDataPtr theConfig);
void SetupDialog(WindowRef theWindow, PluginDataPtr theConfig);
void SetupColors(WindowRef theWindow, PluginDataPtr theConfig);
void SetupPictures(WindowRef theWindow);
// The record's colours, sliders, blend mode and keep-proportions into the
// controls, and a fresh preview.
void Config2Dlg(PluginDataPtr theConfig);
OSStatus TheDialogHandler(EventHandlerCallRef nextHandler, EventRef theEvent, void* userData);
