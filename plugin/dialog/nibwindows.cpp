#include "dialog/nibwindows.h"

#include <cstdlib>
#include <string>

#include "common/commonprocs.h"
#include "effect/PluginDefines.h"
#include "text/PascalString.h"
#include "toolbox/Toolbox.h"

WindowRef OpenNibWindowFromCFBundle(const char* TheIdentifier, const char* TheNib, const char* TheWindow) {
  CFStringRef identifier = CFStringCreateWithCString(kCFAllocatorDefault, TheIdentifier, kCFStringEncodingUTF8);
  Assert(identifier, PStr((std::string("Cannot allocate CFSTR for ") + TheIdentifier).c_str()));
  CFBundleRef bundle = CFBundleGetBundleWithIdentifier(identifier);
  Assert(bundle, PStr((std::string("Cannot allocate bundle for ID = ") + TheIdentifier).c_str()));
  const std::string nib = TheNib[0] != '\0' ? TheNib : cMyPluginName;
  CFStringRef nibName = CFStringCreateWithCString(kCFAllocatorDefault, nib.c_str(), kCFStringEncodingUTF8);
  IBNibRef nibRef = nullptr;
  const OSStatus err = CreateNibReferenceWithCFBundle(bundle, nibName, &nibRef);
  CFRelease(nibName);
  if (err != noErr) {
    Str255 number;
    Num2Text(err, number);
    const std::string text = std::string("Unable to CreateNibReferenceWithCFBundle for ") + "\"" + TheIdentifier + "/" +
                             nib + "\"" + " as it returned errcode #" + PascalBytes(number) + ".";
    CFRelease(identifier);
    Terminate(PStr("OpenNibWindow Failed"), PStr(text.c_str()));
  }
  CFStringRef windowName = CFStringCreateWithCString(kCFAllocatorDefault, TheWindow, kCFStringEncodingUTF8);
  WindowRef window = nullptr;
  const OSStatus made = CreateWindowFromNib(nibRef, windowName, &window);
  CFRelease(windowName);
  DisposeNibReference(nibRef);
  CFRelease(identifier);
  // A window the nib does not hold ends the process at once, with the low
  // eight bits of the error as its status.
  if (made != noErr || window == nullptr) std::exit(made & 0xFF);
  return window;
}
