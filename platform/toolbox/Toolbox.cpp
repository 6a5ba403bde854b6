#include "toolbox/Toolbox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QUiLoader>
#include <QWidget>

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "alerts/Alerts.h"
#include "text/PascalString.h"

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
  SInt32 value = 0, minimum = 0, maximum = 0;
  ControlPartCode hilite = 0;
  ControlActionUPP action = nullptr;
  OpaqueToolboxObjectClassRef* controlClass = nullptr;
};

struct OpaqueWindowPtr {
  QWidget* widget = nullptr;
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

namespace {

std::vector<std::unique_ptr<OpaqueToolboxObjectClassRef>> lgClasses;
std::vector<WindowRef> lgWindows;

OSType CodeFromText(const QString& text) {
  QByteArray b = text.toLatin1();
  if (b.size() != 4) return 0;
  return FOUR_CHAR_CODE({b[0], b[1], b[2], b[3], 0});
}

Point WindowPoint(QWidget* widget, QPoint local, WindowRef window) {
  const QPoint p = widget->mapTo(window->widget, local);
  return {SInt16(p.y()), SInt16(p.x())};
}

UInt32 Modifiers(Qt::KeyboardModifiers m) {
  UInt32 keys = 0;
  if (m & Qt::ShiftModifier) keys |= shiftKey;
  if (m & Qt::AltModifier) keys |= optionKey;
  if (m & Qt::ControlModifier) keys |= cmdKey;
  if (m & Qt::MetaModifier) keys |= controlKey;
  return keys;
}

// A message box for each alert when there is a display.
DialogItemIndex ShowAlertBox(const AlertContent& content) {
  QMessageBox box(content.type == kAlertStopAlert ? QMessageBox::Critical : QMessageBox::Warning,
                  QString(), QString::fromStdString(content.message));
  box.setInformativeText(QString::fromStdString(content.explanation));
  QPushButton* ok = box.addButton(QString::fromStdString(content.defaultButton), QMessageBox::AcceptRole);
  QPushButton* cancel = content.cancelButton.empty()
                            ? nullptr
                            : box.addButton(QString::fromStdString(content.cancelButton), QMessageBox::RejectRole);
  box.setDefaultButton(ok);
  box.exec();
  return cancel != nullptr && box.clickedButton() == cancel ? kAlertStdAlertCancelButton : kAlertStdAlertOKButton;
}

void EnsureApplication() {
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr) return;
  if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static int argc = 1;
  static char name[] = "quorvel";
  static char* argv[] = {name, nullptr};
  new QApplication(argc, argv);  // lives as long as the process
  if (ToolboxHasDisplay()) SetAlertPresenter(ShowAlertBox);
}

// Sends an event to handlers that asked for its type, newest first, until
// one handles it.
OSStatus SendToHandlers(const std::vector<OpaqueEventHandlerRef*>& handlers, EventRef event) {
  for (auto it = handlers.rbegin(); it != handlers.rend(); ++it)
    for (const EventTypeSpec& t : (*it)->types)
      if (t.eventClass == event->eventClass && t.eventKind == event->eventKind) {
        const OSStatus status = (*it)->proc(nullptr, event, (*it)->userData);
        if (status != eventNotHandledErr) return status;
      }
  return eventNotHandledErr;
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

void SendCommand(WindowRef window, UInt32 command) {
  if (command == 0) return;
  OpaqueEventRef event{kEventClassCommand, kEventCommandProcess, {}};
  HICommand cmd{0, command, {nullptr, 0}};
  SetEventParameter(&event, kEventParamDirectObject, typeHICommand, sizeof cmd, &cmd);
  std::vector<OpaqueEventHandlerRef*> handlers = window->handlers;  // a handler may remove itself
  SendToHandlers(handlers, &event);
}

QImage PortImage(GWorldPtr port, const QRect& area) {
  PixMapHandle pm = GetGWorldPixMap(port);
  const UInt8* base = reinterpret_cast<const UInt8*>(GetPixBaseAddr(pm));
  const int rowBytes = GetPixRowBytes(pm);
  QImage image(area.size(), QImage::Format_ARGB32_Premultiplied);
  for (int y = 0; y < area.height(); ++y) {
    const UInt8* p = base + ptrdiff_t(area.top() + y) * rowBytes + 4 * area.left();
    QRgb* out = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < area.width(); ++x, p += 4) out[x] = qRgba(p[1], p[2], p[3], p[0]);
  }
  return image;
}

WindowRef WindowOfPort(GrafPtr port) {
  for (WindowRef w : lgWindows)
    if (w->port == port) return w;
  return nullptr;
}

// Paints the window's port behind its controls.
class PortPainter : public QObject {
 public:
  explicit PortPainter(WindowRef window) : window_(window) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && watched == window_->widget) {
      QPainter painter(window_->widget);
      const QRect area = static_cast<QPaintEvent*>(event)->rect() & QRect(0, 0, PortWidth(), PortHeight());
      if (!area.isEmpty()) painter.drawImage(area.topLeft(), PortImage(window_->port, area));
    }
    return false;
  }

 private:
  int PortWidth() const { return GetPortBitMapForCopyBits(window_->port)->bounds.right; }
  int PortHeight() const { return GetPortBitMapForCopyBits(window_->port)->bounds.bottom; }
  WindowRef window_;
};

