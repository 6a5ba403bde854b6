// Custom control classes: registered by class ID, instantiated where an
// interface file names the class, drawn by their handler into the window's
// port, and given the mouse: hit test, tracking, hit, command.
#include <QMouseEvent>
#include <QPainter>

#include "toolbox/ToolboxPrivate.h"

namespace {

std::vector<std::unique_ptr<OpaqueToolboxObjectClassRef>> lgClasses;

// A control of a registered class: its handler draws it into its window's
// port and follows the mouse; the widget shows that part of the port.
class CustomControlWidget : public QWidget {
 public:
  explicit CustomControlWidget(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);  // moves reach a tracking loop whatever the button state says
  }
  ControlRef control = nullptr;

 protected:
  // The control is drawn into the port when it changes; a paint shows the
  // port, after drawing the control again where the layout has moved it.
  void paintEvent(QPaintEvent*) override {
    if (control == nullptr || control->window == nullptr) return;
    WindowRef window = control->window;
    Rect now;
    GetControlBounds(control, &now);
    const Rect& was = control->drawnAt;
    if (!EmptyRect(&was) && (now.left != was.left || now.top != was.top || now.right != was.right ||
                             now.bottom != was.bottom)) {
      const Rect old = was;
      CGrafPtr savedPort;
      GDHandle savedDevice;
      GetGWorld(&savedPort, &savedDevice);
      SetGWorld(window->port, nullptr);
      RGBBackColor(&window->background);
      EraseRect(&old);
      SetGWorld(savedPort, savedDevice);
      toolbox::DrawCustomControl(control);
      toolbox::FlushWindows();
    }
    const QPoint topLeft = mapTo(window->widget, QPoint(0, 0));
    const Rect& b = GetPortBitMapForCopyBits(window->port)->bounds;
    const QRect area = QRect(topLeft, size()) & QRect(0, 0, b.right, b.bottom);
    QPainter painter(this);
    if (!area.isEmpty()) painter.drawImage(area.topLeft() - topLeft, toolbox::PortImage(window->port, area));
  }
  void mousePressEvent(QMouseEvent* e) override {
    if (control == nullptr || e->button() != Qt::LeftButton) return;
    WindowRef window = control->window;
    const Point where = toolbox::WindowPoint(this, e->position().toPoint(), window);
    const UInt32 keys = toolbox::Modifiers(e->modifiers());
    OpaqueEventRef hitTest{};
    SetEventParameter(&hitTest, kEventParamMouseLocation, typeQDPoint, sizeof where, &where);
    toolbox::SendToControlClass(control, kEventControlHitTest, hitTest);
    toolbox::FlushWindows();
    ControlPartCode part = kControlNoPart;
    GetEventParameter(&hitTest, kEventParamControlPart, typeControlPartCode, nullptr, sizeof part, nullptr, &part);
    if (part == kControlNoPart) return;
    OpaqueEventRef track{};
    SetEventParameter(&track, kEventParamMouseLocation, typeQDPoint, sizeof where, &where);
    SetEventParameter(&track, kEventParamKeyModifiers, typeUInt32, sizeof keys, &keys);
    SetEventParameter(&track, kEventParamControlPart, typeControlPartCode, sizeof part, &part);
    QPointer<CustomControlWidget> alive(this);
    if (toolbox::SendToControlClass(control, kEventControlTrack, track) == eventNotHandledErr) {
      // Standard tracking: the part is highlighted while the mouse is down.
      HiliteControl(control, part);
      Draw1Control(control);
      Point pt;
      MouseTrackingResult result = kMouseTrackingMouseDragged;
      while (alive && result != kMouseTrackingMouseUp) TrackMouseLocation(window->port, &pt, &result);
      if (!alive) return;
      HiliteControl(control, kControlNoPart);
      Draw1Control(control);
    }
    if (!alive) return;
    GetEventParameter(&track, kEventParamControlPart, typeControlPartCode, nullptr, sizeof part, nullptr, &part);
    OpaqueEventRef hit{};
    SetEventParameter(&hit, kEventParamControlPart, typeControlPartCode, sizeof part, &part);
    SetEventParameter(&hit, kEventParamKeyModifiers, typeUInt32, sizeof keys, &keys);
    toolbox::SendToControlClass(control, kEventControlHit, hit);
    toolbox::FlushWindows();
    if (alive) toolbox::SendCommand(window, control->command);
  }
  void mouseMoveEvent(QMouseEvent* e) override { Tracked(e, kMouseTrackingMouseDragged); }
  void mouseReleaseEvent(QMouseEvent* e) override { Tracked(e, kMouseTrackingMouseUp); }

