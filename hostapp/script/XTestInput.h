// The X server's pointer and keyboard, worked through its XTest extension:
// what is sent arrives at the windows as a hand's input does. Xlib stays
// inside this file's implementation (its names clash with Qt's).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class XTestInput {
 public:
  // Nil with a one-line `error` when the display cannot be opened or has no XTest.
  static std::unique_ptr<XTestInput> Open(std::string& error);
  ~XTestInput();
  XTestInput(const XTestInput&) = delete;
  XTestInput& operator=(const XTestInput&) = delete;

  enum class Key { Shift, Alt, Control, Return, Enter, Escape, Left, Right, Delete };
  void MovePointer(int x, int y);
  void Button(bool down);  // the first button
  void Press(Key key, bool down);
  // The key events that type `character` (a Unicode code point), with shift
  // pressed around them where the key makes it on its shifted level. A
  // character that no key makes is given to a free key for the keystroke.
  // Answers how many key presses it sent (as many releases follow them).
  int Type(std::uint32_t character);
  // Waits until the server has handled everything sent.
  void Sync();

 private:
  struct Impl;
  explicit XTestInput(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};
