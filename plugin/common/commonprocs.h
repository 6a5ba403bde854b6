// Diagnostics, alerts and small conversions shared by every module.
#pragma once

#include "MacTypes.h"
#include "cfstring/CFString.h"
#include "files/Files.h"

// Caution alert with a default button `OKText` and, when `CancelText` is not
// empty, a cancel button. Answers 1 for the default button, 2 for cancel.
SInt16 StandardWarning(ConstStr255Param Headline, ConstStr255Param Description,
                       ConstStr255Param OKText, ConstStr255Param CancelText);
// Stop alert, then the host process ends.
[[noreturn]] void Terminate(ConstStr255Param Headline, ConstStr255Param Description);
// Nothing while ThePtr is set; for nil, "Assertion Failure" and the location,
// and the process ends. Code after an Assert may rely on the pointer.
void Assert(const void* ThePtr, ConstStr255Param FailLocation);
// Caution alert "Internal Notification:" with the message and one "ok" button.
void Notify(ConstStr255Param TheMessage);
// A new string from Mac Roman text, owned by the caller; nil when it cannot be made.
CFStringRef MakeCFString(ConstStr255Param TheString);

// The number in decimal, with "-" for negative numbers.
void Num2Text(SInt32 TheNum, Str255 TheText);
// The FSRef of the same file; all zero when the file cannot be resolved.
FSRef FSSpec2FSRef(const FSSpec& TheFSS);