// The control's class handler draws it into its window's port.
void DrawCustomControl(ControlRef control) {
  if (control == nullptr || control->window == nullptr || control->controlClass == nullptr) return;
  CGrafPtr savedPort;
  GDHandle savedDevice;
  GetGWorld(&savedPort, &savedDevice);
  SetGWorld(control->window->port, nullptr);
  OpaqueEventRef event{};
  SendToControlClass(control, kEventControlDraw, event);
  SetGWorld(savedPort, savedDevice);
}

// A control of a registered class: its handler draws it into the window's
// port and follows the mouse; the widget shows that part of the port.
class CustomControlWidget : public QWidget {
 public:
  explicit CustomControlWidget(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);  // moves reach a tracking loop whatever the button state says
  }
  ControlRef control = nullptr;

 protected:
  void paintEvent(QPaintEvent*) override {
    if (control == nullptr || control->window == nullptr) return;
    WindowRef window = control->window;
    DrawCustomControl(control);
    const QPoint topLeft = mapTo(window->widget, QPoint(0, 0));
    const Rect& b = GetPortBitMapForCopyBits(window->port)->bounds;
    const QRect area = QRect(topLeft, size()) & QRect(0, 0, b.right, b.bottom);
    QPainter painter(this);
    if (!area.isEmpty()) painter.drawImage(area.topLeft() - topLeft, PortImage(window->port, area));
  }
  void mousePressEvent(QMouseEvent* e) override {
    if (control == nullptr) return;
    WindowRef window = control->window;
    const Point where = WindowPoint(this, e->position().toPoint(), window);
    const UInt32 keys = Modifiers(e->modifiers());
    OpaqueEventRef hitTest{};
    SetEventParameter(&hitTest, kEventParamMouseLocation, typeQDPoint, sizeof where, &where);
    SendToControlClass(control, kEventControlHitTest, hitTest);
    ControlPartCode part = kControlNoPart;
    GetEventParameter(&hitTest, kEventParamControlPart, typeControlPartCode, nullptr, sizeof part, nullptr, &part);
    if (part == kControlNoPart) return;
    OpaqueEventRef track{};
    SetEventParameter(&track, kEventParamMouseLocation, typeQDPoint, sizeof where, &where);
    SetEventParameter(&track, kEventParamKeyModifiers, typeUInt32, sizeof keys, &keys);
    SetEventParameter(&track, kEventParamControlPart, typeControlPartCode, sizeof part, &part);
    QPointer<CustomControlWidget> alive(this);
    if (SendToControlClass(control, kEventControlTrack, track) == eventNotHandledErr) {
      // Standard tracking: follow the mouse until it is released.
      Point pt;
      MouseTrackingResult result = kMouseTrackingMouseDragged;
      while (alive && result != kMouseTrackingMouseUp) TrackMouseLocation(window->port, &pt, &result);
    }
    if (!alive) return;
    GetEventParameter(&track, kEventParamControlPart, typeControlPartCode, nullptr, sizeof part, nullptr, &part);
    OpaqueEventRef hit{};
    SetEventParameter(&hit, kEventParamControlPart, typeControlPartCode, sizeof part, &part);
    SetEventParameter(&hit, kEventParamKeyModifiers, typeUInt32, sizeof keys, &keys);
    SendToControlClass(control, kEventControlHit, hit);
    SendCommand(window, control->command);
  }
  void mouseMoveEvent(QMouseEvent* e) override { Tracked(e, kMouseTrackingMouseDragged); }
  void mouseReleaseEvent(QMouseEvent* e) override { Tracked(e, kMouseTrackingMouseUp); }

 private:
  void Tracked(QMouseEvent* e, MouseTrackingResult result) {
    if (control == nullptr || control->window->trackLoop == nullptr) return;
    control->window->trackPoint = WindowPoint(this, e->position().toPoint(), control->window);
    control->window->trackResult = result;
    control->window->trackLoop->quit();
  }
};

