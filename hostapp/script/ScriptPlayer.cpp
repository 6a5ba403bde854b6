#include "script/ScriptPlayer.h"

#include <sys/stat.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QThread>
#include <QTimer>

#include <cctype>
#include <chrono>
#include <cmath>
#include <deque>
#include <functional>
#include <vector>

#include "HostApplication.h"
#include "dialog/DialogControls.h"
#include "toolbox/Toolbox.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kStepTimeout = std::chrono::seconds(30);
constexpr int kTickMilliseconds = 5;
constexpr int kDragSteps = 10;
// A combo box's list ignores a release this soon after it opened (the
// release of the click that opened it).
constexpr auto kPopupSettles = std::chrono::milliseconds(500);

// ---- Finding what is on the screen ----

QWidget* VisibleTopLevel(const QString& name) {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible() && w->objectName() == name) return w;
  return nullptr;
}

QWidget* DialogWindow() {
  for (const char* name : cMediaWindows)
    if (QWidget* w = VisibleTopLevel(name)) return w;
  return nullptr;
}

QString SignatureText(OSType sig) {
  const char text[5] = {char(sig >> 24), char(sig >> 16), char(sig >> 8), char(sig), 0};
  return QString::fromLatin1(text);
}

QWidget* Control(OSType sig, int id) {
  QWidget* dialog = DialogWindow();
  if (dialog == nullptr) return nullptr;
  for (QWidget* w : dialog->findChildren<QWidget*>())
    if (w->property("controlSignature").toString() == SignatureText(sig) && w->property("controlID").toInt() == id)
      return w;
  return nullptr;
}

QAbstractButton* ButtonWithCommand(QWidget* window, const char* command) {
  if (window == nullptr) return nullptr;
  for (QAbstractButton* b : window->findChildren<QAbstractButton*>())
    if (b->property("command").toString() == QString::fromLatin1(command)) return b;
  return nullptr;
}

QAbstractButton* ButtonWithRole(QWidget* dialog, QDialogButtonBox::ButtonRole role) {
  if (dialog == nullptr) return nullptr;
  for (QDialogButtonBox* box : dialog->findChildren<QDialogButtonBox*>())
    for (QAbstractButton* b : box->buttons())
      if (box->buttonRole(b) == role) return b;
  return nullptr;
}

int TrackingWaits(QWidget* window) { return window ? window->property(kTrackingMouseProperty).toInt() : 0; }

QRect SliderHandle(QSlider* s) {
  QStyleOptionSlider opt;
  opt.initFrom(s);
  opt.subControls = QStyle::SC_None;
  opt.activeSubControls = QStyle::SC_None;
  opt.orientation = s->orientation();
  opt.maximum = s->maximum();
  opt.minimum = s->minimum();
  opt.tickPosition = s->tickPosition();
  opt.tickInterval = s->tickInterval();
  opt.upsideDown = s->orientation() == Qt::Horizontal ? s->invertedAppearance() != (opt.direction == Qt::RightToLeft)
                                                      : !s->invertedAppearance();
  opt.direction = s->layoutDirection();
  opt.sliderPosition = s->sliderPosition();
  opt.sliderValue = s->value();
  opt.singleStep = s->singleStep();
  opt.pageStep = s->pageStep();
  if (s->orientation() == Qt::Horizontal) opt.state |= QStyle::State_Horizontal;
  return s->style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, s);
}

// ---- Sending what a hand does ----

QMouseEvent* MouseEvent(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons,
                        Qt::KeyboardModifiers modifiers) {
  return new QMouseEvent(type, QPointF(at), w->mapToGlobal(QPointF(at)), button, buttons, modifiers);
}

// Posted, so that a press that opens a dialog or follows the mouse runs from
// the event loop, not from inside the player.
void PostPress(QWidget* w, QPoint at, Qt::KeyboardModifiers m = Qt::NoModifier) {
  QCoreApplication::postEvent(w, MouseEvent(w, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton, m));
}
void PostRelease(QWidget* w, QPoint at, Qt::KeyboardModifiers m = Qt::NoModifier) {
  QCoreApplication::postEvent(w, MouseEvent(w, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton, m));
}
void PostClick(QWidget* w, QPoint at) {
  PostPress(w, at);
  PostRelease(w, at);
}
void PostClick(QWidget* w) { PostClick(w, w->rect().center()); }

