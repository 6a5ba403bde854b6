#include "script/Hand.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QWidget>

#include "script/XTestInput.h"

namespace {

constexpr QEvent::Type kArrive = QEvent::User, kWake = QEvent::Type(QEvent::User + 1);

// ---- Qt's own events, posted to the widgets ----

class QtHand : public Hand {
 public:
  // Qt gives a clicked widget the keyboard only for the window system's
  // own clicks; a posted one is given it here, as a hand's click would.
  void Press(QWidget* w, QPoint at, Qt::KeyboardModifiers keys) override {
    if (w->focusPolicy() & Qt::ClickFocus) w->setFocus(Qt::MouseFocusReason);
    Post(w, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton, keys);
  }
  void Move(QWidget* w, QPoint at, Qt::KeyboardModifiers keys) override {
    Post(w, QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton, keys);
  }
  void Release(QWidget* w, QPoint at) override { Post(w, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton, {}); }
  void Hover(QWidget* w, QPoint at) override { Post(w, QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton, {}); }
  void Key(QWidget* w, int key, Qt::KeyboardModifiers keys) override { PostKey(w, key, keys, QString()); }
  void Type(QLineEdit* field, const QString& text) override {
    field->setFocus();
    PostKey(field, Qt::Key_A, Qt::ControlModifier, QString());
    PostKey(field, Qt::Key_Delete, Qt::NoModifier, QString());
    for (QChar c : text) PostKey(field, c.unicode() < 128 ? c.toUpper().unicode() : 0, Qt::NoModifier, QString(c));
  }
  bool Delivered() const override { return marker_.Arrived(); }
  void Wake() override { marker_.Wake(); }
  void OnArrival(std::function<void()> arrived) override { marker_.arrived = std::move(arrived); }

 private:
  void Post(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons,
            Qt::KeyboardModifiers keys) {
    QCoreApplication::postEvent(w, new QMouseEvent(type, QPointF(at), w->mapToGlobal(QPointF(at)), button, buttons, keys));
    marker_.Post();
  }
  void PostKey(QWidget* w, int key, Qt::KeyboardModifiers keys, const QString& text) {
    QCoreApplication::postEvent(w, new QKeyEvent(QEvent::KeyPress, key, keys, text));
    QCoreApplication::postEvent(w, new QKeyEvent(QEvent::KeyRelease, key, keys, text));
    marker_.Post();
  }
  Marker marker_;
};

// ---- The X server's pointer and keyboard, through XTest ----

// Counts the input events the window system hands to Qt's windows (each
// reaches its window once, before Qt passes it on to a widget), and posts
// a marker behind each.
class InputWatch : public QObject {
 public:
  int presses = 0, releases = 0, drags = 0, keyPresses = 0, keyReleases = 0;
  Marker marker;
  bool eventFilter(QObject* watched, QEvent* e) override {
    if (!watched->isWindowType() || !e->spontaneous()) return false;
    switch (e->type()) {
      case QEvent::MouseButtonPress: ++presses; break;
      case QEvent::MouseButtonRelease: ++releases; break;
      case QEvent::MouseMove:
        if (static_cast<QMouseEvent*>(e)->buttons() == Qt::NoButton) return false;  // hovering: not waited for
        ++drags;
        break;
      case QEvent::KeyPress: ++keyPresses; break;
      case QEvent::KeyRelease: ++keyReleases; break;
      default: return false;
    }
    marker.Post();
    return false;
  }
};

class X11Hand : public Hand {
 public:
  explicit X11Hand(std::unique_ptr<XTestInput> x) : x_(std::move(x)) { qApp->installEventFilter(&watch_); }
  ~X11Hand() override { qApp->removeEventFilter(&watch_); }
  void Press(QWidget* w, QPoint at, Qt::KeyboardModifiers keys) override {
    Hold(keys);
    PointerTo(w, at);
    x_->Button(true);
    buttonDown_ = true;
    ++want_.presses;
    x_->Sync();
  }
  void Move(QWidget* w, QPoint at, Qt::KeyboardModifiers keys) override {
    Hold(keys);
    PointerTo(w, at);
    x_->Sync();
  }
  void Release(QWidget* w, QPoint at) override {
    PointerTo(w, at);
    x_->Button(false);
    buttonDown_ = false;
    ++want_.releases;
    Hold(Qt::NoModifier);
    x_->Sync();
  }
  void Hover(QWidget* w, QPoint at) override {
    PointerTo(w, at);
    x_->Sync();
  }
  void Key(QWidget*, int key, Qt::KeyboardModifiers keys) override {
    const Qt::KeyboardModifiers before = held_;
    Hold(keys);
    if (key >= Qt::Key_A && key <= Qt::Key_Z) {
      TypeCharacter('a' + (key - Qt::Key_A));
    } else {
      const XTestInput::Key k = key == Qt::Key_Return ? XTestInput::Key::Return
                                : key == Qt::Key_Enter ? XTestInput::Key::Enter
                                : key == Qt::Key_Left  ? XTestInput::Key::Left
                                : key == Qt::Key_Right ? XTestInput::Key::Right
                                : key == Qt::Key_Delete ? XTestInput::Key::Delete
                                                        : XTestInput::Key::Escape;
      KeyStroke(k, true);
      KeyStroke(k, false);
    }
    Hold(before);
    x_->Sync();
  }
  void Type(QLineEdit* field, const QString& text) override {
    Click(field, field->rect().center());  // the field takes the keyboard
    Key(field, Qt::Key_A, Qt::ControlModifier);
    Key(field, Qt::Key_Delete, Qt::NoModifier);
    for (uint c : text.toUcs4()) TypeCharacter(c);
    x_->Sync();
  }
  bool Delivered() const override {
    return watch_.presses >= want_.presses && watch_.releases >= want_.releases && watch_.drags >= want_.drags &&
           watch_.keyPresses >= want_.keyPresses && watch_.keyReleases >= want_.keyReleases && watch_.marker.Arrived();
  }
  void Wake() override { watch_.marker.Wake(); }
  void OnArrival(std::function<void()> arrived) override { watch_.marker.arrived = std::move(arrived); }

