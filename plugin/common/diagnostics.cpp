#include "common/commonprocs.h"

#include <cstdio>
#include <cstring>

#include "alerts/Alerts.h"
#include "text/PascalString.h"

SInt16 StandardWarning(ConstStr255Param Headline, ConstStr255Param Description,
                       ConstStr255Param OKText, ConstStr255Param CancelText) {
  Str255 headline, description, okText, cancelText;
  CopyPascalString(Headline, headline);
  CopyPascalString(Description, description);
  CopyPascalString(OKText, okText);
  CopyPascalString(CancelText, cancelText);

  AlertStdCFStringAlertParamRec param;
  param.version = kStdCFStringAlertVersionOne;
  param.movable = true;
  param.helpButton = false;
  param.defaultText = MakeCFString(okText);
  param.cancelText = cancelText[0] != 0 ? MakeCFString(cancelText) : nullptr;
  param.otherText = nullptr;
  param.defaultButton = kAlertStdAlertOKButton;
  param.cancelButton = kAlertStdAlertCancelButton;
  param.position = 0;
  param.flags = 0;

  CFStringRef error = MakeCFString(headline);
  CFStringRef explanation = MakeCFString(description);
  DialogRef alert = nullptr;
  CreateStandardAlert(kAlertCautionAlert, error, explanation, &param, &alert);
  DialogItemIndex itemHit = kAlertStdAlertOKButton;
  RunStandardAlert(alert, nullptr, &itemHit);
  // The alert copied what it shows; the texts made for it are ours to release.
  CFRelease(error);
  CFRelease(explanation);
  CFRelease(param.defaultText);
  CFRelease(param.cancelText);
  return itemHit;
}

namespace {

// The stop alert with the two texts.
void StopAlert(ConstStr255Param Headline, ConstStr255Param Description) {
  Str255 headline, description;
  CopyPascalString(Headline, headline);
  CopyPascalString(Description, description);
  CFStringRef error = MakeCFString(headline);
  CFStringRef explanation = MakeCFString(description);
  DialogRef alert = nullptr;
  CreateStandardAlert(kAlertStopAlert, error, explanation, nullptr, &alert);
  DialogItemIndex itemHit;
  RunStandardAlert(alert, nullptr, &itemHit);
  CFRelease(error);
  CFRelease(explanation);
}

}  // namespace

void Terminate(ConstStr255Param Headline, ConstStr255Param Description) {
  StopAlert(Headline, Description);
  AfterTerminate();
}

namespace {

// "Assertion failed in: " and the location.
void AssertionText(ConstStr255Param FailLocation, Str255 description) {
  CopyCStringToPascal("Assertion failed in: ", description);
  size_t room = 255 - description[0];
  size_t take = FailLocation[0] < room ? FailLocation[0] : room;
  std::memcpy(description + 1 + description[0], FailLocation + 1, take);
  description[0] = UInt8(description[0] + take);
}

}  // namespace

void Assert(const void* ThePtr, ConstStr255Param FailLocation) {
  if (ThePtr != nullptr) return;
  Str255 description;
  AssertionText(FailLocation, description);
  Terminate(PStr("Assertion Failure"), description);
}

bool CheckFromOutside(const void* ThePtr, ConstStr255Param FailLocation) {
  if (ThePtr != nullptr) return true;
  Str255 description;
  AssertionText(FailLocation, description);
  StopAlert(PStr("Assertion Failure"), description);
  return false;
}

bool RefuseFromOutside(ConstStr255Param Headline, ConstStr255Param Description) {
  StopAlert(Headline, Description);
  return false;
}

void Notify(ConstStr255Param TheMessage) {
  StandardWarning(PStr("Internal Notification:"), TheMessage, PStr("ok"), PStr(""));
}

CFStringRef MakeCFString(ConstStr255Param TheString) {
  Str255 copy;
  CopyPascalString(TheString, copy);
  return CFStringCreateWithPascalString(kCFAllocatorDefault, copy, kCFStringEncodingMacRoman);
}

void Num2Text(SInt32 TheNum, Str255 TheText) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%ld", long(TheNum));
  CopyCStringToPascal(digits, TheText);
}

FSRef FSSpec2FSRef(const FSSpec& TheFSS) {
  FSRef ref;
  if (FSpMakeFSRef(&TheFSS, &ref) != noErr) std::memset(&ref, 0, sizeof ref);
  return ref;
}