void Send(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons,
          Qt::KeyboardModifiers m) {
  std::unique_ptr<QMouseEvent> e(MouseEvent(w, type, at, button, buttons, m));
  QCoreApplication::sendEvent(w, e.get());
}

void SendKey(QWidget* w, int key, Qt::KeyboardModifiers m = Qt::NoModifier, const QString& text = QString()) {
  QKeyEvent press(QEvent::KeyPress, key, m, text), release(QEvent::KeyRelease, key, m, text);
  QCoreApplication::sendEvent(w, &press);
  QCoreApplication::sendEvent(w, &release);
}

// Replaces the field's text, key by key.
void Type(QLineEdit* field, const QString& text) {
  field->setFocus();
  SendKey(field, Qt::Key_A, Qt::ControlModifier);
  SendKey(field, Qt::Key_Delete);
  for (QChar c : text) SendKey(field, c.unicode() < 128 ? c.toUpper().unicode() : 0, Qt::NoModifier, QString(c));
}

// Arrives after everything posted before it: the step that posted can tell
// when those events have been handled (or have opened a modal loop).
class Marker : public QObject {
 public:
  int posted = 0, delivered = 0;
  void Post() {
    ++posted;
    QCoreApplication::postEvent(this, new QEvent(QEvent::User));
  }
  bool Arrived() const { return delivered >= posted; }
  void Wake() { QCoreApplication::postEvent(this, new QEvent(QEvent::Type(QEvent::User + 1))); }
  bool event(QEvent* e) override {
    if (e->type() == QEvent::Type(QEvent::User + 1)) return true;
    if (e->type() != QEvent::User) return QObject::event(e);
    ++delivered;
    return true;
  }
};

struct Step {
  std::string what;             // for a timeout's message
  std::function<bool()> run;    // true when done; may fail the script
};

}  // namespace

struct ScriptPlayer::Impl {
  Script script;
  size_t next = 0;
  int line = 0;
  std::deque<Step> steps;
  QTimer timer;
  Marker marker;
  std::string error;
  bool finished = false, aborting = false, inTick = false;
  int failuresSoFar = 0;
  int baseline = -1;  // the event loop depth of the dialog's own modal loop
  std::function<void()> watch;
  Clock::time_point deadline;

  // ---- playing ----

  void Tick() {
    if (finished || inTick) return;
    // A loop nested in the handling of a posted event (a drag's tracking, a
    // modal dialog) hands out the events posted before it only once
    // something new is posted: this is that something.
    marker.Wake();
    inTick = true;
    Advance();
    if (watch) watch();
    inTick = false;
  }

  void Advance() {
    if (steps.empty()) {
      if (aborting || next >= script.actions.size()) return Finish();
      // A new action starts in the dialog's own loop: no modal dialog, drag
      // or combo box list of the last one is still open.
      if (baseline >= 0 && QThread::currentThread()->loopLevel() != baseline) return;
      const ScriptAction& a = script.actions[next++];
      line = a.line;
      Expand(a);
      deadline = Clock::now() + kStepTimeout;
    }
    if (Clock::now() > deadline) return Fail("nothing happened while waiting to " + steps.front().what);
    const int failures = failuresSoFar;
    // A step that failed the script has been replaced by the steps that cancel the dialog.
    if (steps.front().run() && failures == failuresSoFar) {
      steps.pop_front();
      deadline = Clock::now() + kStepTimeout;
    }
  }

  void Finish() {
    finished = true;
    timer.stop();
  }

