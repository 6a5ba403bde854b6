#include "dialog/colorCTRL.h"

#include <cstring>

#include "common/commonprocs.h"
#include "dialog/DialogControls.h"
#include "dialog/carbonmacros.h"
#include "text/PascalString.h"
#include "toolbox/ColorPicker.h"

namespace {
ToolboxObjectClassRef lgColorBoxClassRef = nullptr;
EventHandlerUPP lgMyHandlerUPP = nullptr;

ControlRef DirectControl(EventRef event) {
  ControlRef control = nullptr;
  GetEventParameter(event, kEventParamDirectObject, typeControlRef, nullptr, sizeof control, nullptr, &control);
  return control;
}

bool PtInRect(Point p, const Rect& r) { return p.h >= r.left && p.h < r.right && p.v >= r.top && p.v < r.bottom; }

}  // namespace

void ColorBoxDraw(const Rect& theRect, const RGBColor& theColor) {
  const RGBColor black = {0, 0, 0};
  RGBForeColor(&theColor);
  PaintRect(&theRect);
  RGBForeColor(&black);
  FrameRect(&theRect);
}

bool UseColorPicker(Point where, ConstStr255Param prompt, const RGBColor& inColor, RGBColor& outColor) {
  NColorPickerInfo info;
  std::memset(&info, 0, sizeof info);
  info.theColor.profile = nullptr;
  info.theColor.color.rgb = inColor;
  info.dstProfile = nullptr;
  info.flags = kColorPickerDialogIsMoveable | kColorPickerDialogIsModal | kColorPickerAppIsColorSyncAware |
               kColorPickerInPickerDialog;
  info.placeWhere = 0;
  info.dialogOrigin = where;
  info.pickerType = 0;
  CopyPascalString(prompt, info.prompt);
  info.newColorChosen = false;
  if (NPickColor(&info) != noErr || !info.newColorChosen) return false;
  outColor = info.theColor.color.rgb;
  return true;
}

OSStatus ColorBoxControlHandler(EventHandlerCallRef, EventRef event, void*) {
  ControlRef control = DirectControl(event);
  switch (GetEventKind(event)) {
    case kEventControlDraw: {
      CGrafPtr savedPort;
      GDHandle savedDevice;
      GetGWorld(&savedPort, &savedDevice);
      SetGWorld(GetWindowPort(GetControlOwner(control)), nullptr);
      Rect bounds;
      GetControlBounds(control, &bounds);
      const ControlPartCode hilite = GetControlHilite(control);
      if (hilite == kControlInactivePart || hilite == kControlDisabledPart)
        EraseRect(&bounds);
      else
        ColorBoxDraw(bounds, Longint2RGBColor(GetControl32BitValue(control)));
      SetGWorld(savedPort, savedDevice);
      return noErr;
    }
    case kEventControlHitTest: {
      Point where;
      GetEventParameter(event, kEventParamMouseLocation, typeQDPoint, nullptr, sizeof where, nullptr, &where);
      Rect bounds;
      GetControlBounds(control, &bounds);
      const ControlPartCode part = PtInRect(where, bounds) ? 1 : 0;
      SetEventParameter(event, kEventParamControlPart, typeControlPartCode, sizeof part, &part);
      return noErr;
    }
    case kEventControlHit: {
      RGBColor colour = Longint2RGBColor(GetControl32BitValue(control));
      if (UseColorPicker(Point{0, 0}, PStr("Please choose color:"), colour, colour))
        SetControl32BitValue(control, RGBColor2Longint(colour));
      return eventNotHandledErr;  // the toolbox goes on and sends the box's command
    }
    default:
      return eventNotHandledErr;
  }
}

void RegisterColorBox() {
  static const EventTypeSpec kEvents[] = {{kEventClassControl, kEventControlDraw},
                                          {kEventClassControl, kEventControlHitTest},
                                          {kEventClassControl, kEventControlHit}};
  lgMyHandlerUPP = NewEventHandlerUPP(ColorBoxControlHandler);
  lgColorBoxClassRef = SimpleRegisterControlClass(cColorBoxClassID, kEvents, 3, lgMyHandlerUPP);
}

void UnregisterColorBox() {
  UnregisterToolboxObjectClass(lgColorBoxClassRef);
  lgColorBoxClassRef = nullptr;
  lgMyHandlerUPP = nullptr;  // a plain function: nothing to dispose of
}
