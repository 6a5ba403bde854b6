// A person's hand on the dialog: the pointer, its button and the keyboard.
// With Qt's input it posts Qt's own events to the widgets (offscreen, or on
// a display when asked); with the x11 input it works the X server's pointer
// and keyboard through the XTest extension, so that the events come back
// through the window system and Qt's own input handling, as a hand's do.
// Every action is sent at once; Delivered() tells when all that was sent
// has been handled, or has opened a loop of its own (a drag's tracking, a
// modal dialog).
#pragma once

#include <QObject>
#include <QPoint>
#include <QString>

#include <functional>

#include <memory>
#include <string>

class QLineEdit;
class QWidget;

enum class InputMode { Qt, X11 };

// Arrives after everything posted before it at its priority or above: who
// posted it can tell when those events have been handled (or have opened a
// loop of their own). Posted below the priority of Qt's repaints, it
// arrives once the screen shows what the events drew.
class Marker : public QObject {
 public:
  void Post(int priority = Qt::NormalEventPriority);
  bool Arrived() const { return delivered_ >= posted_; }
  // Called at each arrival.
  std::function<void()> arrived;
  void Wake();
  bool event(QEvent* e) override;

 private:
  int posted_ = 0, delivered_ = 0;
};

class Hand {
 public:
  virtual ~Hand() = default;
  // The button goes down at `at` in `w` with `keys` held (the pointer goes
  // there first), moves with it down, and comes up.
  virtual void Press(QWidget* w, QPoint at, Qt::KeyboardModifiers keys) = 0;
  virtual void Move(QWidget* w, QPoint at, Qt::KeyboardModifiers keys) = 0;
  virtual void Release(QWidget* w, QPoint at) = 0;
  // The pointer over `at` with the button up.
  virtual void Hover(QWidget* w, QPoint at) = 0;
  void Click(QWidget* w, QPoint at) {
    Press(w, at, Qt::NoModifier);
    Release(w, at);
  }
  void Click(QWidget* w);
  // A key pressed and released with `keys` held, into `w` (the widget that
  // has the keyboard, for the x11 input the window system decides).
  virtual void Key(QWidget* w, int key, Qt::KeyboardModifiers keys = Qt::NoModifier) = 0;
  // The field's text replaced, key by key.
  virtual void Type(QLineEdit* field, const QString& text) = 0;
  virtual bool Delivered() const = 0;
  // Called at every tick of the player: a loop nested in the handling of an
  // event hands out the events posted before it only once something new is
  // posted.
  virtual void Wake() = 0;
  // Called when what the hand sent arrives.
  virtual void OnArrival(std::function<void()> arrived) = 0;
};

// Nil with a one-line `error` when the x11 input cannot be had (no X
// display, no XTest extension).
std::unique_ptr<Hand> MakeHand(InputMode mode, std::string& error);