 private:
  void Tracked(QMouseEvent* e, MouseTrackingResult result) {
    if (control == nullptr || control->window->trackLoop == nullptr) return;
    // A move with the button up: its release went elsewhere (a grab taken
    // away), and the drag ends here.
    if (result == kMouseTrackingMouseDragged && !(e->buttons() & Qt::LeftButton)) result = kMouseTrackingMouseUp;
    control->window->trackPoint = toolbox::WindowPoint(this, e->position().toPoint(), control->window);
    control->window->trackResult = result;
    control->window->trackLoop->quit();
  }
};

}  // namespace

namespace toolbox {

OpaqueToolboxObjectClassRef* ClassNamed(const std::string& id) {
  for (auto& c : lgClasses)
    if (c->classID == id) return c.get();
  return nullptr;
}

QWidget* NewCustomControlWidget(QWidget* parent) { return new CustomControlWidget(parent); }

bool IsCustomControlWidget(QWidget* widget) { return dynamic_cast<CustomControlWidget*>(widget) != nullptr; }

void BindCustomControl(QWidget* widget, ControlRef control) {
  static_cast<CustomControlWidget*>(widget)->control = control;
  control->controlClass = ClassNamed(widget->property("classID").toString().toStdString());
  control->value = widget->property("value").toInt();
  control->maximum = widget->property("maximum").toInt();
}

void DrawCustomControl(ControlRef control) {
  if (control == nullptr || control->window == nullptr || control->controlClass == nullptr || !control->widget ||
      !control->widget->isVisibleTo(control->window->widget))
    return;
  CGrafPtr savedPort;
  GDHandle savedDevice;
  GetGWorld(&savedPort, &savedDevice);
  SetGWorld(control->window->port, nullptr);
  OpaqueEventRef event{};
  SendToControlClass(control, kEventControlDraw, event);
  GetControlBounds(control, &control->drawnAt);
  SetGWorld(savedPort, savedDevice);
}

}  // namespace toolbox

OSStatus RegisterToolboxObjectClass(CFStringRef classID, ToolboxObjectClassRef, UInt32 numEvents,
                                    const EventTypeSpec* events, EventHandlerUPP handler, void* userData,
                                    ToolboxObjectClassRef* outClass) {
  const std::string id = CFStringUTF8(classID);
  if (id.empty() || handler == nullptr || toolbox::ClassNamed(id) != nullptr) return paramErr;
  lgClasses.push_back(std::make_unique<OpaqueToolboxObjectClassRef>(
      OpaqueToolboxObjectClassRef{id, handler, std::vector<EventTypeSpec>(events, events + numEvents), userData}));
  if (outClass) *outClass = lgClasses.back().get();
  return noErr;
}

OSStatus UnregisterToolboxObjectClass(ToolboxObjectClassRef classRef) {
  for (size_t k = 0; k < lgClasses.size(); ++k)
    if (lgClasses[k].get() == classRef) {
      // Controls of windows still open stop drawing through it.
      for (WindowRef w : toolbox::Windows())
        for (auto& c : w->controls)
          if (c->controlClass == classRef) c->controlClass = nullptr;
      lgClasses.erase(lgClasses.begin() + long(k));
      return noErr;
    }
  return paramErr;
}