  void Fail(const std::string& why) {
    ++failuresSoFar;
    if (aborting) return Finish();  // the dialog could not even be cancelled
    error = script.name + ":" + std::to_string(line) + ": " + why;
    steps.clear();
    aborting = true;
    // Whatever is open on top of the dialog is closed, then the dialog cancelled.
    Add("close what is open on the dialog", [this] {
      bool open = false;
      for (QWidget* w : QApplication::topLevelWidgets()) {
        if (!w->isVisible()) continue;
        if (auto* d = qobject_cast<QDialog*>(w)) {
          QMetaObject::invokeMethod(d, "reject", Qt::QueuedConnection);
          open = true;
        } else if (w->objectName() == "about") {
          if (QAbstractButton* close = ButtonWithCommand(w, cCmdCancel)) PostClick(close);
          open = true;
        }
      }
      return !open;
    });
    Add("cancel the dialog", [this] {
      if (QAbstractButton* cancel = ButtonWithCommand(DialogWindow(), cCmdCancel)) PostClick(cancel);
      Finish();
      return true;
    });
    deadline = Clock::now() + kStepTimeout;
  }

  void Add(const std::string& what, std::function<bool()> run) { steps.push_back({what, std::move(run)}); }

  // A step that posts events and is done once they have been handled.
  void AddPosting(const std::string& what, std::function<bool()> post) {
    auto sent = std::make_shared<bool>(false);
    Add(what, [this, post, sent] {
      if (!*sent) {
        if (!post()) return false;
        marker.Post();
        *sent = true;
      }
      return marker.Arrived();
    });
  }

  void WaitForDialog() {
    Add("see the dialog", [this] {
      if (DialogWindow() == nullptr) return false;
      if (baseline < 0) baseline = QThread::currentThread()->loopLevel();
      return true;
    });
  }

  void ClickCommand(const char* command, const std::string& what) {
    AddPosting("press " + what, [this, command, what] {
      QAbstractButton* b = ButtonWithCommand(DialogWindow(), command);
      if (b == nullptr) Fail("the dialog has no " + what + " button");
      else PostClick(b);
      return b != nullptr;
    });
  }

  // Clicks control (sig, id), found on the dialog.
  void ClickControl(OSType sig, int id, const std::string& what) {
    AddPosting("click " + what, [this, sig, id, what] {
      QWidget* w = Control(sig, id);
      if (w == nullptr) Fail("the dialog has no " + what + " (" + SignatureText(sig).toStdString() + " " + std::to_string(id) + ")");
      else PostClick(w);
      return w != nullptr;
    });
  }

  // Opens a pop-up menu with the mouse and clicks its item `index` (from 0).
  void PickItem(OSType sig, int index, const std::string& what) {
    ClickControl(sig, 1, what);
    auto opened = std::make_shared<Clock::time_point>();
    Add("see the list of " + what, [this, sig, opened] {
      auto* combo = qobject_cast<QComboBox*>(Control(sig, 1));
      if (combo == nullptr || !combo->view()->isVisible()) return false;
      *opened = Clock::now();
      return true;
    });
    AddPosting("choose in " + what, [this, sig, index, opened] {
      auto* combo = qobject_cast<QComboBox*>(Control(sig, 1));
      if (combo == nullptr) return false;
      if (Clock::now() < *opened + kPopupSettles) return false;
      QWidget* list = combo->view()->viewport();
      const QPoint at = combo->view()->visualRect(combo->model()->index(index, 0)).center();
      QCoreApplication::postEvent(list, MouseEvent(list, QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton, {}));
      PostClick(list, at);
      return true;
    });
  }

  // Waits for a modal window of the plug-in's (file dialog, colour picker,
  // about window), then acts on it.
  void OnWindow(const char* name, const std::string& what, std::function<bool(QWidget*)> act) {
    AddPosting(what, [name, act] {
      QWidget* w = VisibleTopLevel(name);
      if (w == nullptr) return false;
      // Keys go to the window that has the keyboard: a file dialog whose
      // field is typed into before it is active keeps the folders the
      // typing passed through selected, and Open then opens a folder.
      if (!w->isActiveWindow()) {
        w->activateWindow();
        return false;
      }
      return act(w);
    });
    Add("see the window close after " + what, [name] { return VisibleTopLevel(name) == nullptr; });
  }

