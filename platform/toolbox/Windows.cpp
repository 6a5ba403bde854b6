// Windows made from interface files: the application they live in, their
// port shown behind their controls, the keys that press their default and
// cancel buttons, and the application-modal loop.
#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QLayout>
#include <QMessageBox>
#include <QPainter>
#include <QPaintEvent>
#include <QPushButton>
#include <QKeyEvent>
#include <QUiLoader>

#include <cstdlib>
#include <map>

#include "alerts/Alerts.h"
#include "qtstart/QtStart.h"
#include "toolbox/ToolboxPrivate.h"

namespace {

std::vector<WindowRef> lgWindows;
// Where the last window of each nib stood on the screen: a window that
// takes the place of another (the dialog in another layout) opens there.
std::map<std::string, QPoint> lgPlaces;

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

// Paints the window's port behind its controls.
class PortPainter : public QObject {
 public:
  explicit PortPainter(WindowRef window) : window_(window) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && watched == window_->widget) {
      QPainter painter(window_->widget);
      const Rect& b = GetPortBitMapForCopyBits(window_->port)->bounds;
      const QRect area = static_cast<QPaintEvent*>(event)->rect() & QRect(0, 0, b.right, b.bottom);
      if (!area.isEmpty()) painter.drawImage(area.topLeft(), toolbox::PortImage(window_->port, area));
    }
    return false;
  }

 private:
  WindowRef window_;
};

class NibLoader : public QUiLoader {
 public:
  QWidget* createWidget(const QString& className, QWidget* parent, const QString& name) override {
    QWidget* w = className == "QuorvelControl" ? toolbox::NewCustomControlWidget(parent)
                                               : QUiLoader::createWidget(className, parent, name);
    if (w) w->setObjectName(name);  // the loader leaves naming to the override
    return w;
  }
};

// Return and Enter press the window's default button, Escape its cancel
// button (and so does the window's close box): keys reach the window when
// the control that has the keyboard does not use them.
class ButtonKeys : public QObject {
 public:
  explicit ButtonKeys(QWidget* window) : QObject(window) {
    for (QPushButton* b : window->findChildren<QPushButton*>()) {
      if (b->isDefault()) defaultButton_ = b;
      if (b->property("cancel").toBool()) cancelButton_ = b;
    }
  }
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Close && cancelButton_ != nullptr) {
      event->ignore();  // the dialog ends through its own button
      Press(cancelButton_);
      return true;
    }
    if (event->type() != QEvent::KeyPress) return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    QPushButton* b = key == Qt::Key_Return || key == Qt::Key_Enter ? defaultButton_.data()
                     : key == Qt::Key_Escape                          ? cancelButton_.data()
                                                                      : nullptr;
    if (b == nullptr) return false;
    Press(b);
    return true;
  }

 private:
  static void Press(QPushButton* b) {
    if (b->isVisible() && b->isEnabled()) b->click();
  }
  QPointer<QPushButton> defaultButton_, cancelButton_;
};

}  // namespace

namespace toolbox {

// Alerts become message boxes only where the toolbox started Qt itself; a
// host that runs Qt keeps the presenter it chose.
void EnsureApplication() {
  if (QCoreApplication::instance() != nullptr) return;
  StartQt("quorvel");
  if (QtHasDisplay("quorvel")) SetAlertPresenter(ShowAlertBox);
}

std::vector<WindowRef>& Windows() { return lgWindows; }

void FlushWindows() {
  for (WindowRef w : lgWindows) {
    Rect r;
    QDTakeDirtyRect(w->port, &r);
    if (EmptyRect(&r)) continue;
    const QRect area(r.left, r.top, r.right - r.left, r.bottom - r.top);
    w->widget->update(area);
    // A custom control paints its part of the port opaquely, so Qt takes
    // it out of the window's own repaint: it is asked for its part itself.
    for (auto& c : w->controls) {
      QWidget* cw = c->widget;
      if (cw == nullptr || !IsCustomControlWidget(cw)) continue;
      const QPoint at = cw->mapTo(w->widget, QPoint(0, 0));
      const QRect mine = QRect(at, cw->size()) & area;
      if (!mine.isEmpty()) cw->update(mine.translated(-at));
    }
  }
}

WindowRef WindowOfPort(GrafPtr port) {
  for (WindowRef w : lgWindows)
    if (w->port == port) return w;
  return nullptr;
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

}  // namespace toolbox

bool ToolboxHasDisplay() {
  toolbox::EnsureApplication();
  return QtHasDisplay("quorvel");
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
  toolbox::EnsureApplication();
  QFile file(QString::fromStdString(nib->folder + "/" + CFStringUTF8(windowName) + ".ui"));
  if (!file.open(QFile::ReadOnly)) return kIBCarbonRuntimeCantFindObject;
  NibLoader loader;
  QWidget* widget = loader.load(&file);
  if (widget == nullptr) return kIBCarbonRuntimeCantFindObject;
  // A window laid out by its interface file takes its size now and keeps
  // it, so that its port and its controls' bounds hold from the start.
  if (QLayout* layout = widget->layout()) {
    widget->resize(widget->sizeHint());
    layout->activate();
    // Boxes laid out inside the window place their controls too, parents first.
    for (QWidget* child : widget->findChildren<QWidget*>())
      if (child->layout() != nullptr) child->layout()->activate();
    widget->setFixedSize(widget->size());
  }
  auto* window = new OpaqueWindowPtr;
  window->widget = widget;
  window->nibFolder = nib->folder;
  auto place = lgPlaces.find(nib->folder);
  if (place != lgPlaces.end()) widget->move(place->second);
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
  window->background = back;
  RGBBackColor(&back);
  EraseRect(&bounds);
  SetGWorld(savedPort, savedDevice);
  window->portPainter = new PortPainter(window);
  widget->installEventFilter(window->portPainter);
  widget->installEventFilter(new ButtonKeys(widget));
  lgWindows.push_back(window);
  toolbox::AdoptControls(window);
  for (auto& c : window->controls) {
    OpaqueEventRef event{};
    toolbox::SendToControlClass(c.get(), kEventControlOwningWindowChanged, event);
  }
  *outWindow = window;
  return noErr;
}

void ShowWindow(WindowRef window) {
  if (window == nullptr) return;
  window->widget->show();
  for (auto& c : window->controls) {
    OpaqueEventRef event{};
    toolbox::SendToControlClass(c.get(), kEventControlActivate, event);
    toolbox::DrawCustomControl(c.get());
  }
  toolbox::FlushWindows();
}

void HideWindow(WindowRef window) {
  if (window == nullptr) return;
  if (window->trackLoop) window->trackLoop->quit();  // no mouse comes back to a hidden window
  window->widget->hide();
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
  if (window->widget->isVisible()) lgPlaces[window->nibFolder] = window->widget->pos();
  if (window->trackLoop) window->trackLoop->quit();
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

void* WindowWidget(WindowRef window) { return window ? window->widget : nullptr; }