class NibLoader : public QUiLoader {
 public:
  QWidget* createWidget(const QString& className, QWidget* parent, const QString& name) override {
    QWidget* w = className == "QuorvelControl" ? new CustomControlWidget(parent)
                                               : QUiLoader::createWidget(className, parent, name);
    if (w) w->setObjectName(name);  // the loader leaves naming to the override
    return w;
  }
};

OpaqueToolboxObjectClassRef* ClassNamed(const std::string& id) {
  for (auto& c : lgClasses)
    if (c->classID == id) return c.get();
  return nullptr;
}

// Wraps each control the interface file gives an ID or a command.
void AdoptControls(WindowRef window) {
  for (QWidget* w : window->widget->findChildren<QWidget*>()) {
    const QVariant sig = w->property("controlSignature"), command = w->property("command");
    auto* custom = dynamic_cast<CustomControlWidget*>(w);
    if (!sig.isValid() && !command.isValid() && custom == nullptr) continue;
    auto c = std::make_unique<OpaqueControlRef>();
    c->widget = w;
    c->window = window;
    c->signature = sig.isValid() ? CodeFromText(sig.toString()) : 0;
    c->id = w->property("controlID").toInt();
    c->command = command.isValid() ? CodeFromText(command.toString()) : 0;
    ControlRef control = c.get();
    if (custom != nullptr) {
      custom->control = control;
      c->controlClass = ClassNamed(w->property("classID").toString().toStdString());
      c->value = w->property("value").toInt();
      c->maximum = w->property("maximum").toInt();
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
      QObject::connect(button, &QAbstractButton::clicked, [control] { SendCommand(control->window, control->command); });
    } else if (auto* popup = qobject_cast<QComboBox*>(w)) {
      QObject::connect(popup, QOverload<int>::of(&QComboBox::activated),
                       [control](int) { SendCommand(control->window, control->command); });
    } else if (auto* slider = qobject_cast<QSlider*>(w)) {
      QObject::connect(slider, &QSlider::valueChanged, [control, slider](int) {
        if (control->action != nullptr && slider->isSliderDown()) control->action(control, 129);  // the thumb
      });
      QObject::connect(slider, &QSlider::sliderReleased, [control] { SendCommand(control->window, control->command); });
    }
    window->controls.push_back(std::move(c));
  }
}

}  // namespace

bool ToolboxHasDisplay() {
  EnsureApplication();
  const QString platform = QGuiApplication::platformName();
  return platform != "offscreen" && platform != "minimal";
}

