#include "script/XTestInput.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

struct XTestInput::Impl {
  Display* display = nullptr;

  void KeyEvent(KeyCode code, bool down) { XTestFakeKeyEvent(display, code, down ? True : False, CurrentTime); }

  KeyCode SpareKeycode() const {
    int low = 0, high = 0, perCode = 0;
    XDisplayKeycodes(display, &low, &high);
    KeySym* map = XGetKeyboardMapping(display, KeyCode(low), high - low + 1, &perCode);
    KeyCode spare = 0;
    for (int code = high; code >= low && spare == 0; --code) {
      bool empty = true;
      for (int k = 0; k < perCode; ++k) empty = empty && map[(code - low) * perCode + k] == NoSymbol;
      if (empty) spare = KeyCode(code);
    }
    XFree(map);
    return spare;
  }
};

XTestInput::XTestInput(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

XTestInput::~XTestInput() {
  if (impl_->display != nullptr) XCloseDisplay(impl_->display);
}

std::unique_ptr<XTestInput> XTestInput::Open(std::string& error) {
  auto impl = std::make_unique<Impl>();
  impl->display = XOpenDisplay(nullptr);
  if (impl->display == nullptr) {
    error = "cannot open the X display " + std::string(XDisplayName(nullptr));
    return nullptr;
  }
  int event = 0, err = 0, major = 0, minor = 0;
  if (!XTestQueryExtension(impl->display, &event, &err, &major, &minor)) {
    XCloseDisplay(impl->display);
    error = "the X server has no XTest extension";
    return nullptr;
  }
  return std::unique_ptr<XTestInput>(new XTestInput(std::move(impl)));
}

void XTestInput::MovePointer(int x, int y) { XTestFakeMotionEvent(impl_->display, -1, x, y, CurrentTime); }

void XTestInput::Button(bool down) { XTestFakeButtonEvent(impl_->display, 1, down ? True : False, CurrentTime); }

void XTestInput::Press(Key key, bool down) {
  static const KeySym kSyms[] = {XK_Shift_L, XK_Alt_L, XK_Control_L, XK_Return, XK_KP_Enter,
                                 XK_Escape,  XK_Left,  XK_Right,     XK_Delete};
  impl_->KeyEvent(XKeysymToKeycode(impl_->display, kSyms[int(key)]), down);
}

int XTestInput::Type(std::uint32_t character) {
  // Latin-1 characters are their own keysyms; the rest are Unicode keysyms.
  const KeySym sym = character < 0x100 ? KeySym(character) : KeySym(0x01000000 | character);
  KeyCode code = XKeysymToKeycode(impl_->display, sym);
  KeyCode borrowed = 0;
  if (code == 0) {
    borrowed = impl_->SpareKeycode();
    if (borrowed == 0) return 0;
    KeySym both[2] = {sym, sym};
    XChangeKeyboardMapping(impl_->display, borrowed, 2, both, 1);
    XSync(impl_->display, False);
    code = borrowed;
  }
  const bool shifted = XkbKeycodeToKeysym(impl_->display, code, 0, 0) != sym &&
                       XkbKeycodeToKeysym(impl_->display, code, 0, 1) == sym;
  const KeyCode shift = XKeysymToKeycode(impl_->display, XK_Shift_L);
  if (shifted) impl_->KeyEvent(shift, true);
  impl_->KeyEvent(code, true);
  impl_->KeyEvent(code, false);
  if (shifted) impl_->KeyEvent(shift, false);
  if (borrowed != 0) {
    XSync(impl_->display, False);
    KeySym none[2] = {NoSymbol, NoSymbol};
    XChangeKeyboardMapping(impl_->display, borrowed, 2, none, 1);
  }
  return shifted ? 2 : 1;
}

void XTestInput::Sync() { XSync(impl_->display, False); }
