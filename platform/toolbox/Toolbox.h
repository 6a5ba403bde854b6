// Toolbox stand-in on Qt Widgets: windows made from interface files (the nib
// files), controls found by control ID, commands sent to a window's event
// handlers, custom control classes, mouse tracking, modal loops. Its files:
// Windows.cpp, Controls.cpp, Events.cpp (with tracking), CustomControls.cpp.
//
// A nib file is a folder "<name>.nib" in the bundle's Resources holding one
// Qt Designer file per window ("<window>.ui"). Each control carries its
// control ID as the properties "controlSignature" (four characters) and
// "controlID" (a number), and a control that sends a command carries it as
// "command" (four characters). A custom control is a "QuorvelControl"
// widget whose "classID" property names a registered control class. A
// selector is a frame of checkable buttons; its value is the number of the
// checked one, from 1. Return presses the window's default button, Escape
// the button whose "cancel" property is true. A window laid out with Qt
// layouts takes its size when it is made and keeps it.
//
// A window's port is one of our offscreen buffers (quickdraw/QuickDraw.h),
// shown behind the window's controls: what is drawn into it appears in the
// window. A QApplication is used when the host has one and made when it has
// none (offscreen when there is no display).
#pragma once

#include <string>

#include "MacTypes.h"
#include "bundle/Bundle.h"
#include "memory/MacMemory.h"
#include "corefoundation/CFString.h"
#include "quickdraw/QuickDraw.h"
#include "toolbox/ToolboxTypes.h"

typedef UInt32 EventClass;
typedef UInt32 EventKind;
typedef UInt32 EventParamName;
typedef UInt32 EventParamType;
struct EventTypeSpec {
  EventClass eventClass;
  EventKind eventKind;
};

struct OpaqueEventRef;
typedef OpaqueEventRef* EventRef;
struct OpaqueEventHandlerCallRef;
typedef OpaqueEventHandlerCallRef* EventHandlerCallRef;
struct OpaqueEventHandlerRef;
typedef OpaqueEventHandlerRef* EventHandlerRef;
struct OpaqueEventTargetRef;
typedef OpaqueEventTargetRef* EventTargetRef;
typedef OSStatus (*EventHandlerUPP)(EventHandlerCallRef inHandlerCallRef, EventRef inEvent, void* inUserData);
inline EventHandlerUPP NewEventHandlerUPP(EventHandlerUPP handler) { return handler; }

enum : OSStatus { eventNotHandledErr = -9874, eventParameterNotFoundErr = -9870, errUnknownControl = -30584 };

constexpr EventClass kEventClassCommand = FOUR_CHAR_CODE("cmds");
constexpr EventClass kEventClassControl = FOUR_CHAR_CODE("cntl");
enum : EventKind { kEventCommandProcess = 1 };
enum : EventKind {
  kEventControlHit = 1,
  kEventControlHitTest = 3,
  kEventControlDraw = 4,
  kEventControlActivate = 9,
  kEventControlDeactivate = 10,
  kEventControlTrack = 51,
  kEventControlOwningWindowChanged = 159,
};

constexpr EventParamName kEventParamDirectObject = FOUR_CHAR_CODE("----");
constexpr EventParamName kEventParamMouseLocation = FOUR_CHAR_CODE("mloc");
constexpr EventParamName kEventParamKeyModifiers = FOUR_CHAR_CODE("kmod");
constexpr EventParamName kEventParamControlPart = FOUR_CHAR_CODE("cprt");
constexpr EventParamType typeHICommand = FOUR_CHAR_CODE("hcmd");
constexpr EventParamType typeControlRef = FOUR_CHAR_CODE("ctrl");
constexpr EventParamType typeQDPoint = FOUR_CHAR_CODE("QDpt");
constexpr EventParamType typeUInt32 = FOUR_CHAR_CODE("magn");
constexpr EventParamType typeControlPartCode = FOUR_CHAR_CODE("cprt");

// Key modifiers as the platform numbers them.
enum : UInt32 { cmdKey = 1 << 8, shiftKey = 1 << 9, optionKey = 1 << 11, controlKey = 1 << 12 };

struct HICommand {
  UInt32 attributes;
  UInt32 commandID;
  struct {
    void* menuRef;
    UInt16 menuItemIndex;
  } menu;
};

struct ControlID {
  OSType signature;
  SInt32 id;
};

typedef SInt16 ControlPartCode;
enum : ControlPartCode { kControlNoPart = 0 };
// Highlight values: active, pressed part, or these.
enum : ControlPartCode { kControlInactivePart = 255, kControlDisabledPart = 254 };
typedef void (*ControlActionUPP)(ControlRef control, ControlPartCode part);

struct OpaqueIBNibRef;
typedef OpaqueIBNibRef* IBNibRef;
struct OpaqueToolboxObjectClassRef;
typedef OpaqueToolboxObjectClassRef* ToolboxObjectClassRef;