OSStatus CreateNibReferenceWithCFBundle(CFBundleRef bundle, CFStringRef nibName, IBNibRef* outNibRef) {
  if (outNibRef == nullptr) return paramErr;
  *outNibRef = nullptr;
  const std::string path = CFBundlePath(bundle);
  if (path.empty()) return paramErr;
  const std::string folder = path + "/Contents/Resources/" + CFStringUTF8(nibName) + ".nib";
  if (!QFile::exists(QString::fromStdString(folder))) return kIBCarbonRuntimeCantFindNibFile;
  *outNibRef = new OpaqueIBNibRef{folder};
  return noErr;
}

void DisposeNibReference(IBNibRef nib) { delete nib; }

OSStatus CreateWindowFromNib(IBNibRef nib, CFStringRef windowName, WindowRef* outWindow) {
  if (nib == nullptr || outWindow == nullptr) return paramErr;
  *outWindow = nullptr;
  EnsureApplication();
  QFile file(QString::fromStdString(nib->folder + "/" + CFStringUTF8(windowName) + ".ui"));
  if (!file.open(QFile::ReadOnly)) return kIBCarbonRuntimeCantFindObject;
  NibLoader loader;
  QWidget* widget = loader.load(&file);
  if (widget == nullptr) return kIBCarbonRuntimeCantFindObject;
  auto* window = new OpaqueWindowPtr;
  window->widget = widget;
  const Rect bounds = {0, 0, SInt16(widget->height()), SInt16(widget->width())};
  if (NewGWorld(&window->port, 32, &bounds, nullptr, nullptr, 0) != noErr) {
    delete widget;
    delete window;
    return memFullErr;
  }
  // The port starts as the window's own background colour.
  CGrafPtr savedPort;
  GDHandle savedDevice;
  GetGWorld(&savedPort, &savedDevice);
  SetGWorld(window->port, nullptr);
  const QColor bg = widget->palette().color(QPalette::Window);
  const RGBColor back = {UInt16(bg.red() * 257), UInt16(bg.green() * 257), UInt16(bg.blue() * 257)};
  RGBBackColor(&back);
  EraseRect(&bounds);
  SetGWorld(savedPort, savedDevice);
  window->portPainter = new PortPainter(window);
  widget->installEventFilter(window->portPainter);
  lgWindows.push_back(window);
  AdoptControls(window);
  for (auto& c : window->controls) {
    OpaqueEventRef event{};
    SendToControlClass(c.get(), kEventControlOwningWindowChanged, event);
  }
  *outWindow = window;
  return noErr;
}

void ShowWindow(WindowRef window) {
  if (window == nullptr) return;
  window->widget->show();
  for (auto& c : window->controls) {
    OpaqueEventRef event{};
    SendToControlClass(c.get(), kEventControlActivate, event);
  }
}

void HideWindow(WindowRef window) {
  if (window) window->widget->hide();
}

void BringToFront(WindowRef window) {
  if (window == nullptr) return;
  window->widget->raise();
  window->widget->activateWindow();
}

void DisposeWindow(WindowRef window) {
  if (window == nullptr) return;
  for (size_t k = 0; k < lgWindows.size(); ++k)
    if (lgWindows[k] == window) lgWindows.erase(lgWindows.begin() + long(k));
  for (OpaqueEventHandlerRef* h : window->handlers) delete h;
  window->controls.clear();
  delete window->widget;
  delete window->portPainter;
  DisposeGWorld(window->port);
  delete window;
}

CGrafPtr GetWindowPort(WindowRef window) { return window ? window->port : nullptr; }

OSStatus RunAppModalLoopForWindow(WindowRef window) {
  if (window == nullptr) return paramErr;
  if (window->quitRequested) {  // quit before the loop began
    window->quitRequested = false;
    return noErr;
  }
  window->widget->setWindowModality(Qt::ApplicationModal);
  if (!window->widget->isVisible()) window->widget->show();
  QEventLoop loop;
  window->modalLoop = &loop;
  loop.exec();
  window->modalLoop = nullptr;
  return noErr;
}

OSStatus QuitAppModalLoopForWindow(WindowRef window) {
  if (window == nullptr) return paramErr;
  if (window->modalLoop)
    window->modalLoop->quit();
  else
    window->quitRequested = true;
  return noErr;
}

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

