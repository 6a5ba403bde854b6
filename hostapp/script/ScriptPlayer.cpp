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
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QThread>
#include <QTimer>

#include <cctype>
#include <chrono>
#include <algorithm>
#include <cmath>
#include <deque>
#include <functional>
#include <vector>

#include "HostApplication.h"
#include "cg/CGContext.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kTickMilliseconds = 5;
constexpr int kDragSteps = 10;
// A combo box's list ignores a release this soon after it opened (the
// release of the click that opened it).
constexpr auto kPopupSettles = std::chrono::milliseconds(500);

// ---- The dialog as its interface files show it ----

// The windows of the three layouts, and the control IDs and commands the
// interface files (bundle/quor-m.nib) put on the dialog's widgets: the
// player knows the dialog by these names alone, as they are on the screen.
const char* const kDialogWindows[] = {"configNTSC", "configPAL", "configHD"};
constexpr const char* kPreview = "Clip";       // the clip preview
constexpr const char* kSlider = "Sldr";        // 1 border, 2 opacity, 3 turn
constexpr const char* kClipSlider = "ClpS";    // the frame shown
constexpr const char* kFormat = "Medi";        // NTSC, PAL, HD
constexpr const char* kRectangle = "Rect";     // start or end
constexpr const char* kProportions = "Prop";   // keep proportions
constexpr const char* kPictureBox = "Pict";
constexpr const char* kColourBox = "Colr";
constexpr const char* kBlend = "Blnd";
constexpr const char* kSmooth = "Smth";        // the smooth box
constexpr const char* kEasing = "Ease";        // linear, ease-in, ease-out, ease-in-out
constexpr const char* kSpin = "Spin";          // hundredths of a turn
constexpr const char* kBlur = "MBlr";          // percent of a frame's time
constexpr const char* kOK = "ok  ";
constexpr const char* kCancel = "not!";
constexpr const char* kAbout = "Info";
constexpr const char* kReset = "Rset";
constexpr const char* kWholeFrame = "Sall";
constexpr const char* kHelp = "Help";
constexpr const char* kNext = "Adva";
constexpr const char* kPrevious = "Revi";

// ---- Finding what is on the screen ----

QWidget* VisibleTopLevel(const QString& name) {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible() && w->objectName() == name) return w;
  return nullptr;
}

QWidget* DialogWindow() {
  for (const char* name : kDialogWindows)
    if (QWidget* w = VisibleTopLevel(name)) return w;
  return nullptr;
}

// The dialog's widget with control ID (signature, id).
QWidget* Control(const char* signature, int id) {
  QWidget* dialog = DialogWindow();
  if (dialog == nullptr) return nullptr;
  for (QWidget* w : dialog->findChildren<QWidget*>())
    if (w->property("controlSignature").toString() == QLatin1String(signature) && w->property("controlID").toInt() == id)
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

// True when the window is there and has the keyboard; one that is there
// but not active is asked to become so. Keys go to the window that has the
// keyboard: a file dialog whose field is typed into before it is active
// keeps the folders the typing passed through selected, and Open then
// opens a folder.
bool ActiveOrAsked(QWidget* w) {
  if (w == nullptr) return false;
  if (w->isActiveWindow()) return true;
  w->activateWindow();
  return false;
}

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

// The state a step is in, as its run answers it.
enum class StepState { kWaiting, kDone, kAgain };

struct Step {
  std::string what;                // for the message when the script's time runs out
  std::function<StepState()> run;  // called until it is done; may fail the script
  bool settling = false;           // done, and waiting for the screen to show it
};

}  // namespace

struct ScriptPlayer::Impl {
  Script script;
  PlayOptions options;
  std::unique_ptr<Hand> hand;
  size_t next = 0;
  int line = 0;
  std::deque<Step> steps;
  QTimer timer;
  Marker idle;  // posted after a step: arrives once the screen shows it
  std::string error;
  bool finished = false, aborting = false, inTick = false;
  int failuresSoFar = 0;
  int baseline = -1;  // the event loop depth of the dialog's own modal loop
  std::function<void()> watch;
  Clock::time_point deadline = Clock::time_point::max();

  // ---- playing ----

