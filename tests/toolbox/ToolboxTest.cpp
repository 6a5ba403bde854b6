// The toolkit as a person uses it: real widgets offscreen, driven by
// synthesized mouse events; a test window with a custom control class, a
// slider, buttons, a pop-up and a check box.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QMouseEvent>
#include <QSlider>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <string>
#include <vector>

#include "../render/RenderSupport.h"
#include "TestSupport.h"
#include "common/commonprocs.h"
#include "dialog/carbonmacros.h"
#include "dialog/nibwindows.h"
#include "text/PascalString.h"
#include "toolbox/Toolbox.h"

namespace {

const char kTestBundleID[] = "net.quorvel.toolbox-test";

// What the custom control class saw.
struct ClassLog {
  std::vector<EventKind> events;
  std::vector<Point> dragged;
  ControlPartCode hitPart = 0;
  UInt32 trackModifiers = 0;
};
ClassLog lgLog;

// A box that paints itself red and follows a drag: the whole box is part 1.
OSStatus BoxHandler(EventHandlerCallRef, EventRef event, void*) {
  ControlRef control = nullptr;
  GetEventParameter(event, kEventParamDirectObject, typeControlRef, nullptr, sizeof control, nullptr, &control);
  lgLog.events.push_back(GetEventKind(event));
  switch (GetEventKind(event)) {
    case kEventControlDraw: {
      Rect box;
      GetControlBounds(control, &box);
      const RGBColor red = {65535, 0, 0};
      RGBForeColor(&red);
      PaintRect(&box);
      return noErr;
    }
    case kEventControlHitTest: {
      const ControlPartCode part = 1;
      SetEventParameter(event, kEventParamControlPart, typeControlPartCode, sizeof part, &part);
      return noErr;
    }
    case kEventControlTrack: {
      GetEventParameter(event, kEventParamKeyModifiers, typeUInt32, nullptr, sizeof(UInt32), nullptr,
                        &lgLog.trackModifiers);
      Point pt;
      MouseTrackingResult result = kMouseTrackingMouseDragged;
      while (result != kMouseTrackingMouseUp) {
        TrackMouseLocation(GetWindowPort(GetControlOwner(control)), &pt, &result);
        lgLog.dragged.push_back(pt);
      }
      return noErr;
    }
    case kEventControlHit:
      GetEventParameter(event, kEventParamControlPart, typeControlPartCode, nullptr, sizeof(ControlPartCode), nullptr,
                        &lgLog.hitPart);
      return noErr;
    default:
      return eventNotHandledErr;
  }
}

const EventTypeSpec kBoxEvents[] = {{kEventClassControl, kEventControlDraw},     {kEventClassControl, kEventControlHitTest},
                                    {kEventClassControl, kEventControlTrack},    {kEventClassControl, kEventControlHit},
                                    {kEventClassControl, kEventControlActivate}, {kEventClassControl, kEventControlOwningWindowChanged}};

// Commands as the window's handlers saw them.
std::vector<std::string> lgCommands, lgFallThrough;
OSStatus OlderHandler(EventHandlerCallRef, EventRef event, void*) {
  HICommand c;
  GetEventParameter(event, kEventParamDirectObject, typeHICommand, nullptr, sizeof c, nullptr, &c);
  Str255 t;
  CommandID2Str(c.commandID, t);
  lgFallThrough.push_back(PascalBytes(t));
  return noErr;
}
OSStatus NewerHandler(EventHandlerCallRef, EventRef event, void* window) {
  HICommand c;
  GetEventParameter(event, kEventParamDirectObject, typeHICommand, nullptr, sizeof c, nullptr, &c);
  Str255 t;
  CommandID2Str(c.commandID, t);
  const std::string name = PascalBytes(t);
  lgCommands.push_back(name);
  if (name == "ok  ") {
    QuitAppModalLoopForWindow(static_cast<WindowRef>(window));
    return noErr;
  }
  return name == "Help" ? OSStatus(eventNotHandledErr) : OSStatus(noErr);
}

int lgActions = 0;
void SliderAction(ControlRef, ControlPartCode) { ++lgActions; }


class Toolbox : public ::testing::Test {
 protected:
  void SetUp() override {
    SetOwnBundlePath(QUORVEL_TOOLBOX_TEST_BUNDLE);
    lgLog = ClassLog();
    lgCommands.clear();
    lgFallThrough.clear();
    CFStringRef id = CFStringCreateWithCString(nullptr, "net.quorvel.test.box", kCFStringEncodingUTF8);
    ASSERT_EQ(RegisterToolboxObjectClass(id, nullptr, 6, kBoxEvents, BoxHandler, nullptr, &boxClass), noErr);
    CFRelease(id);
    window = OpenNibWindowFromCFBundle(kTestBundleID, "test", "window");
    ASSERT_NE(window, nullptr);
    const EventTypeSpec commands = {kEventClassCommand, kEventCommandProcess};
    InstallWindowEventHandler(window, OlderHandler, 1, &commands, window, nullptr);
    InstallWindowEventHandler(window, NewerHandler, 1, &commands, window, nullptr);
    ShowWindow(window);
  }
  void TearDown() override {
    DisposeWindow(window);
    UnregisterToolboxObjectClass(boxClass);
    SetOwnBundlePath("");
  }
  QWidget* Widget(OSType sig, SInt16 id) {
    return static_cast<QWidget*>(ControlWidget(SimpleGetControlByID(window, sig, id)));
  }
  WindowRef window = nullptr;
  ToolboxObjectClassRef boxClass = nullptr;
};

TEST_F(Toolbox, FindsControlsByIDAndReadsAndSetsThem) {
  EXPECT_EQ(SimpleGetControlByID(window, FOUR_CHAR_CODE("Nope"), 1), nullptr);
  EXPECT_EQ(SimpleGetControlValueByID(window, FOUR_CHAR_CODE("Nope"), 1), 0);
  SimpleSetControlValueByID(window, FOUR_CHAR_CODE("Nope"), 1, 5);  // nothing happens
  // The number is widened with its sign: -1 finds the control whose ID is -1.
  ControlRef keep = SimpleGetControlByID(window, FOUR_CHAR_CODE("Keep"), -1);
  ASSERT_NE(keep, nullptr);
  SimpleSetControlValueByID(window, FOUR_CHAR_CODE("Keep"), -1, 1);
  EXPECT_EQ(SimpleGetControlValueByID(window, FOUR_CHAR_CODE("Keep"), -1), 1);

  ControlRef slider = SimpleGetControlByID(window, FOUR_CHAR_CODE("Sldr"), 1);
  EXPECT_EQ(GetControl32BitMaximum(slider), 100);
  SetControl32BitMaximum(slider, 200);
  SimpleSetControlValueByID(window, FOUR_CHAR_CODE("Sldr"), 1, 150);
  EXPECT_EQ(GetControl32BitValue(slider), 150);
  EXPECT_EQ(SimpleGetControlValueByID(window, FOUR_CHAR_CODE("Blnd"), 1), 1);  // pop-ups count items from 1
  SimpleSetControlValueByID(window, FOUR_CHAR_CODE("Blnd"), 1, 3);
  EXPECT_EQ(static_cast<QComboBox*>(Widget(FOUR_CHAR_CODE("Blnd"), 1))->currentText().toStdString(), "Screen");
  EXPECT_EQ(GetControl32BitMaximum(SimpleGetControlByID(window, FOUR_CHAR_CODE("Blnd"), 1)), 3);

  SimpleSetControlText(window, FOUR_CHAR_CODE("Text"), 1, PStr("Caf\x8E"));
  EXPECT_EQ(GetControlTextUTF8(SimpleGetControlByID(window, FOUR_CHAR_CODE("Text"), 1)), "Caf\u00E9");
  SimpleSetControlText(window, FOUR_CHAR_CODE("Text"), 1, PStr(""));
  EXPECT_EQ(GetControlTextUTF8(SimpleGetControlByID(window, FOUR_CHAR_CODE("Text"), 1)), "");

  SimpleHideControl(window, FOUR_CHAR_CODE("Text"), 1);
  EXPECT_FALSE(IsControlVisible(SimpleGetControlByID(window, FOUR_CHAR_CODE("Text"), 1)));
  SimpleShowControl(window, FOUR_CHAR_CODE("Text"), 1);
  EXPECT_TRUE(IsControlVisible(SimpleGetControlByID(window, FOUR_CHAR_CODE("Text"), 1)));

  const Rect box = GetControlBox(SimpleGetControlByID(window, FOUR_CHAR_CODE("Cust"), 1));
  EXPECT_EQ(box.left, 20);
  EXPECT_EQ(box.top, 20);
  EXPECT_EQ(box.right, 180);
  EXPECT_EQ(box.bottom, 140);

  ControlRef ok = SimpleGetControlByID(window, FOUR_CHAR_CODE("OKbt"), 1);
  HiliteControl(ok, kControlInactivePart);
  EXPECT_FALSE(static_cast<QWidget*>(ControlWidget(ok))->isEnabled());
  EXPECT_EQ(GetControlHilite(ok), 255);
  HiliteControl(ok, 0);
  EXPECT_TRUE(static_cast<QWidget*>(ControlWidget(ok))->isEnabled());
}

TEST_F(Toolbox, CommandsReachTheHandlersAndUnhandledOnesFallThrough) {
  static_cast<QAbstractButton*>(Widget(FOUR_CHAR_CODE("Keep"), -1))->click();
  QWidget* help = static_cast<QWidget*>(WindowWidget(window))->findChild<QWidget*>("help");
  static_cast<QAbstractButton*>(help)->click();
  EXPECT_EQ(lgCommands, (std::vector<std::string>{"keep", "Help"}));
  // The newer handler passed "Help" on; the older one took it.
  EXPECT_EQ(lgFallThrough, std::vector<std::string>{"Help"});
}

TEST_F(Toolbox, AModalLoopRunsUntilItsWindowEndsIt) {
  QAbstractButton* ok = static_cast<QAbstractButton*>(Widget(FOUR_CHAR_CODE("OKbt"), 1));
  QTimer::singleShot(20, ok, [ok] { ok->click(); });
  EXPECT_EQ(RunAppModalLoopForWindow(window), noErr);
  EXPECT_EQ(lgCommands, std::vector<std::string>{"ok  "});
}

TEST_F(Toolbox, CustomControlsDrawIntoThePortAndFollowADrag) {
  QWidget* box = Widget(FOUR_CHAR_CODE("Cust"), 1);
  ASSERT_NE(box, nullptr);
  Draw1Control(SimpleGetControlByID(window, FOUR_CHAR_CODE("Cust"), 1));
  const Pixel inside = PixelAt(GetWindowPort(window), 50, 50);
  EXPECT_EQ(inside, (Pixel{255, 255, 0, 0}));
  EXPECT_NE(PixelAt(GetWindowPort(window), 10, 10), (Pixel{255, 255, 0, 0}));

  // Press, three steps of a drag with the shift key, release: each step sent
  // from the tracking loop that waits for it.
  struct Step {
    QEvent::Type type;
    QPoint at;
    Qt::MouseButtons buttons;
  };
  std::vector<Step> steps = {{QEvent::MouseMove, {20, 15}, Qt::LeftButton},
                             {QEvent::MouseMove, {30, 20}, Qt::LeftButton},
                             {QEvent::MouseMove, {40, 25}, Qt::LeftButton},
                             {QEvent::MouseButtonRelease, {45, 30}, Qt::NoButton}};
  size_t next = 0;
  QTimer driver;
  QObject::connect(&driver, &QTimer::timeout, [&] {
    const bool tracking =
        std::find(lgLog.events.begin(), lgLog.events.end(), kEventControlTrack) != lgLog.events.end();
    if (!tracking || next >= steps.size()) return;
    const Step& s = steps[next++];
    QMouseEvent e(s.type, QPointF(s.at), box->mapToGlobal(QPointF(s.at)), Qt::LeftButton, s.buttons, Qt::ShiftModifier);
    QCoreApplication::sendEvent(box, &e);
  });
  driver.start(5);
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(10, 10), box->mapToGlobal(QPointF(10, 10)), Qt::LeftButton,
                    Qt::LeftButton, Qt::ShiftModifier);
  QCoreApplication::sendEvent(box, &press);  // returns when the drag is over
  ASSERT_EQ(lgLog.dragged.size(), 4u);
  // Window coordinates: the box sits at (20, 20).
  EXPECT_EQ(lgLog.dragged[0].h, 40);
  EXPECT_EQ(lgLog.dragged[0].v, 35);
  EXPECT_EQ(lgLog.dragged[2].h, 60);
  EXPECT_EQ(lgLog.dragged[3].h, 65);
  EXPECT_NE(lgLog.trackModifiers & shiftKey, 0u);
  EXPECT_EQ(lgLog.hitPart, 1);
  EXPECT_EQ(lgCommands, std::vector<std::string>{"boxx"});
  // It was told of its window and of being shown.
  EXPECT_EQ(lgLog.events.front(), kEventControlOwningWindowChanged);
}

