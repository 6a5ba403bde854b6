// The about window: its texts, both of its buttons, and the port it leaves.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>

#include "TestSupport.h"
#include "WhenReady.h"
#include "bundle/Bundle.h"
#include "common/commonprocs.h"
#include "dialog/aboutwindow.h"
#include "effect/PluginDefines.h"
#include "quickdraw/QuickDraw.h"
#include "text/PascalString.h"
#include "toolbox/Toolbox.h"

namespace {

// The visible about window, once ShowAbout has shown it.
QWidget* AboutWidget() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible() && w->objectName() == "about") return w;
  return nullptr;
}

QString LabelText(QWidget* about, const char* signature) {
  for (QLabel* l : about->findChildren<QLabel*>())
    if (l->property("controlSignature").toString() == signature) return l->text();
  return QString();
}

void PressCommand(QWidget* about, const char* command) {
  for (QAbstractButton* b : about->findChildren<QAbstractButton*>())
    if (b->property("command").toString() == command) b->click();
}

TEST(AboutWindow, ShowsTheProductAndVersionAndClosesOnEitherButton) {
  SetOwnBundlePath(QUORVEL_TEST_BUNDLE_DIR);
  ToolboxHasDisplay();  // the application exists before the timers are set
  GWorldPtr dialogPort = nullptr;
  const Rect bounds = {0, 0, 10, 10};
  NewGWorld(&dialogPort, 32, &bounds, nullptr, nullptr, 0);
  SetGWorld(dialogPort, nullptr);
  for (const char* command : {"ok  ", "not!"}) {
    QString product, version;
    bool stillOpenAfterOther = false;
    WhenReady([] { return AboutWidget() != nullptr; }, [&, command] {
      QWidget* about = AboutWidget();
      product = LabelText(about, "Plug");
      version = LabelText(about, "Vers");
      // Still open a turn of the event loop later: only a button ends it.
      QTimer::singleShot(0, [&, command] {
        stillOpenAfterOther = AboutWidget() != nullptr;
        PressCommand(AboutWidget(), command);
      });
    });
    ShowAbout();  // returns when a button ended its loop
    EXPECT_EQ(product.toStdString(), "Quorvel (moving)");
    EXPECT_EQ(version.toStdString(), std::string("Version ") + cPlugVersion);
    EXPECT_TRUE(stillOpenAfterOther);
    EXPECT_EQ(AboutWidget(), nullptr);
    CGrafPtr port;
    GetGWorld(&port, nullptr);
    EXPECT_EQ(port, dialogPort) << "the port current before is current again";
  }
  SetGWorld(nullptr, nullptr);
  DisposeGWorld(dialogPort);
  SetOwnBundlePath("");
}

TEST(AboutWindow, PassesOtherCommandsOn) {
  EventRef event = nullptr;
  ASSERT_EQ(CreateEvent(nullptr, kEventClassCommand, kEventCommandProcess, 0, 0, &event), noErr);
  for (const char* other : {"quit", "Help", "ok !"}) {
    const HICommand command = {0, FOUR_CHAR_CODE({other[0], other[1], other[2], other[3], 0}), {nullptr, 0}};
    SetEventParameter(event, kEventParamDirectObject, typeHICommand, sizeof command, &command);
    EXPECT_EQ(AboutDialogHandler(nullptr, event, nullptr), eventNotHandledErr) << other;
  }
  ReleaseEvent(event);
}

TEST(AboutWindow, NamesTheBuildInItsVersion) {
  const std::string v = cPlugVersion;
  EXPECT_EQ(v.substr(0, 7), "3.0.0 (");
  EXPECT_EQ(v.substr(v.size() - 7), " Linux)");
#if defined(__x86_64__)
  EXPECT_EQ(v, "3.0.0 (x86_64 Linux)");
#endif
}

// On a display, alerts are message boxes with the alert's texts and buttons.
TEST(AlertsOnADisplay, AreMessageBoxes) {
  if (!ToolboxHasDisplay()) GTEST_SKIP() << "no display: alerts go to standard error";
  QString text, informative;
  QStringList buttons;
  WhenReady([] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr; }, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    text = box->text();
    informative = box->informativeText();
    for (QAbstractButton* b : box->buttons()) buttons << b->text();
    for (QAbstractButton* b : box->buttons())
      if (b->text() == "Not now") b->click();
  });
  EXPECT_EQ(StandardWarning(PStr("Headline"), PStr("The details."), PStr("Go on"), PStr("Not now")), 2);
  EXPECT_EQ(text.toStdString(), "Headline");
  EXPECT_EQ(informative.toStdString(), "The details.");
  EXPECT_TRUE(buttons.contains("Go on"));
  EXPECT_TRUE(buttons.contains("Not now"));
}

}  // namespace