OSStatus GetControlByID(WindowRef window, const ControlID* id, ControlRef* outControl) {
  if (outControl) *outControl = nullptr;
  if (window == nullptr || id == nullptr || outControl == nullptr) return paramErr;
  for (auto& c : window->controls)
    if (c->signature == id->signature && c->id == id->id && c->widget) {
      *outControl = c.get();
      return noErr;
    }
  return errUnknownControl;
}

SInt32 GetControl32BitValue(ControlRef c) {
  if (c == nullptr || !c->widget) return 0;
  if (auto* s = qobject_cast<QSlider*>(c->widget)) return s->value();
  if (auto* b = qobject_cast<QAbstractButton*>(c->widget)) return b->isCheckable() ? b->isChecked() : 0;
  if (auto* p = qobject_cast<QComboBox*>(c->widget)) return p->currentIndex() + 1;
  return c->value;
}

void SetControl32BitValue(ControlRef c, SInt32 value) {
  if (c == nullptr || !c->widget) return;
  if (auto* s = qobject_cast<QSlider*>(c->widget)) return s->setValue(value);
  if (auto* b = qobject_cast<QAbstractButton*>(c->widget)) return b->setChecked(value != 0);
  if (auto* p = qobject_cast<QComboBox*>(c->widget)) return p->setCurrentIndex(value - 1);
  c->value = value < c->minimum ? c->minimum : (value > c->maximum && c->maximum > c->minimum ? c->maximum : value);
  c->widget->update();
}

SInt32 GetControl32BitMinimum(ControlRef c) {
  if (c == nullptr || !c->widget) return 0;
  if (auto* s = qobject_cast<QSlider*>(c->widget)) return s->minimum();
  if (qobject_cast<QComboBox*>(c->widget)) return 1;
  return c->minimum;
}

void SetControl32BitMinimum(ControlRef c, SInt32 value) {
  if (c == nullptr || !c->widget) return;
  if (auto* s = qobject_cast<QSlider*>(c->widget)) return s->setMinimum(value);
  c->minimum = value;
}

SInt32 GetControl32BitMaximum(ControlRef c) {
  if (c == nullptr || !c->widget) return 0;
  if (auto* s = qobject_cast<QSlider*>(c->widget)) return s->maximum();
  if (auto* p = qobject_cast<QComboBox*>(c->widget)) return p->count();
  if (auto* b = qobject_cast<QAbstractButton*>(c->widget)) return b->isCheckable() ? 1 : 0;
  return c->maximum;
}

void SetControl32BitMaximum(ControlRef c, SInt32 value) {
  if (c == nullptr || !c->widget) return;
  if (auto* s = qobject_cast<QSlider*>(c->widget)) return s->setMaximum(value);
  c->maximum = value;
}

OSStatus SetControlData(ControlRef c, ControlPartCode, OSType tag, Size size, const void* data) {
  if (c == nullptr || !c->widget || size < 0 || size > 255) return paramErr;
  if (tag != kControlEditTextTextTag) return errUnknownControl;
  Str255 text;
  text[0] = UInt8(size);
  if (size > 0) std::memcpy(text + 1, data, size_t(size));
  const QString utf = QString::fromStdString(MacRomanToUTF8(text));
  if (auto* label = qobject_cast<QLabel*>(c->widget)) label->setText(utf);
  else if (auto* button = qobject_cast<QAbstractButton*>(c->widget)) button->setText(utf);
  else if (auto* edit = qobject_cast<QLineEdit*>(c->widget)) edit->setText(utf);
  else if (auto* box = qobject_cast<QGroupBox*>(c->widget)) box->setTitle(utf);
  else return errUnknownControl;
  return noErr;
}

std::string GetControlTextUTF8(ControlRef c) {
  if (c == nullptr || !c->widget) return std::string();
  if (auto* label = qobject_cast<QLabel*>(c->widget)) return label->text().toStdString();
  if (auto* button = qobject_cast<QAbstractButton*>(c->widget)) return button->text().toStdString();
  if (auto* edit = qobject_cast<QLineEdit*>(c->widget)) return edit->text().toStdString();
  if (auto* box = qobject_cast<QGroupBox*>(c->widget)) return box->title().toStdString();
  return std::string();
}