TEST_F(Toolbox, AClassUnregisteredAndRegisteredAgainServesNewWindows) {
  UnregisterToolboxObjectClass(boxClass);
  boxClass = nullptr;
  lgLog = ClassLog();
  WindowRef plain = OpenNibWindowFromCFBundle(kTestBundleID, "test", "window");
  ShowWindow(plain);
  Draw1Control(SimpleGetControlByID(plain, FOUR_CHAR_CODE("Cust"), 1));
  EXPECT_TRUE(lgLog.events.empty());
  DisposeWindow(plain);

  CFStringRef id = CFStringCreateWithCString(nullptr, "net.quorvel.test.box", kCFStringEncodingUTF8);
  ASSERT_EQ(RegisterToolboxObjectClass(id, nullptr, 6, kBoxEvents, BoxHandler, nullptr, &boxClass), noErr);
  CFRelease(id);
  WindowRef served = OpenNibWindowFromCFBundle(kTestBundleID, "test", "window");
  Draw1Control(SimpleGetControlByID(served, FOUR_CHAR_CODE("Cust"), 1));
  EXPECT_FALSE(lgLog.events.empty());
  DisposeWindow(served);
}

TEST_F(Toolbox, SlidersCallTheirActionWhileTheThumbIsDragged) {
  ControlRef slider = SimpleGetControlByID(window, FOUR_CHAR_CODE("Sldr"), 1);
  SetControlAction(slider, SliderAction);
  lgActions = 0;
  QWidget* w = static_cast<QWidget*>(ControlWidget(slider));
  // The thumb sits at the left end at value 0.
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(4, 12), w->mapToGlobal(QPointF(4, 12)), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(w, &press);
  for (int x = 30; x <= 150; x += 40) {
    QMouseEvent move(QEvent::MouseMove, QPointF(x, 12), w->mapToGlobal(QPointF(x, 12)), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(w, &move);
  }
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(150, 12), w->mapToGlobal(QPointF(150, 12)), Qt::LeftButton,
                      Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(w, &release);
  EXPECT_GE(lgActions, 3);
  EXPECT_GT(GetControl32BitValue(slider), 50);
  EXPECT_EQ(lgCommands, std::vector<std::string>{"sldr"});
}

// The test window as it looks, kept as an artefact of the test run.
TEST_F(Toolbox, TestWindowScreenshot) {
  Draw1Control(SimpleGetControlByID(window, FOUR_CHAR_CODE("Cust"), 1));
  SimpleSetControlText(window, FOUR_CHAR_CODE("Text"), 1, PStr("A custom control drawn through QuickDraw, in red"));
  SimpleSetControlValueByID(window, FOUR_CHAR_CODE("Sldr"), 1, 40);
  QWidget* w = static_cast<QWidget*>(WindowWidget(window));
  QCoreApplication::processEvents();
  const QString path = QString(QUORVEL_ARTEFACTS_DIR) + "/test-window.png";
  ASSERT_TRUE(w->grab().save(path, "PNG"));
  QImage shot(path);
  ASSERT_FALSE(shot.isNull());
  // The custom control shows the port's red where it drew.
  EXPECT_EQ(shot.pixelColor(100, 80), QColor(255, 0, 0));
}

TEST(ToolboxNibs, MissingNibsAndWindowsAreReported) {
  // Qt's threads are running: the child of a death test starts afresh.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  SetOwnBundlePath(QUORVEL_TOOLBOX_TEST_BUNDLE);
  CFStringRef id = CFStringCreateWithCString(nullptr, kTestBundleID, kCFStringEncodingUTF8);
  CFBundleRef bundle = CFBundleGetBundleWithIdentifier(id);
  ASSERT_NE(bundle, nullptr);
  IBNibRef nib = nullptr;
  CFStringRef missing = CFStringCreateWithCString(nullptr, "missing", kCFStringEncodingUTF8);
  EXPECT_EQ(CreateNibReferenceWithCFBundle(bundle, missing, &nib), kIBCarbonRuntimeCantFindNibFile);
  CFStringRef test = CFStringCreateWithCString(nullptr, "test", kCFStringEncodingUTF8);
  ASSERT_EQ(CreateNibReferenceWithCFBundle(bundle, test, &nib), noErr);
  WindowRef w = nullptr;
  EXPECT_EQ(CreateWindowFromNib(nib, missing, &w), kIBCarbonRuntimeCantFindObject);
  EXPECT_EQ(w, nullptr);
  DisposeNibReference(nib);
  CFRelease(missing);
  CFRelease(test);
  CFRelease(id);
  EXPECT_EXIT(OpenNibWindowFromCFBundle(kTestBundleID, "missing", "window"), ::testing::ExitedWithCode(1),
              "OpenNibWindow Failed Unable to CreateNibReferenceWithCFBundle for \"net.quorvel.toolbox-test/missing\" "
              "as it returned errcode #-10960\\.");
  EXPECT_EXIT(OpenNibWindowFromCFBundle(kTestBundleID, "test", "nowhere"), ::testing::ExitedWithCode(-10962 & 0xFF), "");
  EXPECT_EXIT(OpenNibWindowFromCFBundle("net.quorvel.elsewhere", "test", "window"), ::testing::ExitedWithCode(1),
              "Assertion failed in: Cannot allocate bundle for ID = net.quorvel.elsewhere");
  SetOwnBundlePath("");
}

TEST(CommandTexts, AreTheFourCharactersMostSignificantFirst) {
  Str255 t;
  CommandID2Str(FOUR_CHAR_CODE("Help"), t);
  EXPECT_EQ(PascalBytes(t), "Help");
  CommandID2Str(0x6F6B2020, t);
  EXPECT_EQ(PascalBytes(t), "ok  ");
}

}  // namespace
