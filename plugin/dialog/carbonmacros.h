// One-line access to dialog controls by control ID (signature and number).
// A control the window does not hold is never an error: reads answer 0 or
// nil, writes do nothing.
#pragma once

#include "MacTypes.h"
#include "toolbox/Toolbox.h"

ControlRef SimpleGetControlByID(WindowRef TheWindow, OSType TheSig, SInt16 TheID);
SInt32 SimpleGetControlValueByID(WindowRef TheWindow, OSType TheSig, SInt16 TheID);
void SimpleSetControlValueByID(WindowRef TheWindow, OSType TheSig, SInt16 TheID, SInt32 TheVal);
// Replaces the control's text and redraws it at once.
void SimpleSetControlText(WindowRef TheWindow, OSType TheSig, SInt16 TheID, ConstStr255Param TheText);
void SimpleShowControl(WindowRef TheWindow, OSType TheSig, SInt16 TheID);
void SimpleHideControl(WindowRef TheWindow, OSType TheSig, SInt16 TheID);
Rect GetControlBox(ControlRef TheControl);
// Registers the custom control class `classID`, whose `events` go to
// `handler`; the class, or nil when the toolbox refuses it.
ToolboxObjectClassRef SimpleRegisterControlClass(const char* classID, const EventTypeSpec* events, UInt32 count,
                                                 EventHandlerUPP handler);
// The command's four characters, most significant byte first, on every machine.
void CommandID2Str(UInt32 CommandID, Str255 TheText);