void ShowControl(ControlRef c) {
  if (c && c->widget) c->widget->show();
}
void HideControl(ControlRef c) {
  if (c && c->widget) c->widget->hide();
}
Boolean IsControlVisible(ControlRef c) { return c && c->widget && !c->widget->isHidden(); }

Rect* GetControlBounds(ControlRef c, Rect* bounds) {
  if (bounds == nullptr) return nullptr;
  *bounds = {0, 0, 0, 0};
  if (c && c->widget) {
    const QPoint tl = c->widget->mapTo(c->window->widget, QPoint(0, 0));
    *bounds = {SInt16(tl.y()), SInt16(tl.x()), SInt16(tl.y() + c->widget->height()), SInt16(tl.x() + c->widget->width())};
  }
  return bounds;
}

void HiliteControl(ControlRef c, ControlPartCode part) {
  if (c == nullptr || !c->widget) return;
  c->hilite = part;
  c->widget->setEnabled(part != kControlInactivePart && part != kControlDisabledPart);
  if (auto* b = qobject_cast<QAbstractButton*>(c->widget)) b->setDown(part > 0 && part < kControlDisabledPart);
  c->widget->update();
}

ControlPartCode GetControlHilite(ControlRef c) { return c ? c->hilite : 0; }

void Draw1Control(ControlRef c) {
  if (c == nullptr || !c->widget) return;
  DrawCustomControl(c);  // into the port now, whether or not the window is on screen yet
  c->widget->update();
}

WindowRef GetControlOwner(ControlRef c) { return c ? c->window : nullptr; }

void SetControlAction(ControlRef c, ControlActionUPP action) {
  if (c) c->action = action;
}

OSStatus RegisterToolboxObjectClass(CFStringRef classID, ToolboxObjectClassRef, UInt32 numEvents,
                                    const EventTypeSpec* events, EventHandlerUPP handler, void* userData,
                                    ToolboxObjectClassRef* outClass) {
  const std::string id = CFStringUTF8(classID);
  if (id.empty() || handler == nullptr || ClassNamed(id) != nullptr) return paramErr;
  lgClasses.push_back(std::make_unique<OpaqueToolboxObjectClassRef>(
      OpaqueToolboxObjectClassRef{id, handler, std::vector<EventTypeSpec>(events, events + numEvents), userData}));
  if (outClass) *outClass = lgClasses.back().get();
  return noErr;
}

OSStatus UnregisterToolboxObjectClass(ToolboxObjectClassRef classRef) {
  for (size_t k = 0; k < lgClasses.size(); ++k)
    if (lgClasses[k].get() == classRef) {
      // Controls of windows still open stop drawing through it.
      for (WindowRef w : lgWindows)
        for (auto& c : w->controls)
          if (c->controlClass == classRef) c->controlClass = nullptr;
      lgClasses.erase(lgClasses.begin() + long(k));
      return noErr;
    }
  return paramErr;
}

OSStatus TrackMouseLocation(GrafPtr port, Point* outPoint, MouseTrackingResult* outResult) {
  WindowRef window = WindowOfPort(port);
  if (window == nullptr) return paramErr;
  QEventLoop loop;
  window->trackLoop = &loop;
  window->trackResult = kMouseTrackingMouseUp;
  // A mouse that never comes back (the window closed under it) ends the tracking.
  QTimer::singleShot(60000, &loop, &QEventLoop::quit);
  loop.exec();
  window->trackLoop = nullptr;
  if (outPoint) *outPoint = window->trackPoint;
  if (outResult) *outResult = window->trackResult;
  return noErr;
}

void* WindowWidget(WindowRef window) { return window ? window->widget : nullptr; }
void* ControlWidget(ControlRef control) { return control ? control->widget.data() : nullptr; }
