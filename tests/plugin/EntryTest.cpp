// The entry point and the effect description, called as the host-facing
// module's own routines with a host of the test's own.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <functional>

#include "TestSupport.h"
#include "bundle/Bundle.h"
#include "effect/pascalFX.h"
#include "host/HostEntry.h"
#include "memory/MacMemory.h"
#include "resources/ResourceFork.h"

namespace {


class Entry : public ::testing::Test {
 protected:
  void SetUp() override {
    // A freshly loaded bundle.
    gPascalData = nullptr;
    gPascalInited = false;
    CountedAllocations() = 0;
    std::memset(&params, 0, sizeof params);
    params.interfaceVersion = 4;
    params.procs = &procs;
    SetOwnBundlePath(QUORVEL_TEST_BUNDLE_DIR);
  }
  void TearDown() override {
    if (gPascalData) procs.DisposePtr(reinterpret_cast<Ptr>(gPascalData));
    gPascalData = nullptr;
    SetOwnBundlePath("");
  }
  SInt32 Call(HYPluginSelector selector, HYPluginParams* p) {
    if (p) p->selector = selector;
    return PluginMain(0, p);
  }
  ScopedPreferences prefs;
  HYProcs procs = CountingMemoryProcs();
  HYPluginParams params;
};

TEST_F(Entry, RefusedCallsStartNothing) {
  EXPECT_EQ(Call(kPlugGetInfo, nullptr), kPluginBadParams);
  params.interfaceVersion = 3;
  EXPECT_EQ(Call(kPlugGetInfo, &params), kPluginAppIsTooOld);
  params.interfaceVersion = -1;
  EXPECT_EQ(Call(kPlugGetInfo, &params), kPluginAppIsTooOld);
  EXPECT_EQ(gPascalData, nullptr);
  EXPECT_FALSE(gPascalInited);
  EXPECT_EQ(CountedAllocations(), 0);
  EXPECT_FALSE(PathExists(prefs.settingsFile()));
}

TEST_F(Entry, TheFirstAcceptedCallStartsThePlugInWhateverItsSelector) {
  for (HYPluginSelector selector : {kPlugDrawIcon, kPlugDrawThumbNail, kPlugCallOnceWithInitAndTerminate}) {
    SetUp();
    EXPECT_EQ(Call(selector, &params), kPluginOK);
    ASSERT_NE(gPascalData, nullptr);
    EXPECT_TRUE(gPascalInited);
    EXPECT_EQ(CountedAllocations(), 1);
    UInt32 size;
    pGetConfigSize(size);
    EXPECT_EQ(GetPtrSize(reinterpret_cast<Ptr>(gPascalData)), Size(size));
    EXPECT_EQ(gPascalData->Sliders[2], 50);
    EXPECT_TRUE(PathExists(prefs.settingsFile()));
    TearDown();
  }
}

TEST_F(Entry, LaterCallsKeepTheMasterRecord) {
  params.interfaceVersion = 1000;  // no upper bound
  EXPECT_EQ(Call(kPlugGetInfo, &params), kPluginOK);
  PluginDataPtr master = gPascalData;
  master->Sliders[3] = 12;
  for (HYPluginSelector selector : {0, 3, 4, 7, 10, 255}) EXPECT_EQ(Call(HYPluginSelector(selector), &params), kPluginOK);
  EXPECT_EQ(gPascalData, master);
  EXPECT_EQ(master->Sliders[3], 12);
  EXPECT_EQ(CountedAllocations(), 1);
}

Ptr NoMemory(SInt32) { return nullptr; }

// A host that cannot give memory, or lacks a callback a request needs, is
// answered with a result after the alert; its process goes on, and a later
// call with what is needed starts the plug-in.
TEST_F(Entry, AHostWithoutMemoryOrCallbacksGetsAResultAndLivesOn) {
  AlertRecorder alerts;
  procs.NewPtrClear = NoMemory;
  EXPECT_EQ(Call(kPlugGetInfo, &params), kPluginOutOfMemory);
  EXPECT_EQ(gPascalData, nullptr);
  ASSERT_EQ(alerts.alerts().size(), 1u);
  EXPECT_EQ(alerts.alerts()[0].explanation, "Assertion failed in: Unable to allocate new data structure");
  procs = CountingMemoryProcs();
  struct Case {
    const char* what;
    HYPluginSelector selector;
    std::function<void(HYProcs&)> take;
  };
  const Case cases[] = {
      {"no callbacks at all", kPlugGetInfo, [&](HYProcs&) { params.procs = nullptr; }},
      {"no allocator at start-up", kPlugGetInfo, [](HYProcs& p) { p.NewPtrClear = nullptr; }},
      {"no GetFrame for a frame", kPlugDoFrame, [](HYProcs& p) { p.GetFrame = nullptr; }},
      {"no Blit for a frame", kPlugDoFrame, [](HYProcs& p) { p.Blit = nullptr; }},
      {"no GetFilterInfo for a session", kPlugInitialize, [](HYProcs& p) { p.GetFilterInfo = nullptr; }},
      {"no GetPtrSize for a session", kPlugInitialize, [](HYProcs& p) { p.GetPtrSize = nullptr; }},
      {"no DisposePtr at the end", kPlugTerminate, [](HYProcs& p) { p.DisposePtr = nullptr; }},
      {"no ReleaseFrame for the dialog", kPlugCustomButtonClick, [](HYProcs& p) { p.ReleaseFrame = nullptr; }},
  };
  for (const Case& c : cases) {
    HYProcs taken = CountingMemoryProcs();
    taken.GetFrame = [](void*, SInt32, HYFrame**, SInt16, SInt16, HYRefDVQuality, Float32*, void**) -> HYPluginResult { return kPluginOK; };
    taken.ReleaseFrame = [](void*, void*) -> HYPluginResult { return kPluginOK; };
    taken.Blit = [](const HYFrame*, HYFrame*, const Rect*, const Rect*, SInt16) -> HYPluginResult { return kPluginOK; };
    taken.MixAudio = [](void*, void*, SInt32) -> HYPluginResult { return kPluginOK; };
    taken.GetFilterInfo = [](void*, HYPluginFilterInfo**) -> HYPluginResult { return kPluginOK; };
    taken.ReleaseFilterInfo = [](void*, HYPluginFilterInfo*) -> HYPluginResult { return kPluginOK; };
    params.procs = &taken;
    c.take(taken);
    const size_t before = alerts.alerts().size();
    EXPECT_EQ(Call(c.selector, &params), kPluginBadParams) << c.what;
    ASSERT_EQ(alerts.alerts().size(), before + 1) << c.what;
    EXPECT_EQ(alerts.alerts().back().explanation, "Assertion failed in: Nil host callbacks in main") << c.what;
  }
  params.procs = &procs;
  EXPECT_EQ(Call(kPlugGetInfo, &params), kPluginOK);
  EXPECT_NE(gPascalData, nullptr);
}

TEST_F(Entry, TheDescriptionTellsTheHostWhatTheEffectIs) {
  params.getInfo.pluginFlags = 0x4001;  // the host's own choices stay set
  params.getInfo.takeFromClipBefore = 9;
  params.getInfo2.selectedFrames = 37;
  ASSERT_EQ(Call(kPlugGetInfo, &params), kPluginOK);
  EXPECT_EQ(params.getInfo.pluginType, 105);
  EXPECT_EQ(params.getInfo.pluginFlags, 0x4001u | 0x1380u);
  EXPECT_EQ(params.getInfo.framesToBeRendered, 37);
  EXPECT_EQ(params.getInfo.takeFromClipAfter, 37);
  EXPECT_EQ(params.getInfo.takeFromClipBefore, 0);
  EXPECT_EQ(params.getInfo.minSpeedFrames, 0);
  EXPECT_EQ(params.getInfo.maxSpeedFrames, 0);
  EXPECT_FALSE(params.getInfo.mustTakeFromSingleClips);
  EXPECT_EQ(params.getInfo2.baseMemoryNeeded, 50000);
  EXPECT_EQ(params.getInfo2.sliderCount, 3);
  for (const HYPluginFilterSliderInfo& s : params.getInfo2.filterSliders) {
    EXPECT_EQ(s.defaultValue, 0.5f);
    EXPECT_GT(std::strlen(s.label), 0u);
  }
  EXPECT_STREQ(params.getInfo2.filterSliders[1].label, "Unused slider 2 (no effect)");
  EXPECT_STREQ(params.getInfo2.group, "Overlays");
  EXPECT_STREQ(params.getInfo3.buttonTitle, "Picture and Motion\xC9");  // Mac Roman ellipsis
}

// A bundle whose string lists are made by the test: list 128 with one long
// item only, 130 with a title longer than the button's field, no 129 and 17000.
TEST_F(Entry, MissingTextsAreEmptyAndLongOnesAreCut) {
  TempDir bundle;
  ::mkdir((bundle / "Contents").c_str(), 0700);
  ::mkdir((bundle / "Contents/Resources").c_str(), 0700);
  auto list = [](std::vector<std::string> items) {
    std::vector<UInt8> d = {0, UInt8(items.size())};
    for (const std::string& s : items) {
      d.push_back(UInt8(s.size()));
      d.insert(d.end(), s.begin(), s.end());
    }
    return d;
  };
  ResourceForkContents c;
  c.resources.push_back({FOUR_CHAR_CODE("STR#"), 128, false, "", 0, list({std::string(200, 'L')})});
  c.resources.push_back({FOUR_CHAR_CODE("STR#"), 130, false, "", 0, list({std::string(40, 'B')})});
  WriteFileBytes(bundle / "Contents/Resources/Resources.rsrc", ResourceFileBytes(c));
  WriteFileBytes(bundle / "Contents/Manifest", {});
  SetOwnBundlePath(bundle.path());

  std::memset(&params.getInfo2, 'x', sizeof params.getInfo2);
  std::memset(&params.getInfo3, 'x', sizeof params.getInfo3);
  params.getInfo2.selectedFrames = 5;
  ASSERT_EQ(Call(kPlugGetInfo, &params), kPluginOK);
  EXPECT_EQ(std::string(params.getInfo2.filterSliders[0].label), std::string(127, 'L'));
  EXPECT_STREQ(params.getInfo2.filterSliders[1].label, "");
  EXPECT_STREQ(params.getInfo2.filterSliders[0].minLabel, "");
  EXPECT_STREQ(params.getInfo2.filterSliders[2].maxLabel, "");
  EXPECT_EQ(std::string(params.getInfo3.buttonTitle), std::string(31, 'B'));
  EXPECT_STREQ(params.getInfo2.group, "");
}

}  // namespace