  void Drag(const ScriptAction& a) {
    struct State {
      std::vector<double> f;  // fractions: x, y of each point
      std::vector<QPoint> path;
      Qt::KeyboardModifiers pressKeys, moveKeys;
      size_t sent = 0;
      int lastWait = 0;
    };
    auto st = std::make_shared<State>();
    size_t k = 0;
    for (; k < a.words.size() && std::isdigit(static_cast<unsigned char>(a.words[k].back())); ++k)
      st->f.push_back(std::strtod(a.words[k].c_str(), nullptr));
    for (; k < a.words.size(); ++k) {
      if (a.words[k] == "option") st->pressKeys |= Qt::AltModifier, st->moveKeys |= Qt::AltModifier;
      if (a.words[k] == "shift") st->pressKeys |= Qt::ShiftModifier, st->moveKeys |= Qt::ShiftModifier;
      if (a.words[k] == "shift-after-press") st->moveKeys |= Qt::ShiftModifier;
    }
    AddPosting("press on the preview", [this, st] {
      QWidget* preview = Control(cClipSig, 1);
      if (preview == nullptr) {
        Fail("the dialog has no preview (Clip 1)");
        return false;
      }
      const double w = preview->width(), h = preview->height();
      auto at = [&](double x, double y) { return QPoint(int(std::floor(x * w)), int(std::floor(y * h))); };
      st->path.push_back(at(st->f[0], st->f[1]));
      for (size_t p = 2; p + 1 < st->f.size(); p += 2)
        for (int step = 1; step <= kDragSteps; ++step) {
          const double t = double(step) / kDragSteps;
          st->path.push_back(at(st->f[p - 2] + (st->f[p] - st->f[p - 2]) * t, st->f[p - 1] + (st->f[p + 1] - st->f[p - 1]) * t));
        }
      PostPress(preview, st->path[0], st->pressKeys);
      return true;
    });
    // Each step goes to the tracking loop that waits for it, one at a time.
    Add("drag on the preview", [this, st] {
      QWidget* preview = Control(cClipSig, 1);
      QWidget* window = DialogWindow();
      if (preview == nullptr || window == nullptr) return false;
      const int wait = TrackingWaits(window);
      if (st->sent == 0 && wait == 0) return true;  // the press hit neither rectangle: nothing follows the mouse
      if (wait <= st->lastWait) return false;
      st->lastWait = wait;
      ++st->sent;
      if (st->sent < st->path.size())
        Send(preview, QEvent::MouseMove, st->path[st->sent], Qt::NoButton, Qt::LeftButton, st->moveKeys);
      else
        Send(preview, QEvent::MouseButtonRelease, st->path.back(), Qt::LeftButton, Qt::NoButton, st->moveKeys);
      return st->sent >= st->path.size();
    });
  }

  // Drags the slider's thumb a pixel at a time until the slider shows
  // `target`; a frame number the pixels skip is reached with the arrow keys.
  void DragSlider(OSType sig, int id, long target, bool keysForTheRest, const std::string& what) {
    struct State {
      bool pressed = false;
      QPoint at;
      long start = 0;
    };
    auto st = std::make_shared<State>();
    Add("drag " + what, [this, sig, id, target, keysForTheRest, what, st] {
      auto* s = qobject_cast<QSlider*>(Control(sig, id));
      if (s == nullptr) {
        Fail("the dialog has no " + what + " slider");
        return false;
      }
      if (target < s->minimum() || target > s->maximum()) {
        Fail(what + " goes from " + std::to_string(s->minimum()) + " to " + std::to_string(s->maximum()));
        return false;
      }
      if (!st->pressed) {
        if (s->value() == target) return true;
        st->at = SliderHandle(s).center();
        st->start = s->value();
        Send(s, QEvent::MouseButtonPress, st->at, Qt::LeftButton, Qt::LeftButton, {});
        st->pressed = true;
        return false;
      }
      const long before = s->value();
      if (before == target || (before - target) * (st->start - target) < 0 || st->at.x() < 0 || st->at.x() >= s->width()) {
        Send(s, QEvent::MouseButtonRelease, st->at, Qt::LeftButton, Qt::NoButton, {});
        for (long v = s->value(); keysForTheRest && v != target; v = s->value()) {
          SendKey(s, v < target ? Qt::Key_Right : Qt::Key_Left);
          if (s->value() == v) break;
        }
        if (s->value() != target) Fail(what + " cannot be brought to " + std::to_string(target) + " with the mouse");
        return true;
      }
      st->at.rx() += before < target ? 1 : -1;
      Send(s, QEvent::MouseMove, st->at, Qt::NoButton, Qt::LeftButton, {});
      return false;
    });
  }

