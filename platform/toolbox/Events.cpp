// Events and their handlers: commands sent to windows, control events sent
// to control classes, and the nested loop that waits for the next mouse event.

#include <cstring>

#include "toolbox/ToolboxPrivate.h"

namespace toolbox {

UInt32 Modifiers(Qt::KeyboardModifiers m) {
  UInt32 keys = 0;
  if (m & Qt::ShiftModifier) keys |= shiftKey;
  if (m & Qt::AltModifier) keys |= optionKey;
  if (m & Qt::ControlModifier) keys |= cmdKey;
  if (m & Qt::MetaModifier) keys |= controlKey;
  return keys;
}

Point WindowPoint(QWidget* widget, QPoint local, WindowRef window) {
  const QPoint p = widget->mapTo(window->widget, local);
  return {SInt16(p.y()), SInt16(p.x())};
}

OSStatus SendToHandlers(const std::vector<OpaqueEventHandlerRef*>& handlers, EventRef event) {
  for (auto it = handlers.rbegin(); it != handlers.rend(); ++it)
    for (const EventTypeSpec& t : (*it)->types)
      if (t.eventClass == event->eventClass && t.eventKind == event->eventKind) {
        const OSStatus status = (*it)->proc(nullptr, event, (*it)->userData);
        if (status != eventNotHandledErr) return status;
      }
  return eventNotHandledErr;
}

void SendCommand(WindowRef window, UInt32 command) {
  if (command == 0) return;
  OpaqueEventRef event{kEventClassCommand, kEventCommandProcess, {}};
  HICommand cmd{0, command, {nullptr, 0}};
  SetEventParameter(&event, kEventParamDirectObject, typeHICommand, sizeof cmd, &cmd);
  std::vector<OpaqueEventHandlerRef*> handlers = window->handlers;  // a handler may remove itself
  SendToHandlers(handlers, &event);
  FlushWindows();
}

OSStatus SendToControlClass(ControlRef control, EventKind kind, OpaqueEventRef& event) {
  OpaqueToolboxObjectClassRef* cls = control->controlClass;
  if (cls == nullptr) return eventNotHandledErr;
  event.eventClass = kEventClassControl;
  event.eventKind = kind;
  SetEventParameter(&event, kEventParamDirectObject, typeControlRef, sizeof(ControlRef), &control);
  for (const EventTypeSpec& t : cls->events)
    if (t.eventClass == kEventClassControl && t.eventKind == kind) return cls->handler(nullptr, &event, cls->userData);
  return eventNotHandledErr;
}

}  // namespace toolbox

EventTargetRef GetWindowEventTarget(WindowRef window) { return reinterpret_cast<EventTargetRef>(window); }

OSStatus InstallEventHandler(EventTargetRef target, EventHandlerUPP handler, UInt32 numTypes,
                             const EventTypeSpec* list, void* userData, EventHandlerRef* outRef) {
  WindowRef window = reinterpret_cast<WindowRef>(target);
  if (window == nullptr || handler == nullptr) return paramErr;
  auto* ref = new OpaqueEventHandlerRef{window, handler, std::vector<EventTypeSpec>(list, list + numTypes), userData};
  window->handlers.push_back(ref);
  if (outRef) *outRef = ref;
  return noErr;
}

OSStatus RemoveEventHandler(EventHandlerRef handler) {
  if (handler == nullptr) return paramErr;
  auto& list = handler->window->handlers;
  for (size_t k = 0; k < list.size(); ++k)
    if (list[k] == handler) list.erase(list.begin() + long(k));
  delete handler;
  return noErr;
}

OSStatus CreateEvent(CFAllocatorRef, EventClass eventClass, EventKind kind, double, UInt32, EventRef* outEvent) {
  if (outEvent == nullptr) return paramErr;
  *outEvent = new OpaqueEventRef{eventClass, kind, {}};
  return noErr;
}

void ReleaseEvent(EventRef event) { delete event; }

EventClass GetEventClass(EventRef event) { return event ? event->eventClass : 0; }
EventKind GetEventKind(EventRef event) { return event ? event->eventKind : 0; }

OSStatus GetEventParameter(EventRef event, EventParamName name, EventParamType, EventParamType* outActualType,
                           UInt32 bufferSize, UInt32* outActualSize, void* outData) {
  if (event == nullptr) return paramErr;
  auto it = event->params.find(name);
  if (it == event->params.end()) return eventParameterNotFoundErr;
  const std::vector<UInt8>& bytes = it->second.second;
  if (outActualType) *outActualType = it->second.first;
  if (outActualSize) *outActualSize = UInt32(bytes.size());
  if (outData) std::memcpy(outData, bytes.data(), std::min<size_t>(bufferSize, bytes.size()));
  return noErr;
}

OSStatus SetEventParameter(EventRef event, EventParamName name, EventParamType type, UInt32 size, const void* data) {
  if (event == nullptr || (data == nullptr && size > 0)) return paramErr;
  const UInt8* p = static_cast<const UInt8*>(data);
  event->params[name] = {type, std::vector<UInt8>(p, p + size)};
  return noErr;
}

OSStatus TrackMouseLocation(GrafPtr port, Point* outPoint, MouseTrackingResult* outResult) {
  WindowRef window = toolbox::WindowOfPort(port);
  if (window == nullptr) return paramErr;
  QEventLoop loop;
  window->trackLoop = &loop;
  window->trackResult = kMouseTrackingMouseUp;
  // What the screen shows a person (and a script player): what the drag
  // drew so far, and a window that follows the mouse.
  static int waits = 0;
  toolbox::FlushWindows();
  window->widget->setProperty(kTrackingMouseProperty, ++waits);
  // A window hidden or closed under the mouse ends the tracking (the mouse
  // never comes back to it); a slow hand never does.
  loop.exec();
  if (toolbox::WindowOfPort(port) != window) {  // disposed while it waited: the mouse is up
    if (outResult) *outResult = kMouseTrackingMouseUp;
    return noErr;
  }
  window->trackLoop = nullptr;
  window->widget->setProperty(kTrackingMouseProperty, 0);
  if (outPoint) *outPoint = window->trackPoint;
  if (outResult) *outResult = window->trackResult;
  return noErr;
}
