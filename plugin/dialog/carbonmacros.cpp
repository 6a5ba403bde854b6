#include "dialog/carbonmacros.h"

ControlRef SimpleGetControlByID(WindowRef TheWindow, OSType TheSig, SInt16 TheID) {
  const ControlID id = {TheSig, SInt32(TheID)};  // widened with its sign: -1 stays -1
  ControlRef control = nullptr;
  GetControlByID(TheWindow, &id, &control);
  return control;
}

SInt32 SimpleGetControlValueByID(WindowRef TheWindow, OSType TheSig, SInt16 TheID) {
  ControlRef control = SimpleGetControlByID(TheWindow, TheSig, TheID);
  return control ? GetControl32BitValue(control) : 0;
}

void SimpleSetControlValueByID(WindowRef TheWindow, OSType TheSig, SInt16 TheID, SInt32 TheVal) {
  if (ControlRef control = SimpleGetControlByID(TheWindow, TheSig, TheID)) SetControl32BitValue(control, TheVal);
}

void SimpleSetControlText(WindowRef TheWindow, OSType TheSig, SInt16 TheID, ConstStr255Param TheText) {
  ControlRef control = SimpleGetControlByID(TheWindow, TheSig, TheID);
  if (control == nullptr) return;
  SetControlData(control, 0, kControlEditTextTextTag, TheText[0], TheText + 1);
  Draw1Control(control);
}

void SimpleShowControl(WindowRef TheWindow, OSType TheSig, SInt16 TheID) {
  if (ControlRef control = SimpleGetControlByID(TheWindow, TheSig, TheID)) ShowControl(control);
}

void SimpleHideControl(WindowRef TheWindow, OSType TheSig, SInt16 TheID) {
  if (ControlRef control = SimpleGetControlByID(TheWindow, TheSig, TheID)) HideControl(control);
}

Rect GetControlBox(ControlRef TheControl) {
  Rect box;
  GetControlBounds(TheControl, &box);
  return box;
}

void CommandID2Str(UInt32 CommandID, Str255 TheText) {
  TheText[0] = 4;
  TheText[1] = UInt8(CommandID >> 24);
  TheText[2] = UInt8(CommandID >> 16);
  TheText[3] = UInt8(CommandID >> 8);
  TheText[4] = UInt8(CommandID);
}

ToolboxObjectClassRef SimpleRegisterControlClass(const char* classID, const EventTypeSpec* events, UInt32 count,
                                                 EventHandlerUPP handler) {
  CFStringRef id = CFStringCreateWithCString(kCFAllocatorDefault, classID, kCFStringEncodingUTF8);
  ToolboxObjectClassRef classRef = nullptr;
  RegisterToolboxObjectClass(id, nullptr, count, events, handler, nullptr, &classRef);
  CFRelease(id);
  return classRef;
}
