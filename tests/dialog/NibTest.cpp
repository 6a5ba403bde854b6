// The dialog's interface files against the controls the code finds by ID,
// and the plain geometry of the preview's handles.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>
#include <QSlider>
#include <QWidget>

#include "bundle/Bundle.h"
#include "common/commonprocs.h"
#include "dialog/DialogControls.h"
#include "dialog/carbonmacros.h"
#include "dialog/dlgUtils.h"
#include "dialog/nibwindows.h"
#include "effect/DataHandling.h"
#include "effect/PluginDefines.h"
#include "toolbox/Toolbox.h"

namespace {

template <typename T>
T* WidgetOf(WindowRef w, OSType sig, SInt16 id) {
  return qobject_cast<T*>(static_cast<QWidget*>(ControlWidget(SimpleGetControlByID(w, sig, id))));
}

TEST(DialogLayouts, EachHoldsEveryControlTheCodeFinds) {
  SetOwnBundlePath(QUORVEL_TEST_BUNDLE_DIR);
  PluginDataRec defaults{};
  ResetConfig(&defaults, true);
  const int previews[3][2] = {{720, 480}, {720, 576}, {960, 540}};
  for (int m = 0; m < 3; ++m) {
    WindowRef w = OpenNibWindowFromCFBundle(cMyBundleID, cMyPluginName, cMediaWindows[m]);
    ASSERT_NE(w, nullptr) << cMediaWindows[m];
    // The preview has the format's frame size, so the frame is shown pixel for pixel.
    const Rect preview = GetControlBox(SimpleGetControlByID(w, cClipSig, 1));
    EXPECT_EQ(preview.right - preview.left, previews[m][0]) << cMediaWindows[m];
    EXPECT_EQ(preview.bottom - preview.top, previews[m][1]) << cMediaWindows[m];
    for (SInt16 n = 1; n <= 6; ++n) {
      EXPECT_NE(SimpleGetControlByID(w, cColorSig, n), nullptr) << n;
      EXPECT_NE(SimpleGetControlByID(w, cColorLegendSig, n), nullptr) << n;
      EXPECT_NE(SimpleGetControlByID(w, cLegendSig, n), nullptr) << n;
      QSlider* slider = WidgetOf<QSlider>(w, cSliderSig, n);
      ASSERT_NE(slider, nullptr) << n;
      // The defaults lie inside the sliders' ranges.
      EXPECT_LE(slider->minimum(), defaults.Sliders[n]) << n;
      EXPECT_GE(slider->maximum(), defaults.Sliders[n]) << n;
      if (n >= 4) {
        EXPECT_NE(SimpleGetControlByID(w, cLabelSig, n), nullptr) << n;
      }
    }
    // Turn reaches a full turn both ways.
    EXPECT_EQ(WidgetOf<QSlider>(w, cSliderSig, 3)->minimum(), -100);
    EXPECT_EQ(WidgetOf<QSlider>(w, cSliderSig, 3)->maximum(), 100);
    for (OSType sig : {cClipSliderSig, cClipMarkSig, cRectSig, cPropSig, cPictSig})
      EXPECT_NE(SimpleGetControlByID(w, sig, 1), nullptr) << cMediaWindows[m];
    EXPECT_EQ(GetControl32BitMaximum(SimpleGetControlByID(w, cRectSig, 1)), 2);
    QComboBox* media = WidgetOf<QComboBox>(w, cMediaSig, 1);
    ASSERT_NE(media, nullptr);
    EXPECT_EQ(media->count(), 3);
    EXPECT_TRUE(media->itemText(0).startsWith("NTSC") && media->itemText(1).startsWith("PAL") &&
                media->itemText(2).startsWith("HD"));
    // The blend pop-up names the modes in the order of their numbers.
    QComboBox* blend = WidgetOf<QComboBox>(w, cBlendSig, 1);
    ASSERT_NE(blend, nullptr);
    ASSERT_EQ(blend->count(), cBlendModeCount);
    for (int k = 0; k < cBlendModeCount; ++k)
      EXPECT_EQ(blend->itemText(k).toLower().replace(' ', '-').toStdString(), cBlendModeNames[k]) << k;
    // Every command has its button; Return presses OK and Escape Cancel.
    QWidget* window = static_cast<QWidget*>(WindowWidget(w));
    for (const char* command : {cCmdOK, cCmdCancel, cCmdAbout, cCmdReset, cCmdWholeFrame, cCmdHelp, cCmdNext, cCmdPrevious}) {
      QPushButton* found = nullptr;
      for (QPushButton* b : window->findChildren<QPushButton*>())
        if (b->property("command").toString() == command) found = b;
      ASSERT_NE(found, nullptr) << command;
      if (std::string(command) == cCmdOK) {
        EXPECT_TRUE(found->isDefault());
      }
      if (std::string(command) == cCmdCancel) {
        EXPECT_TRUE(found->property("cancel").toBool());
      }
    }
    DisposeWindow(w);
  }
  SetOwnBundlePath("");
}

TEST(PreviewHandles, HitTestsTakeCornersFirstAndEdgesAsQuickDrawDoes) {
  const Rect r = {100, 200, 300, 400};  // top, left, bottom, right
  struct Case {
    SInt16 h, v, want;
  } cases[] = {
      {200, 100, kTopLeft},    {194, 94, kTopLeft},       {205, 105, kTopLeft},    {206, 100, kInside},
      {200, 106, kInside},     {193, 100, kNoHandle},     {400, 100, kTopRight},   {394, 106, kNoHandle + 5},
      {200, 300, kBottomLeft}, {405, 305, kBottomRight},  {406, 300, kNoHandle},   {300, 200, kInside},
      {399, 299, kBottomRight}, {401, 200, kNoHandle},
  };
  for (const Case& c : cases) EXPECT_EQ(IsHandleHit(r, Point{c.v, c.h}), c.want) << c.h << "," << c.v;
  // Smaller than the zones: the corners win over the inside, the lower number between corners.
  const Rect tiny = {0, 0, 4, 4};
  EXPECT_EQ(IsHandleHit(tiny, Point{2, 2}), kTopLeft);
  EXPECT_EQ(IsHandleHit(tiny, Point{3, 9}), kTopRight);
}

TEST(PreviewHandles, CornerDragsUnderEveryModifier) {
  PluginDataRec config{};
  ResetConfig(&config, true);
  gConfigWorkSpace.TheConfig = &config;
  const Rect frame = {0, 0, 480, 720};
  const Rect start = {100, 100, 200, 300};  // 200 x 100
  const RelRect origRel = {100 / 720.0, 300 / 720.0, 100 / 480.0, 200 / 480.0};
  struct Case {
    SInt16 handle;
    Point to;
    UInt32 modifiers;
    Rect want;
  } cases[] = {
      {kBottomRight, {220, 330}, 0, {100, 100, 220, 330}},
      {kTopLeft, {90, 80}, 0, {90, 80, 200, 300}},
      {kTopRight, {90, 310}, optionKey, {90, 90, 210, 310}},
      {kBottomRight, {260, 340}, shiftKey, {100, 100, 220, 340}},  // 240 wide keeps 2 : 1
      {kBottomLeft, {400, 50}, shiftKey, {100, 50, 225, 300}},     // 250 wide, 125 high
      {kInside, {0, 0}, 0, start},                                 // not a corner: unchanged
  };
  for (const Case& c : cases) {
    Rect r = start;
    const Point from = c.handle == kTopLeft ? Point{100, 100} : c.handle == kTopRight ? Point{100, 300}
                       : c.handle == kBottomLeft ? Point{200, 100} : Point{200, 300};
    DragCorner(c.handle, r, from, c.to, c.modifiers, frame, origRel);
    EXPECT_EQ(r.top, c.want.top) << c.handle;
    EXPECT_EQ(r.left, c.want.left) << c.handle;
    EXPECT_EQ(r.bottom, c.want.bottom) << c.handle;
    EXPECT_EQ(r.right, c.want.right) << c.handle;
  }
  gConfigWorkSpace.TheConfig = nullptr;
}

}  // namespace
