// Routines shared by every module: diagnostics and alerts, small
// conversions, rectangle geometry, offscreen buffers and colours.
#pragma once

#include "MacTypes.h"
#include "corefoundation/CFString.h"
#include "files/Files.h"
#include "quickdraw/QuickDraw.h"

// ---- Diagnostics and alerts (diagnostics.cpp) ----

// Caution alert with a default button `OKText` and, when `CancelText` is not
// empty, a cancel button. Answers 1 for the default button, 2 for cancel.
SInt16 StandardWarning(ConstStr255Param Headline, ConstStr255Param Description,
                       ConstStr255Param OKText, ConstStr255Param CancelText);
// Stop alert, then AfterTerminate: in the bundle the host process ends;
// in a guest of another program's (the frei0r filter) the call unwinds to
// its entry point, which answers with a failure.
[[noreturn]] void Terminate(ConstStr255Param Headline, ConstStr255Param Description);
// What follows a Terminate's alert; each product that links the core
// (the bundle, the frei0r filter) gives its own.
[[noreturn]] void AfterTerminate();
// Nothing while ThePtr is set; for nil, "Assertion Failure" and the location,
// and the process ends. Code after an Assert may rely on the pointer.
void Assert(const void* ThePtr, ConstStr255Param FailLocation);
// What comes from outside (a host and its callbacks): for nil, the alert an
// assertion shows, and false; the caller answers with a result code and
// the process goes on. True while ThePtr is set.
bool CheckFromOutside(const void* ThePtr, ConstStr255Param FailLocation);
// What comes from outside and breaks a rule that no nil shows (a block of
// the wrong size): the stop alert a Terminate shows, and false.
bool RefuseFromOutside(ConstStr255Param Headline, ConstStr255Param Description);
// Caution alert "Internal Notification:" with the message and one "ok" button.
void Notify(ConstStr255Param TheMessage);
// A new string from Mac Roman text, owned by the caller; nil when it cannot be made.
CFStringRef MakeCFString(ConstStr255Param TheString);

// The number in decimal, with "-" for negative numbers.
void Num2Text(SInt32 TheNum, Str255 TheText);
// The FSRef of the same file; all zero when the file cannot be resolved.
FSRef FSSpec2FSRef(const FSSpec& TheFSS);

// ---- Rectangle geometry (rectangles.cpp) ----

void GetDims(const Rect& theRect, SInt32& wid, SInt32& hig);
// Moves theRect so that its centre falls on the centre of theBounds.
void CenterRectInRect(Rect& theRect, const Rect& theBounds);
// inNewSize with its height recomputed from its width to the proportions of inOriginal.
Rect KeepPropsWithFixedHorizontal(const Rect& inOriginal, const Rect& inNewSize);
// inNewSize with its width recomputed from its height.
Rect KeepPropsWithFixedVertical(const Rect& inOriginal, const Rect& inNewSize);
// A rectangle at the origin with the proportions of inRect, sized to inFrame.
Rect CalcProportionalRectForFrame(const Rect& inRect, const Rect& inFrame);
// Truncation toward zero into 32 bits, as the geometry needs it: NaN gives 0
// and values beyond the range give its ends, so no input is undefined.
SInt32 TruncToLong(double value);

// ---- Offscreen buffers and colours (buffers.cpp) ----

Rect GetPortRect(GWorldPtr theGW);
void LockGWorld(GWorldPtr theGW);
// A new, locked buffer of theRect's size with bounds at (0, 0); nil on failure.
GWorldPtr AllocateRectGWorld(const Rect& theRect);
// Copies the whole source onto the whole target, scaled by whole pixels.
void Source2Target(GWorldPtr TheSource, GWorldPtr TheTarget);

RGBColor SetRGBColor(SInt16 R, SInt16 G, SInt16 B);
PixRec Longint2PixRec(SInt32 TheLong);
SInt32 PixRec2Longint(const PixRec& ThePixRec);
SInt32 RGBColor2Longint(const RGBColor& TheColor);
RGBColor Longint2RGBColor(SInt32 TheLong);