 private:
  struct Counts {
    int presses = 0, releases = 0, drags = 0, keyPresses = 0, keyReleases = 0;
  };

  // The pointer goes to the screen point under `at`; a move to where it
  // already is makes no event, so it is not made.
  void PointerTo(QWidget* w, QPoint at) {
    const QPoint p = w->mapToGlobal(at) * w->devicePixelRatio();
    if (p == pointer_) return;
    x_->MovePointer(p.x(), p.y());
    pointer_ = p;
    if (buttonDown_) ++want_.drags;
  }

  void KeyStroke(XTestInput::Key key, bool down) {
    x_->Press(key, down);
    ++(down ? want_.keyPresses : want_.keyReleases);
  }

  void TypeCharacter(uint c) {
    const int keys = x_->Type(c);
    want_.keyPresses += keys;
    want_.keyReleases += keys;
  }

  // The modifier keys go down or up until exactly `keys` are held.
  void Hold(Qt::KeyboardModifiers keys) {
    static const std::pair<Qt::KeyboardModifier, XTestInput::Key> kModifiers[] = {
        {Qt::ShiftModifier, XTestInput::Key::Shift},
        {Qt::AltModifier, XTestInput::Key::Alt},
        {Qt::ControlModifier, XTestInput::Key::Control}};
    for (auto [modifier, key] : kModifiers)
      if ((held_ & modifier) != (keys & modifier)) KeyStroke(key, bool(keys & modifier));
    held_ = keys;
  }

  std::unique_ptr<XTestInput> x_;
  InputWatch watch_;
  Counts want_;
  Qt::KeyboardModifiers held_ = Qt::NoModifier;
  QPoint pointer_{-1, -1};
  bool buttonDown_ = false;
};

}  // namespace

void Marker::Post(int priority) {
  ++posted_;
  QCoreApplication::postEvent(this, new QEvent(kArrive), priority);
}

void Marker::Wake() { QCoreApplication::postEvent(this, new QEvent(kWake)); }

bool Marker::event(QEvent* e) {
  if (e->type() == kWake) return true;
  if (e->type() != kArrive) return QObject::event(e);
  ++delivered_;
  if (arrived) arrived();
  return true;
}

void Hand::Click(QWidget* w) { Click(w, w->rect().center()); }

std::unique_ptr<Hand> MakeHand(InputMode mode, std::string& error) {
  if (mode == InputMode::Qt) return std::make_unique<QtHand>();
  if (QGuiApplication::platformName() != "xcb") {
    error = "--input x11 needs an X display";
    return nullptr;
  }
  std::unique_ptr<XTestInput> x = XTestInput::Open(error);
  if (x == nullptr) {
    error = "--input x11: " + error;
    return nullptr;
  }
  return std::make_unique<X11Hand>(std::move(x));
}