enum : OSStatus { kIBCarbonRuntimeCantFindNibFile = -10960, kIBCarbonRuntimeCantFindObject = -10962 };

typedef UInt16 MouseTrackingResult;
enum : MouseTrackingResult { kMouseTrackingMouseDown = 1, kMouseTrackingMouseUp = 2, kMouseTrackingMouseDragged = 5, kMouseTrackingMouseMoved = 9 };

OSStatus CreateNibReferenceWithCFBundle(CFBundleRef bundle, CFStringRef nibName, IBNibRef* outNibRef);
OSStatus CreateWindowFromNib(IBNibRef nib, CFStringRef windowName, WindowRef* outWindow);
void DisposeNibReference(IBNibRef nib);

void ShowWindow(WindowRef window);
void HideWindow(WindowRef window);
void BringToFront(WindowRef window);
void DisposeWindow(WindowRef window);
CGrafPtr GetWindowPort(WindowRef window);
OSStatus RunAppModalLoopForWindow(WindowRef window);
OSStatus QuitAppModalLoopForWindow(WindowRef window);

EventTargetRef GetWindowEventTarget(WindowRef window);
OSStatus InstallEventHandler(EventTargetRef target, EventHandlerUPP handler, UInt32 numTypes,
                             const EventTypeSpec* list, void* userData, EventHandlerRef* outRef);
inline OSStatus InstallWindowEventHandler(WindowRef window, EventHandlerUPP handler, UInt32 numTypes,
                                          const EventTypeSpec* list, void* userData, EventHandlerRef* outRef) {
  return InstallEventHandler(GetWindowEventTarget(window), handler, numTypes, list, userData, outRef);
}
OSStatus RemoveEventHandler(EventHandlerRef handler);
OSStatus CreateEvent(CFAllocatorRef allocator, EventClass eventClass, EventKind kind, double when, UInt32 attributes,
                     EventRef* outEvent);
void ReleaseEvent(EventRef event);
EventClass GetEventClass(EventRef event);
EventKind GetEventKind(EventRef event);
OSStatus GetEventParameter(EventRef event, EventParamName name, EventParamType desiredType,
                           EventParamType* outActualType, UInt32 bufferSize, UInt32* outActualSize, void* outData);
OSStatus SetEventParameter(EventRef event, EventParamName name, EventParamType type, UInt32 size, const void* data);

OSStatus GetControlByID(WindowRef window, const ControlID* id, ControlRef* outControl);
SInt32 GetControl32BitValue(ControlRef control);
void SetControl32BitValue(ControlRef control, SInt32 value);
SInt32 GetControl32BitMinimum(ControlRef control);
void SetControl32BitMinimum(ControlRef control, SInt32 value);
SInt32 GetControl32BitMaximum(ControlRef control);
void SetControl32BitMaximum(ControlRef control, SInt32 value);
constexpr OSType kControlEditTextTextTag = FOUR_CHAR_CODE("text");
// Text of a control: tag 'text', Mac Roman bytes.
OSStatus SetControlData(ControlRef control, ControlPartCode part, OSType tag, Size size, const void* data);
std::string GetControlTextUTF8(ControlRef control);
void ShowControl(ControlRef control);
void HideControl(ControlRef control);
Boolean IsControlVisible(ControlRef control);
Rect* GetControlBounds(ControlRef control, Rect* bounds);
void HiliteControl(ControlRef control, ControlPartCode part);
ControlPartCode GetControlHilite(ControlRef control);
void Draw1Control(ControlRef control);
WindowRef GetControlOwner(ControlRef control);
void SetControlAction(ControlRef control, ControlActionUPP action);

// Custom control classes, instantiated where an interface file names them.
OSStatus RegisterToolboxObjectClass(CFStringRef classID, ToolboxObjectClassRef baseClass, UInt32 numEvents,
                                    const EventTypeSpec* events, EventHandlerUPP handler, void* userData,
                                    ToolboxObjectClassRef* outClass);
OSStatus UnregisterToolboxObjectClass(ToolboxObjectClassRef classRef);

// Waits in a nested loop for the next mouse event of the port's window and
// answers where it happened (window coordinates) and what it was. While it
// waits, the window's widget carries the property kTrackingMouseProperty: a
// number that grows with every wait (0 when nothing waits), so that what
// drives the mouse can tell one wait from the next.
OSStatus TrackMouseLocation(GrafPtr port, Point* outPoint, MouseTrackingResult* outResult);
constexpr const char* kTrackingMouseProperty = "quorvelTrackingMouse";

// Whether windows appear on a real display (false offscreen, as in tests).
bool ToolboxHasDisplay();
// The Qt widget behind a window, for tests and screenshots.
void* WindowWidget(WindowRef window);
void* ControlWidget(ControlRef control);
