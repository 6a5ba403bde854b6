#include "dialog/clipCTRL.h"

#include "common/commonprocs.h"
#include "dialog/DialogControls.h"
#include "dialog/carbonmacros.h"
#include "dialog/dlgUtils.h"
#include "effect/DataHandling.h"
#include "effect/relrects.h"
#include "render/callpixelfx.h"

namespace {
ToolboxObjectClassRef lgClipCtrlClassRef1 = nullptr;
EventHandlerUPP lgMyHandlerUPP = nullptr;

bool PtInRect(Point p, const Rect& r) { return p.h >= r.left && p.h < r.right && p.v >= r.top && p.v < r.bottom; }

// The part under the mouse: a handle or the inside of the active rectangle,
// else of the other one, which then becomes active.
ControlPartCode HitTest(WindowRef window, const Rect& bounds, Point where) {
  if (!PtInRect(where, bounds)) return kNoHandle;
  const PluginDataPtr config = gConfigWorkSpace.TheConfig;
  const SInt16 active = IsHandleHit(Rel2Rect(GetCurrentRel(), bounds), where);
  if (active != kNoHandle) return active;
  const RelRect& other = gConfigWorkSpace.ActiveRel == 1 ? config->EndRel : config->StartRel;
  const SInt16 part = IsHandleHit(Rel2Rect(other, bounds), where);
  if (part != kNoHandle) {
    gConfigWorkSpace.ActiveRel = gConfigWorkSpace.ActiveRel == 1 ? 2 : 1;
    DrawFrameContents(window, bounds);
  }
  SimpleSetControlValueByID(window, cRectSig, 1, gConfigWorkSpace.ActiveRel);
  return part;
}

// Follows the mouse until it is released: every step inside the control
// moves or resizes the active rectangle, re-renders and redraws the preview.
void Track(WindowRef window, const Rect& bounds, Point mouseLocation, UInt32 modifierKeys) {
  const RelRect origRel = GetCurrentRel();
  const Rect origRect = Rel2Rect(origRel, bounds);
  Rect testRect = origRect;
  const SInt16 whatPart = IsHandleHit(origRect, mouseLocation);
  if (whatPart == kNoHandle) return;
  Point newLoc = mouseLocation;
  MouseTrackingResult trackingResult = kMouseTrackingMouseDown;
  while (trackingResult != kMouseTrackingMouseUp) {
    if (trackingResult == kMouseTrackingMouseDragged && PtInRect(newLoc, bounds)) {
      if (whatPart == kInside) {
        DragRect(testRect, mouseLocation, newLoc, modifierKeys);
        mouseLocation = newLoc;
      } else {
        testRect = origRect;
        DragCorner(whatPart, testRect, mouseLocation, newLoc, modifierKeys, bounds, origRel);
      }
      PutCurrentRel(Rect2Rel(testRect, bounds));
      CallPixelEffect(gConfigWorkSpace.SourceClip, gConfigWorkSpace.TheFXClip);
      DrawFrameContents(window, bounds);
    }
    TrackMouseLocation(GetWindowPort(window), &newLoc, &trackingResult);
  }
}

}  // namespace

OSStatus ClipCtrlControlHandler(EventHandlerCallRef, EventRef event, void*) {
  ControlRef control = nullptr;
  GetEventParameter(event, kEventParamDirectObject, typeControlRef, nullptr, sizeof control, nullptr, &control);
  WindowRef window = GetControlOwner(control);
  Rect bounds;
  GetControlBounds(control, &bounds);
  CGrafPtr savedPort;
  GDHandle savedDevice;
  GetGWorld(&savedPort, &savedDevice);
  SetGWorld(GetWindowPort(window), nullptr);
  OSStatus result = eventNotHandledErr;
  switch (GetEventKind(event)) {
    case kEventControlHit:
      result = noErr;  // no command for this control
      break;
    case kEventControlDraw:
    case kEventControlActivate:
    case kEventControlOwningWindowChanged: {
      const ControlPartCode hilite = GetControlHilite(control);
      if (hilite != kControlDisabledPart && hilite != kControlInactivePart && gConfigWorkSpace.TheFXClip != nullptr)
        DrawFrameContents(window, bounds);
      result = noErr;
      break;
    }
    case kEventControlHitTest: {
      Point where;
      GetEventParameter(event, kEventParamMouseLocation, typeQDPoint, nullptr, sizeof where, nullptr, &where);
      const ControlPartCode part = HitTest(window, bounds, where);
      SetEventParameter(event, kEventParamControlPart, typeControlPartCode, sizeof part, &part);
      result = noErr;
      break;
    }
    case kEventControlTrack: {
      Point where;
      UInt32 modifiers = 0;
      GetEventParameter(event, kEventParamMouseLocation, typeQDPoint, nullptr, sizeof where, nullptr, &where);
      GetEventParameter(event, kEventParamKeyModifiers, typeUInt32, nullptr, sizeof modifiers, nullptr, &modifiers);
      ClipRect(&bounds);
      Track(window, bounds, where, modifiers);
      result = noErr;
      break;
    }
    default:
      break;
  }
  const Rect whole = GetPortRect(GetWindowPort(window));
  ClipRect(&whole);
  SetGWorld(savedPort, savedDevice);
  return result;
}

void RegisterClipCtrl() {
  static const EventTypeSpec kEvents[] = {
      {kEventClassControl, kEventControlDraw},     {kEventClassControl, kEventControlHitTest},
      {kEventClassControl, kEventControlHit},      {kEventClassControl, kEventControlActivate},
      {kEventClassControl, kEventControlOwningWindowChanged}, {kEventClassControl, kEventControlTrack}};
  lgMyHandlerUPP = NewEventHandlerUPP(ClipCtrlControlHandler);
  lgClipCtrlClassRef1 = SimpleRegisterControlClass(cClipCtrlClassID, kEvents, 6, lgMyHandlerUPP);
}

void UnregisterClipCtrl() {
  UnregisterToolboxObjectClass(lgClipCtrlClassRef1);
  lgClipCtrlClassRef1 = nullptr;
  lgMyHandlerUPP = nullptr;
}