  void Tick() {
    if (finished || inTick || hand == nullptr) return;
    // A loop nested in the handling of a posted event (a drag's tracking, a
    // modal dialog) hands out the events posted before it only once
    // something new is posted: this is that something.
    hand->Wake();
    idle.Wake();
    inTick = true;
    Advance();
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
      if (steps.empty()) return;
    }
    if (Clock::now() > deadline) {
      char limit[32];
      std::snprintf(limit, sizeof limit, "%g", options.timeoutSeconds);
      return Fail("still waiting to " + steps.front().what + " when the script's " + limit +
                  " s ran out (--timeout)");
    }
    if (!steps.front().settling) {
      const int failures = failuresSoFar;
      // A step may fail the script, which replaces the steps: its function
      // must outlive its run.
      const std::function<StepState()> run = steps.front().run;
      const StepState state = run();
      if (failures != failuresSoFar || finished || state == StepState::kWaiting) return;
      steps.front().settling = true;
      if (state == StepState::kAgain) steps.insert(steps.begin() + 1, {steps.front().what, run});
      idle.Post(Qt::LowEventPriority - 1);
      return;
    }
    if (!idle.Arrived()) return;
    steps.pop_front();
    if (watch) watch();
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
          if (QAbstractButton* close = ButtonWithCommand(w, kCancel)) hand->Click(close);
          open = true;
        }
      }
      return !open;
    });
    Add("cancel the dialog", [this] {
      if (QAbstractButton* cancel = ButtonWithCommand(DialogWindow(), kCancel)) hand->Click(cancel);
      Finish();
      return true;
    });
    // When the script's time ran out, closing and cancelling get a minute of their own.
    if (Clock::now() > deadline) deadline = Clock::now() + std::chrono::seconds(60);
  }

  Clock::duration PlayTime() const {
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options.timeoutSeconds));
  }

  // A step that is done once `done` answers true.
  void Add(const std::string& what, std::function<bool()> done) {
    steps.push_back({what, [done] { return done() ? StepState::kDone : StepState::kWaiting; }});
  }

  // A step that acts once `act` answers true (it may wait before it acts,
  // by answering false), and is done once what it sent has been handled
  // and `done` holds.
  void Act(const std::string& what, std::function<bool()> act, std::function<bool()> done = nullptr) {
    auto acted = std::make_shared<bool>(false);
    steps.push_back({what, [this, act, done, acted] {
                       if (!*acted) {
                         if (!act()) return StepState::kWaiting;
                         *acted = true;
                       }
                       return hand->Delivered() && (!done || done()) ? StepState::kDone : StepState::kWaiting;
                     }});
  }

  // Whether a loop runs inside the dialog's own (a drag's tracking, a modal dialog).
  bool Nested() const { return baseline >= 0 && QThread::currentThread()->loopLevel() > baseline; }

  // The dialog is on the screen and has the keyboard.
  void WaitForDialog() {
    Add("see the dialog, active", [this] {
      if (!ActiveOrAsked(DialogWindow())) return false;
      if (baseline < 0) baseline = QThread::currentThread()->loopLevel();
      return true;
    });
  }

  // The widget, found by `find` on the dialog, is there and enabled; a
  // widget that is not there fails the script with `missing`.
  void Click(const std::string& what, std::function<QWidget*()> find, const std::string& missing) {
    Act("click " + what, [this, find, missing] {
      QWidget* w = find();
      if (w == nullptr) return Fail(missing), false;
      if (!w->isEnabled() || !w->isVisible()) return false;
      hand->Click(w);
      return true;
    });
  }

  void ClickCommand(const char* command, const std::string& what) {
    Click(what, [command] { return ButtonWithCommand(DialogWindow(), command); }, "the dialog has no " + what + " button");
  }

  void ClickControl(const char* sig, int id, const std::string& what) {
    Click(what, [sig, id] { return Control(sig, id); },
          "the dialog has no " + what + " (" + std::string(sig) + " " + std::to_string(id) + ")");
  }

  // Opens a pop-up menu with the mouse and clicks its item `index` (from 0).
  void PickItem(const char* sig, int index, const std::string& what) {
    ClickControl(sig, 1, what);
    auto opened = std::make_shared<Clock::time_point>();
    Add("see the list of " + what, [sig, opened] {
      auto* combo = qobject_cast<QComboBox*>(Control(sig, 1));
      if (combo == nullptr || !combo->view()->isVisible()) return false;
      *opened = Clock::now();
      return true;
    });
    Act("choose in " + what, [this, sig, index, opened] {
      auto* combo = qobject_cast<QComboBox*>(Control(sig, 1));
      if (combo == nullptr) return false;
      // A combo box's list ignores a release this soon after it opened (the
      // release of the click that opened it); a hand is never that quick.
      if (Clock::now() < *opened + kPopupSettles) return false;
      QWidget* list = combo->view()->viewport();
      const QPoint at = combo->view()->visualRect(combo->model()->index(index, 0)).center();
      hand->Hover(list, at);
      hand->Click(list, at);
      return true;
    }, [sig] {
      auto* combo = qobject_cast<QComboBox*>(Control(sig, 1));
      return combo == nullptr || !combo->view()->isVisible();
    });
  }

  // Waits for a modal window of the plug-in's (file dialog, colour picker,
  // about window) to be there and active.
  void WaitForWindow(const char* name, const std::string& what) {
    Add("see the window for " + what + ", active", [name] { return ActiveOrAsked(VisibleTopLevel(name)); });
  }

  // Waits for a modal window of the plug-in's, acts on it, and sees it close.
  void OnWindow(const char* name, const std::string& what, std::function<bool(QWidget*)> act) {
    WaitForWindow(name, what);
    Act(what, [name, act] {
      QWidget* w = VisibleTopLevel(name);
      return w != nullptr && act(w);
    });
    Add("see the window close after " + what, [name] { return VisibleTopLevel(name) == nullptr; });
  }

  // Presses the Cancel button of a modal window of the plug-in's.
  void CancelWindow(const char* name, const std::string& what) {
    OnWindow(name, what, [this](QWidget* w) {
      QAbstractButton* cancel = ButtonWithRole(w, QDialogButtonBox::RejectRole);
      if (cancel) hand->Click(cancel);
      return cancel != nullptr;
    });
  }

  // Types `text` into the window's field, waits until the field shows it
  // (and a completer's list is closed), then presses `button`.
  void TypeAndPress(const char* window, const std::string& what, std::function<QLineEdit*(QWidget*)> field,
                    QDialogButtonBox::ButtonRole button, const QString& text) {
    WaitForWindow(window, what);
    Act("type into the window for " + what, [this, window, field, text] {
      QWidget* w = VisibleTopLevel(window);
      QLineEdit* f = w ? field(w) : nullptr;
      if (f == nullptr) return false;
      hand->Type(f, text);
      return true;
    }, [window, field, text] {
      QWidget* w = VisibleTopLevel(window);
      QLineEdit* f = w ? field(w) : nullptr;
      return f != nullptr && f->text() == text;
    });
    // A person closes the list of completions that typing opened.
    Act("close the completions in the window for " + what, [this] {
      if (QWidget* popup = QApplication::activePopupWidget()) hand->Key(popup, Qt::Key_Escape);
      return true;
    }, [] { return QApplication::activePopupWidget() == nullptr; });
    Act(what, [this, window, button] {
      QAbstractButton* b = ButtonWithRole(VisibleTopLevel(window), button);
      if (b == nullptr || !b->isEnabled()) return false;
      hand->Click(b);
      return true;
    });
    Add("see the window close after " + what, [window] { return VisibleTopLevel(window) == nullptr; });
  }

  void Drag(const ScriptAction& a) {
    struct State {
      std::vector<double> f;  // fractions: x, y of each point
      Qt::KeyboardModifiers pressKeys, moveKeys;
      bool tracking = false;  // the press hit a rectangle, and a tracking loop follows the mouse
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
    // Point n of the mouse's path: the script's points, ten steps between each two.
    auto point = [st](QWidget* preview, size_t n) {
      const double w = preview->width(), h = preview->height();
      double x = st->f[0], y = st->f[1];
      if (n > 0) {
        const size_t leg = (n - 1) / kDragSteps, p = 2 * (leg + 1);
        const double t = double((n - 1) % kDragSteps + 1) / kDragSteps;
        x = st->f[p - 2] + (st->f[p] - st->f[p - 2]) * t;
        y = st->f[p - 1] + (st->f[p + 1] - st->f[p - 1]) * t;
      }
      return QPoint(int(std::floor(x * w)), int(std::floor(y * h)));
    };
    const size_t moves = (st->f.size() / 2 - 1) * kDragSteps;
    Act("press on the preview", [this, st, point] {
      QWidget* preview = Control(kPreview, 1);
      if (preview == nullptr) return Fail("the dialog has no preview (Clip 1)"), false;
      hand->Press(preview, point(preview, 0), st->pressKeys);
      return true;
    }, [this, st] {
      // A press that hit a rectangle is being tracked: the event was handled
      // as far as the drag's own loop, which runs inside the dialog's.
      st->tracking = Nested();
      return true;
    });
    // Each move goes to the tracking loop that waits for it, one at a time.
    // The step is done once the move was handled; the screen then shows
    // what it drew, and the loop waits for the next.
    for (size_t n = 1; n <= moves; ++n) {
      Act("move the mouse on the preview", [this, st, point, n] {
        QWidget* preview = Control(kPreview, 1);
        if (preview == nullptr || !st->tracking) return true;  // the press hit neither rectangle
        if (point(preview, n) == point(preview, n - 1)) return true;  // the mouse did not move
        if (!Nested()) return false;
        hand->Move(preview, point(preview, n), st->moveKeys);
        return true;
      });
    }
    Act("release the mouse on the preview", [this, st, point, moves] {
      QWidget* preview = Control(kPreview, 1);
      if (preview == nullptr) return false;
      hand->Release(preview, point(preview, moves));
      return true;
    }, [this] { return !Nested(); });
  }

  // Drags the slider's thumb a pixel at a time until the slider shows
  // `target`; a frame number the pixels skip is reached with the arrow keys.
  void DragSlider(const char* sig, int id, long target, bool keysForTheRest, const std::string& what) {
    struct State {
      QPoint at;
      long start = 0, beforeKey = 0;
      bool pressed = false, keys = false, keyPressed = false;  // keys: the mouse is done, the keys go on
    };
    auto st = std::make_shared<State>();
    auto slider = [sig, id] { return qobject_cast<QSlider*>(Control(sig, id)); };
    Act("press the thumb of the " + what + " slider", [this, slider, target, what, st] {
      QSlider* s = slider();
      if (s == nullptr) return Fail("the dialog has no " + what + " slider"), false;
      if (target < s->minimum() || target > s->maximum())
        return Fail(what + " goes from " + std::to_string(s->minimum()) + " to " + std::to_string(s->maximum())), false;
      if (!s->isEnabled()) return false;
      st->at = SliderHandle(s).center();
      st->start = s->value();
      st->pressed = s->value() != target;
      if (st->pressed) hand->Press(s, st->at, Qt::NoModifier);
      return true;
    }, [slider, st] {
      QSlider* s = slider();
      return s == nullptr || !st->pressed || s->isSliderDown();
    });
    const std::string shows = "see the " + what + " slider show " + std::to_string(target);
    steps.push_back({shows, [this, slider, target, keysForTheRest, what, st] {
                       QSlider* s = slider();
                       if (s == nullptr) return Fail("the dialog has no " + what + " slider"), StepState::kWaiting;
                       if (!st->pressed) return StepState::kDone;
                       if (!hand->Delivered()) return StepState::kWaiting;
                       const long v = s->value();
                       if (!st->keys) {
                         const bool past = (v - target) * (st->start - target) < 0;
                         if (v != target && !past && st->at.x() >= 0 && st->at.x() < s->width()) {
                           st->at.rx() += v < target ? 1 : -1;
                           hand->Move(s, st->at, Qt::NoModifier);
                         } else {
                           hand->Release(s, st->at);
                           st->keys = true;
                         }
                         return StepState::kAgain;
                       }
                       if (v == target) return StepState::kDone;
                       if (!keysForTheRest || (st->keyPressed && v == st->beforeKey))
                         return Fail(what + " cannot be brought to " + std::to_string(target) + " with the mouse"),
                                StepState::kWaiting;
                       if (!s->hasFocus()) return Fail("the " + what + " slider does not have the keyboard"), StepState::kWaiting;
                       st->beforeKey = v;
                       st->keyPressed = true;
                       hand->Key(s, v < target ? Qt::Key_Right : Qt::Key_Left);
                       return StepState::kAgain;
                     }});
  }

  // The screenshot: on a display what the screen shows in the dialog's
  // area, read back from the window system; offscreen the dialog drawn.
  static bool Screenshot(QWidget* dialog, const std::string& path) {
    QImage image;
    if (QGuiApplication::platformName() == "xcb") {
      const QRect area = dialog->frameGeometry();
      image = dialog->screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage();
    } else {
      image = dialog->grab().toImage();
    }
    return !image.isNull() && image.save(QString::fromStdString(path), "PNG");
  }

  // ok and cancel press their button; the keys return and escape are typed
  // into whatever has the keyboard in the dialog. Either ends the dialog's
  // loop, and the script with it.
  void EndDialog(const ScriptAction& a) {
    if (a.verb == "key") {
      const int key = a.words[0] == "return" ? Qt::Key_Return : Qt::Key_Escape;
      Add("press " + a.words[0], [this, key] {
        QWidget* dialog = DialogWindow();
        hand->Key(dialog->focusWidget() ? dialog->focusWidget() : dialog, key);
        Finish();
        return true;
      });
      return;
    }
    const char* command = a.verb == "ok" ? kOK : kCancel;
    const std::string what = a.verb == "ok" ? "OK" : "Cancel";
    Add("press " + what, [this, command, what] {
      QAbstractButton* b = ButtonWithCommand(DialogWindow(), command);
      if (b == nullptr) return Fail("the dialog has no " + what + " button"), false;
      hand->Click(b);
      Finish();
      return true;
    });
  }

  // The picture box, then the Open dialog: the file typed in and opened,
  // or (for an empty path) the dialog cancelled.
  void ChoosePicture(const std::string& path) {
    struct stat st;
    if (!path.empty() && (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))) return Fail(path + ": no such file");
    ClickControl(kPictureBox, 1, "picture box");
    if (path.empty()) return CancelWindow("NavGetFile", "cancel the Open dialog");
    TypeAndPress("NavGetFile", "open " + path, [](QWidget* d) { return d->findChild<QLineEdit*>("fileNameEdit"); },
                 QDialogButtonBox::AcceptRole, QString::fromStdString(path));
  }

  // The colour box, then the colour picker: the colour typed into its HTML
  // field and accepted, or (for an empty one) the picker cancelled.
  void ChooseColour(const std::string& hex) {
    ClickControl(kColourBox, 1, "colour box");
    if (hex.empty()) return CancelWindow("NPickColor", "cancel the colour picker");
    TypeAndPress("NPickColor", "choose " + hex, [](QWidget* picker) -> QLineEdit* {
      for (QLabel* l : picker->findChildren<QLabel*>())
        if (l->text().contains("HTML")) return qobject_cast<QLineEdit*>(l->buddy());
      return nullptr;
    }, QDialogButtonBox::AcceptRole, QString::fromStdString(hex));
  }

  // The format pop-up; another format opens the dialog again in its own layout.
  void ChooseMedia(const std::string& media) {
    const int index = media == "ntsc" ? 0 : media == "pal" ? 1 : 2;
    auto before = std::make_shared<QPointer<QWidget>>();
    auto changes = std::make_shared<bool>(false);
    Add("look at the format", [before, changes, index] {
      auto* combo = qobject_cast<QComboBox*>(Control(kFormat, 1));
      *before = DialogWindow();
      *changes = combo != nullptr && combo->currentIndex() != index;
      return true;
    });
    PickItem(kFormat, index, "the format pop-up");
    Add("see the dialog reopen in its new layout",
        [before, changes] { return !*changes || (before->isNull() && DialogWindow() != nullptr); });
  }

  void ChooseRectangle(const std::string& which) {
    const int k = which == "start" ? 0 : 1;
    Click("the " + which + " rectangle's button", [k]() -> QWidget* {
      QWidget* selector = Control(kRectangle, 1);
      const QList<QAbstractButton*> choices =
          selector ? selector->findChildren<QAbstractButton*>(Qt::FindDirectChildrenOnly) : QList<QAbstractButton*>();
      return choices.size() > k ? choices[k] : nullptr;
    }, "the dialog has no start and end selector (Rect 1)");
  }

  // A check box clicked when it is not as asked.
  void SetCheckBox(const char* sig, bool on, const std::string& what) {
    Act("set " + what, [this, sig, on, what] {
      auto* box = qobject_cast<QAbstractButton*>(Control(sig, 1));
      if (box == nullptr) return Fail("the dialog has no " + what + " box (" + sig + " 1)"), false;
      if (!box->isEnabled()) return false;
      if (box->isChecked() != on) hand->Click(box);
      return true;
    });
  }

  void About() {
    ClickCommand(kAbout, "About");
    OnWindow("about", "close the about window", [this](QWidget* about) {
      QAbstractButton* ok = ButtonWithCommand(about, kOK);
      if (ok) hand->Click(ok);
      return ok != nullptr;
    });
  }

  void TakeScreenshot(const std::string& path) {
    Add("take a screenshot", [this, path] {
      QWidget* dialog = DialogWindow();
      if (dialog == nullptr) return false;
      if (!Screenshot(dialog, path)) Fail("cannot write the screenshot " + path);
      return true;
    });
  }

  // The steps of one action, after the dialog is there and active.
  void Expand(const ScriptAction& a) {
    const std::vector<std::string>& w = a.words;
    WaitForDialog();
    // The buttons that only send their command.
    static const std::pair<const char*, std::pair<const char*, const char*>> kButtons[] = {
        {"whole-frame", {kWholeFrame, "Whole frame"}}, {"reset", {kReset, "Reset"}},
        {"help", {kHelp, "Help"}},                     {"next", {kNext, "next frame"}},
        {"previous", {kPrevious, "previous frame"}}};
    for (const auto& [verb, button] : kButtons)
      if (a.verb == verb) return ClickCommand(button.first, button.second);
    if (EndsTheDialog(a)) return EndDialog(a);
    if (a.verb == "picture") return ChoosePicture(w[0]);
    if (a.verb == "picture-cancel") return ChoosePicture("");
    if (a.verb == "colour") return ChooseColour(w[0][0] == '#' ? w[0] : "#" + w[0]);
    if (a.verb == "colour-cancel") return ChooseColour("");
    if (a.verb == "media") return ChooseMedia(w[0]);
    if (a.verb == "rect") return ChooseRectangle(w[0]);
    if (a.verb == "keep-proportions") return SetCheckBox(kProportions, w[0] == "on", "keep-proportions");
    if (a.verb == "smooth") return SetCheckBox(kSmooth, w[0] == "on", "smooth");
    if (a.verb == "easing") {
      static const char* const kEasings[] = {"linear", "ease-in", "ease-out", "ease-in-out"};
      const int index = int(std::find(std::begin(kEasings), std::end(kEasings), w[0]) - std::begin(kEasings));
      return PickItem(kEasing, index, "the easing pop-up");
    }
    if (a.verb == "about") return About();
    if (a.verb == "drag") return Drag(a);
    // Spin and blur: dragged, then the arrow keys for the rest, as their
    // thumbs move more than a step a pixel.
    if (a.verb == "slider" && w[0] == "spin")
      return DragSlider(kSpin, 1, std::lround(std::strtod(w[1].c_str(), nullptr) * 100), true, "spin");
    if (a.verb == "slider" && w[0] == "blur")
      return DragSlider(kBlur, 1, std::strtol(w[1].c_str(), nullptr, 10), true, "motion blur");
    if (a.verb == "slider") {
      const int n = w[0] == "border" ? 1 : w[0] == "opacity" ? 2 : 3;
      return DragSlider(kSlider, n, std::strtol(w[1].c_str(), nullptr, 10), false, w[0]);
    }
    if (a.verb == "frame") return DragSlider(kClipSlider, 1, std::strtol(w[0].c_str(), nullptr, 10), true, "clip");
    if (a.verb == "blend") {
      int index = 0;
      while (index < kCGBlendModeNameCount && w[0] != kCGBlendModeNames[index]) ++index;
      return PickItem(kBlend, index, "the blend pop-up");
    }
    if (a.verb == "screenshot") return TakeScreenshot(w[0]);
  }
};

ScriptPlayer::ScriptPlayer(const Script& script, PlayOptions options) : impl_(new Impl) {
  impl_->script = script;
  impl_->options = options;
  impl_->timer.setInterval(kTickMilliseconds);
  QObject::connect(&impl_->timer, &QTimer::timeout, [this] { impl_->Tick(); });
  impl_->idle.arrived = [this] { impl_->Tick(); };
}

ScriptPlayer::~ScriptPlayer() = default;

bool ScriptPlayer::Start() {
  EnsureHostApplication();  // the dialog's windows, and the player's timer, live in it
  impl_->hand = MakeHand(impl_->options.input, impl_->error);
  if (impl_->hand == nullptr) {
    impl_->finished = true;
    return false;
  }
  // What the hand sent has arrived: the player goes on at once.
  impl_->hand->OnArrival([this] { impl_->Tick(); });
  if (impl_->options.timeoutSeconds > 0) impl_->deadline = Clock::now() + impl_->PlayTime();
  impl_->timer.start();
  return true;
}
void ScriptPlayer::Watch(std::function<void()> watch) { impl_->watch = std::move(watch); }
bool ScriptPlayer::Finished() const { return impl_->finished; }
const std::string& ScriptPlayer::Error() const { return impl_->error; }
