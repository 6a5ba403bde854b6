// Standard alerts stand-in. An alert is shown by the installed presenter:
// without a display it is printed to standard error and answered with its
// default button; the toolkit installs a message-box presenter when a display
// is available, and tests install one that records what was shown.
#pragma once

#include <string>

#include "MacTypes.h"
#include "corefoundation/CFString.h"

typedef SInt16 AlertType;
enum : AlertType { kAlertStopAlert = 0, kAlertNoteAlert = 1, kAlertCautionAlert = 2, kAlertPlainAlert = 3 };

struct AlertStdCFStringAlertParamRec {
  UInt32 version;
  Boolean movable;
  Boolean helpButton;
  CFStringRef defaultText;
  CFStringRef cancelText;
  CFStringRef otherText;
  SInt16 defaultButton;
  SInt16 cancelButton;
  UInt16 position;
  UInt32 flags;
};
typedef const AlertStdCFStringAlertParamRec* AlertStdCFStringAlertParamPtr;
enum : UInt32 { kStdCFStringAlertVersionOne = 1 };
enum : SInt16 { kAlertStdAlertOKButton = 1, kAlertStdAlertCancelButton = 2 };

struct OpaqueDialogPtr;
typedef OpaqueDialogPtr* DialogRef;
typedef void* ModalFilterUPP;
typedef SInt16 DialogItemIndex;

// What an alert shows, as the presenter receives it. Button titles are empty
// where the alert has no such button; the default button is always present
// ("OK" when no title was given).
struct AlertContent {
  AlertType type;
  std::string message;      // the headline (error text)
  std::string explanation;  // the informative text
  std::string defaultButton;
  std::string cancelButton;
};

// Shows the alert modally and answers the item number of the pressed button
// (1 default, 2 cancel).
typedef DialogItemIndex (*AlertPresenter)(const AlertContent& content);

// Installs a presenter; nil restores the standard-error presenter. Answers
// the one that was installed before.
AlertPresenter SetAlertPresenter(AlertPresenter presenter);

OSStatus CreateStandardAlert(AlertType alertType, CFStringRef error, CFStringRef explanation,
                             AlertStdCFStringAlertParamPtr param, DialogRef* outAlert);
// Shows the alert, waits for a button, and disposes of the alert.
OSStatus RunStandardAlert(DialogRef inAlert, ModalFilterUPP filterProc, DialogItemIndex* outItemHit);

// Ends the host process. Does not return.
[[noreturn]] void ExitToShell();