  void Expand(const ScriptAction& a) {
    const std::vector<std::string>& w = a.words;
    WaitForDialog();
    if (a.verb == "ok" || a.verb == "cancel") {
      // The click ends the dialog's loop, and the script with it.
      const char* command = a.verb == "ok" ? cCmdOK : cCmdCancel;
      const std::string what = a.verb == "ok" ? "OK" : "Cancel";
      Add("press " + what, [this, command, what] {
        QAbstractButton* b = ButtonWithCommand(DialogWindow(), command);
        if (b == nullptr) return Fail("the dialog has no " + what + " button"), false;
        PostClick(b);
        Finish();
        return true;
      });
    } else if (a.verb == "key") {
      // Typed into whatever has the keyboard in the dialog; it ends the dialog too.
      const int key = w[0] == "return" ? Qt::Key_Return : Qt::Key_Escape;
      Add("press " + w[0], [this, key] {
        QWidget* dialog = DialogWindow();
        QWidget* focus = dialog->focusWidget() ? dialog->focusWidget() : dialog;
        QCoreApplication::postEvent(focus, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier));
        QCoreApplication::postEvent(focus, new QKeyEvent(QEvent::KeyRelease, key, Qt::NoModifier));
        Finish();
        return true;
      });
    } else if (a.verb == "picture" || a.verb == "picture-cancel") {
      const std::string path = a.verb == "picture" ? w[0] : "";
      struct stat st;
      if (!path.empty() && (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)))
        return Fail(path + ": no such file");
      ClickControl(cPictSig, 1, "picture box");
      OnWindow("NavGetFile", path.empty() ? "cancel the Open dialog" : "open " + path, [this, path](QWidget* d) {
        if (path.empty()) {
          QAbstractButton* cancel = ButtonWithRole(d, QDialogButtonBox::RejectRole);
          if (cancel) PostClick(cancel);
          return cancel != nullptr;
        }
        auto* field = d->findChild<QLineEdit*>("fileNameEdit");
        QAbstractButton* open = ButtonWithRole(d, QDialogButtonBox::AcceptRole);
        if (field == nullptr || open == nullptr) return false;
        Type(field, QString::fromStdString(path));
        if (!open->isEnabled()) return false;
        PostClick(open);
        return true;
      });
    } else if (a.verb == "media") {
      const int index = w[0] == "ntsc" ? 0 : w[0] == "pal" ? 1 : 2;
      auto before = std::make_shared<QPointer<QWidget>>();
      auto changes = std::make_shared<bool>(false);
      Add("look at the format", [before, changes, index] {
        auto* combo = qobject_cast<QComboBox*>(Control(cMediaSig, 1));
        *before = DialogWindow();
        *changes = combo != nullptr && combo->currentIndex() != index;
        return true;
      });
      PickItem(cMediaSig, index, "the format pop-up");
      // Another format opens the dialog again in its own layout.
      Add("see the dialog in its new layout", [before, changes] { return !*changes || before->isNull(); });
    } else if (a.verb == "rect") {
      AddPosting("choose the " + w[0] + " rectangle", [this, w] {
        QWidget* selector = Control(cRectSig, 1);
        const QList<QAbstractButton*> choices =
            selector ? selector->findChildren<QAbstractButton*>(Qt::FindDirectChildrenOnly) : QList<QAbstractButton*>();
        const int k = w[0] == "start" ? 0 : 1;
        if (choices.size() <= k) {
          Fail("the dialog has no start and end selector (Rect 1)");
          return false;
        }
        PostClick(choices[k]);
        return true;
      });
    } else if (a.verb == "keep-proportions") {
      const bool on = w[0] == "on";
      AddPosting("set keep-proportions", [this, on] {
        auto* box = qobject_cast<QAbstractButton*>(Control(cPropSig, 1));
        if (box == nullptr) {
          Fail("the dialog has no keep-proportions box (Prop 1)");
          return false;
        }
        if (box->isChecked() != on) PostClick(box);
        return true;
      });
    } else if (a.verb == "whole-frame") {
      ClickCommand(cCmdWholeFrame, "Whole frame");
    } else if (a.verb == "reset") {
      ClickCommand(cCmdReset, "Reset");
    } else if (a.verb == "help") {
      ClickCommand(cCmdHelp, "Help");
    } else if (a.verb == "next") {
      ClickCommand(cCmdNext, "next frame");
    } else if (a.verb == "previous") {
      ClickCommand(cCmdPrevious, "previous frame");
    } else if (a.verb == "about") {
      ClickCommand(cCmdAbout, "About");
      OnWindow("about", "close the about window", [](QWidget* about) {
        QAbstractButton* ok = ButtonWithCommand(about, cCmdOK);
        if (ok) PostClick(ok);
        return ok != nullptr;
      });
    } else if (a.verb == "drag") {
      Drag(a);
    } else if (a.verb == "slider") {
      const int n = w[0] == "border" ? 1 : w[0] == "opacity" ? 2 : 3;
      DragSlider(cSliderSig, n, std::strtol(w[1].c_str(), nullptr, 10), false, w[0]);
    } else if (a.verb == "frame") {
      DragSlider(cClipSliderSig, 1, std::strtol(w[0].c_str(), nullptr, 10), true, "clip");
    } else if (a.verb == "colour" || a.verb == "colour-cancel") {
      const std::string hex = a.verb == "colour" ? (w[0][0] == '#' ? w[0] : "#" + w[0]) : "";
      ClickControl(cColorSig, 1, "colour box");
      OnWindow("NPickColor", hex.empty() ? "cancel the colour picker" : "choose " + hex, [hex](QWidget* picker) {
        if (hex.empty()) {
          QAbstractButton* cancel = ButtonWithRole(picker, QDialogButtonBox::RejectRole);
          if (cancel) PostClick(cancel);
          return cancel != nullptr;
        }
        QLineEdit* field = nullptr;
        for (QLabel* l : picker->findChildren<QLabel*>())
          if (l->text().contains("HTML")) field = qobject_cast<QLineEdit*>(l->buddy());
        QAbstractButton* ok = ButtonWithRole(picker, QDialogButtonBox::AcceptRole);
        if (field == nullptr || ok == nullptr) return false;
        Type(field, QString::fromStdString(hex));
        PostClick(ok);
        return true;
      });
    } else if (a.verb == "blend") {
      int index = 0;
      while (index < cBlendModeCount && w[0] != cBlendModeNames[index]) ++index;
      PickItem(cBlendSig, index, "the blend pop-up");
    } else if (a.verb == "screenshot") {
      const std::string path = w[0];
      Add("take a screenshot", [this, path] {
        QWidget* dialog = DialogWindow();
        if (dialog == nullptr) return false;
        if (!dialog->grab().save(QString::fromStdString(path), "PNG")) Fail("cannot write the screenshot " + path);
        return true;
      });
    }
  }
};

ScriptPlayer::ScriptPlayer(const Script& script) : impl_(new Impl) {
  impl_->script = script;
  impl_->timer.setInterval(kTickMilliseconds);
  QObject::connect(&impl_->timer, &QTimer::timeout, [this] { impl_->Tick(); });
}

ScriptPlayer::~ScriptPlayer() = default;

void ScriptPlayer::Start() {
  EnsureHostApplication();  // the dialog's windows, and the player's timer, live in it
  impl_->timer.start();
}
void ScriptPlayer::Watch(std::function<void()> watch) { impl_->watch = std::move(watch); }
bool ScriptPlayer::Finished() const { return impl_->finished; }
const std::string& ScriptPlayer::Error() const { return impl_->error; }
