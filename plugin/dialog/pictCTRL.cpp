#include "dialog/pictCTRL.h"

#include "common/commonprocs.h"
#include "dialog/DialogControls.h"
#include "dialog/carbonmacros.h"
#include "effect/PluginData.h"
#include "render/CGglue.h"

namespace {
ToolboxObjectClassRef lgPictureControlClassRef = nullptr;
EventHandlerUPP lgMyHandlerUPP = nullptr;

bool PtInRect(Point p, const Rect& r) { return p.h >= r.left && p.h < r.right && p.v >= r.top && p.v < r.bottom; }

void DrawPictureBox(ControlRef control) {
  CGrafPtr port = GetWindowPort(GetControlOwner(control));
  if (port == nullptr) return;
  Rect bounds;
  GetControlBounds(control, &bounds);
  const ControlPartCode hilite = GetControlHilite(control);
  if (hilite == kControlInactivePart || hilite == kControlDisabledPart) return;
  const RGBColor white = {65535, 65535, 65535}, black = {0, 0, 0};
  RGBBackColor(&white);
  EraseRect(&bounds);
  const PluginDataPtr config = gConfigWorkSpace.TheConfig;
  CGImageRef picture = config != nullptr ? config->TheOriginalImage : nullptr;
  if (picture != nullptr) {
    Rect r = CalcProportionalImageForFrame(picture, bounds);
    CenterRectInRect(r, bounds);
    DrawCGImageInQDRect(port, picture, r, 0.0f, false);
  }
  RGBForeColor(&black);
  FrameRect(&bounds);
  if (hilite > 0) InvertRect(&bounds);
}

}  // namespace

OSStatus PictureControlHandler(EventHandlerCallRef, EventRef event, void*) {
  ControlRef control = nullptr;
  GetEventParameter(event, kEventParamDirectObject, typeControlRef, nullptr, sizeof control, nullptr, &control);
  switch (GetEventKind(event)) {
    case kEventControlHit:
      return eventNotHandledErr;  // the toolbox goes on and sends 'Pict'
    case kEventControlHitTest: {
      Point where;
      GetEventParameter(event, kEventParamMouseLocation, typeQDPoint, nullptr, sizeof where, nullptr, &where);
      Rect bounds;
      GetControlBounds(control, &bounds);
      const ControlPartCode part = PtInRect(where, bounds) ? 1 : 0;
      SetEventParameter(event, kEventParamControlPart, typeControlPartCode, sizeof part, &part);
      return noErr;
    }
    case kEventControlDraw: {
      CGrafPtr savedPort;
      GDHandle savedDevice;
      GetGWorld(&savedPort, &savedDevice);
      SetGWorld(GetWindowPort(GetControlOwner(control)), nullptr);
      DrawPictureBox(control);
      SetGWorld(savedPort, savedDevice);
      return noErr;
    }
    default:
      return eventNotHandledErr;
  }
}

void RegisterPictureControl() {
  static const EventTypeSpec kEvents[] = {{kEventClassControl, kEventControlDraw},
                                          {kEventClassControl, kEventControlHitTest},
                                          {kEventClassControl, kEventControlHit}};
  lgMyHandlerUPP = NewEventHandlerUPP(PictureControlHandler);
  lgPictureControlClassRef = SimpleRegisterControlClass(cPictureClassID, kEvents, 3, lgMyHandlerUPP);
}

void UnregisterPictureControl() {
  if (lgPictureControlClassRef != nullptr) UnregisterToolboxObjectClass(lgPictureControlClassRef);
  lgPictureControlClassRef = nullptr;
  lgMyHandlerUPP = nullptr;
}
