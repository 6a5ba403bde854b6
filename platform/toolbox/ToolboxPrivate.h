// What the toolbox stand-in's files share: the records behind the opaque
// references, and the routines that pass events between Qt and handlers.
// Only the toolbox's own files include this.
#pragma once

#include <QEventLoop>
#include <QImage>
#include <QPointer>
#include <QRect>
#include <QWidget>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "toolbox/Toolbox.h"

struct OpaqueEventRef {
  EventClass eventClass;
  EventKind eventKind;
  std::map<EventParamName, std::pair<EventParamType, std::vector<UInt8>>> params;
};

struct OpaqueEventHandlerRef {
  WindowRef window;
  EventHandlerUPP proc;
  std::vector<EventTypeSpec> types;
  void* userData;
};

struct OpaqueToolboxObjectClassRef {
  std::string classID;
  EventHandlerUPP handler;
  std::vector<EventTypeSpec> events;
  void* userData;
};

struct OpaqueIBNibRef {
  std::string folder;
};

struct OpaqueControlRef {
  QPointer<QWidget> widget;
  WindowRef window;
  OSType signature = 0;
  SInt32 id = 0;
  UInt32 command = 0;
  SInt32 value = 0, minimum = 0, maximum = 0;  // a custom control's own
  ControlPartCode hilite = 0;
  ControlActionUPP action = nullptr;
  OpaqueToolboxObjectClassRef* controlClass = nullptr;
  bool settingValue = false;  // the code, not the user, is changing the value
  Rect drawnAt = {0, 0, 0, 0};  // where a custom control was last drawn in the port
};

struct OpaqueWindowPtr {
  QWidget* widget = nullptr;
  std::string nibFolder;  // the interface files it was made from
  RGBColor background = {65535, 65535, 65535};  // the port where nothing is drawn
  GWorldPtr port = nullptr;
  std::vector<OpaqueEventHandlerRef*> handlers;
  std::vector<std::unique_ptr<OpaqueControlRef>> controls;
  QEventLoop* modalLoop = nullptr;
  bool quitRequested = false;
  // Mouse tracking: the nested loop waiting for the next mouse event.
  QEventLoop* trackLoop = nullptr;
  Point trackPoint{0, 0};
  MouseTrackingResult trackResult = kMouseTrackingMouseUp;
  QObject* portPainter = nullptr;
};

namespace toolbox {

// Makes the application when the host has none (offscreen without a display).
void EnsureApplication();
// Windows that exist, for finding a port's window.
std::vector<WindowRef>& Windows();
WindowRef WindowOfPort(GrafPtr port);

// Sends an event to the handlers that asked for its type, newest first,
// until one handles it.
OSStatus SendToHandlers(const std::vector<OpaqueEventHandlerRef*>& handlers, EventRef event);
// The command process event for `command` (nothing for 0) to the window.
void SendCommand(WindowRef window, UInt32 command);
// An event of the control's class, with the control as its direct object.
OSStatus SendToControlClass(ControlRef control, EventKind kind, OpaqueEventRef& event);
// The control's class handler draws it into its window's port (nothing for
// a control that is not visible).
void DrawCustomControl(ControlRef control);
// Shows on screen what was drawn into the windows' ports since last time.
void FlushWindows();
UInt32 Modifiers(Qt::KeyboardModifiers m);
Point WindowPoint(QWidget* widget, QPoint local, WindowRef window);

// A registered control class by its ID, nil when none is.
OpaqueToolboxObjectClassRef* ClassNamed(const std::string& id);
// The widget for an interface file's "QuorvelControl".
QWidget* NewCustomControlWidget(QWidget* parent);
// Binds a custom control's widget to its control reference.
void BindCustomControl(QWidget* widget, ControlRef control);
bool IsCustomControlWidget(QWidget* widget);

// Wraps each widget the interface file gives a control ID or a command.
void AdoptControls(WindowRef window);
// The part of the port under `area` (window coordinates) as a picture.
QImage PortImage(GWorldPtr port, const QRect& area);

}  // namespace toolbox
