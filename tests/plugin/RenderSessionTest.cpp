// Render sessions driven through the plug-in's handlers by a host of the
// test's own, which records every callback.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <vector>

#include "../render/RenderSupport.h"
#include "TestSupport.h"
#include "common/iMovieGlue.h"
#include "effect/DataHandling.h"
#include "host/HostEntry.h"
#include "memory/MacMemory.h"

namespace {

struct RecordingHost {
  HYPluginFilterInfo info{{0.5f, 0.5f, 0.5f}, 0, 0};
  HYPluginResult filterInfoResult = kPluginOK;
  HYPluginResult getFrameResult = kPluginOK;
  HYPluginResult blitResult = kPluginOK;
  std::vector<SInt32> fetched;
  std::vector<HYRefDVQuality> qualities;
  std::vector<SInt16> blitOpacities;
  int released = 0, mixed = 0, blocks = 0;
  int refuseBlock = 0;  // the n-th NewPtrClear from now answers nil; 0 never
  SInt32 sizeSkew = 0;  // added to every size GetPtrSize answers
  std::map<void*, HYFrame*> lent;
  std::map<Ptr, SInt32> sizes;
};

RecordingHost* lgHost = nullptr;

Ptr HostNewPtrClear(SInt32 size) {
  if (lgHost->refuseBlock > 0 && --lgHost->refuseBlock == 0) return nullptr;
  ++lgHost->blocks;
  Ptr block = NewPtrClear(size);
  lgHost->sizes[block] = size;
  return block;
}
void HostDisposePtr(Ptr p) {
  --lgHost->blocks;
  lgHost->sizes.erase(p);
  DisposePtr(p);
}
SInt32 HostGetPtrSize(Ptr p) {
  if (lgHost == nullptr) return -1;
  auto it = lgHost->sizes.find(p);
  return it == lgHost->sizes.end() ? -1 : it->second + lgHost->sizeSkew;
}
// Frame n is filled with the colour (n, 2n, 3n).
HYPluginResult HostGetFrame(void*, SInt32 frame, HYFrame** out, SInt16 width, SInt16 height, HYRefDVQuality quality,
                            Float32*, void** cookie) {
  lgHost->fetched.push_back(frame);
  lgHost->qualities.push_back(quality);
  *out = nullptr;
  if (lgHost->getFrameResult != kPluginOK) return lgHost->getFrameResult;
  HYFrame* lent = NewTestFrame(width, height);
  Fill(WorldOf(lent), {255, UInt8(frame), UInt8(2 * frame), UInt8(3 * frame)});
  *out = lent;
  *cookie = lent;
  lgHost->lent[lent] = lent;
  return kPluginOK;
}
HYPluginResult HostReleaseFrame(void*, void* cookie) {
  ++lgHost->released;
  auto it = lgHost->lent.find(cookie);
  if (it == lgHost->lent.end()) return kPluginBadParams;
  DisposeTestFrame(it->second);
  lgHost->lent.erase(it);
  return kPluginOK;
}
HYPluginResult HostBlit(const HYFrame*, HYFrame*, const Rect*, const Rect*, SInt16 opacity) {
  lgHost->blitOpacities.push_back(opacity);
  return lgHost->blitResult;
}
HYPluginResult HostMixAudio(void*, void*, SInt32 level) {
  EXPECT_EQ(level, 256);
  ++lgHost->mixed;
  return kPluginOK;
}
HYPluginResult HostGetFilterInfo(void*, HYPluginFilterInfo** out) {
  *out = lgHost->filterInfoResult == kPluginOK ? &lgHost->info : nullptr;
  return lgHost->filterInfoResult;
}
HYPluginResult HostReleaseFilterInfo(void*, HYPluginFilterInfo*) { return kPluginOK; }

class RenderSession : public ::testing::Test {
 protected:
  void SetUp() override {
    lgHost = &host;
    procs = {HostNewPtrClear, HostDisposePtr,    HostGetFrame,          HostReleaseFrame, HostBlit,
             HostMixAudio,    HostGetFilterInfo, HostReleaseFilterInfo, HostGetPtrSize};
    master = reinterpret_cast<PluginDataPtr>(NewPtrClear(sizeof(PluginDataRec)));
    ResetConfig(master, true);
    gPascalData = master;
    std::memset(&params, 0, sizeof params);
    params.interfaceVersion = 4;
    params.procs = &procs;
    params.frame = NewTestFrame(64, 48);
    params.frameRect = {0, 0, 48, 64};
    params.startFrame = 10;
    AskSizesOfOutsideBlocks(HostGetPtrSize);  // as the entry point does
  }
  void TearDown() override {
    EffectEnd(0, &params);
    DisposeTestFrame(params.frame);
    CGImageRelease(master->TheRendered);
    DisposePtr(reinterpret_cast<Ptr>(master));
    gPascalData = nullptr;
    lgHost = nullptr;
    AskSizesOfOutsideBlocks(nullptr);
    EXPECT_TRUE(host.lent.empty()) << "frames still lent";
  }
  // Opens a session of `frames` frames and renders them all.
  void RenderAll(SInt32 frames) {
    params.frameCount = frames;
    ASSERT_EQ(EffectBegin(0, &params), kPluginOK);
    for (SInt32 k = 0; k < frames; ++k) {
      params.renderFrame = k;
      ASSERT_EQ(EffectDrive(0, &params), kPluginOK) << "frame " << k;
    }
  }
  EffectData* Session() { return static_cast<EffectData*>(params.clientData); }
  RecordingHost host;
  HYProcs procs;
  PluginDataPtr master;
  HYPluginParams params;
};

TEST_F(RenderSession, FadesAreClampedToTheEffect) {
  // Both fades: each at most half the effect, rounded down, so that they
  // never overlap (an odd count leaves its middle frame unfaded); one fade
  // alone: at most the whole effect.
  for (SInt32 frames = 1; frames <= 13; ++frames)
    for (SInt32 in : {0, 1, frames / 2, frames / 2 + 1, frames, frames + 5})
      for (SInt32 out : {0, 1, frames / 2, frames / 2 + 1, frames, frames + 5}) {
        const SInt32 half = frames / 2;
        const SInt32 wantIn = in != 0 && out != 0 ? std::min(in, half) : std::min(in, frames);
        const SInt32 wantOut = in != 0 && out != 0 ? std::min(out, half) : std::min(out, frames);
        host.info.fadeInFrames = in;
        host.info.fadeOutFrames = out;
        params.frameCount = frames;
        ASSERT_EQ(EffectBegin(0, &params), kPluginOK);
        EXPECT_EQ(Session()->fadeInFrames, wantIn) << in << " and " << out << " over " << frames;
        EXPECT_EQ(Session()->fadeOutFrames, wantOut) << in << " and " << out << " over " << frames;
        EXPECT_EQ(Session()->effectSourceCount, 1);
        EXPECT_EQ(EffectEnd(0, &params), kPluginOK);
      }
}

TEST_F(RenderSession, FadeInAndFadeOutBlitTheUntouchedFrameWithFallingAndRisingOpacity) {
  host.info.fadeInFrames = 4;
  RenderAll(20);
  EXPECT_EQ(host.blitOpacities, (std::vector<SInt16>{255, 191, 127, 63}));
  EffectEnd(0, &params);
  host.blitOpacities.clear();
  host.info.fadeInFrames = 0;
  host.info.fadeOutFrames = 4;
  RenderAll(20);
  EXPECT_EQ(host.blitOpacities, (std::vector<SInt16>{63, 127, 191}));
}

TEST_F(RenderSession, FetchesEachFrameOnceAndReleasesIt) {
  RenderAll(5);
  EXPECT_EQ(host.fetched, (std::vector<SInt32>{10, 11, 12, 13, 14}));
  EXPECT_EQ(host.released, 5);
  EXPECT_EQ(host.mixed, 5);
  EXPECT_EQ(gMostRecentStartFrame, 10);
  EXPECT_EQ(gMostRecentFrameCount, 5);
  // Without a picture the output is the source frame: frame 14's colour.
  EXPECT_EQ(PixelAt(WorldOf(params.frame), 30, 30), (Pixel{255, 14, 28, 42}));
}

TEST_F(RenderSession, ProxyRendersOfSmallFramesFetchLowQualityAndMixNoAudio) {
  params.proxyOnly = true;
  for (SInt16 height : {259, 260}) {
    DisposeTestFrame(params.frame);
    params.frame = NewTestFrame(100, height);
    params.frameRect = {0, 0, height, 100};
    RenderAll(1);
    EffectEnd(0, &params);
  }
  EXPECT_EQ(host.qualities, (std::vector<HYRefDVQuality>{kDVLowQuality, kDVHighQuality}));
  EXPECT_EQ(host.mixed, 0);
  params.proxyOnly = false;
  host.qualities.clear();
  RenderAll(1);
  EXPECT_EQ(host.qualities, (std::vector<HYRefDVQuality>{kDVHighQuality}));
}

TEST_F(RenderSession, FailuresAreReturnedAndFramesStillReleased) {
  params.frameCount = 4;
  ASSERT_EQ(EffectBegin(0, &params), kPluginOK);
  host.getFrameResult = kPluginCantGetNeededFrame;
  EXPECT_EQ(EffectDrive(0, &params), kPluginCantGetNeededFrame);
  EXPECT_EQ(host.released, 0);  // nothing was lent
  host.getFrameResult = kPluginOK;
  params.renderFrame = 1;
  EXPECT_EQ(EffectDrive(0, &params), kPluginOK);  // the session goes on
  EffectEnd(0, &params);

  host.info.fadeInFrames = 2;
  host.blitResult = kPluginFailed;
  ASSERT_EQ(EffectBegin(0, &params), kPluginOK);
  params.renderFrame = 0;
  const int mixedBefore = host.mixed, releasedBefore = host.released;
  EXPECT_EQ(EffectDrive(0, &params), kPluginFailed);
  EXPECT_EQ(host.mixed, mixedBefore);  // no audio after a failed blit
  EXPECT_EQ(host.released, releasedBefore + 1);

  EffectEnd(0, &params);
  EXPECT_EQ(EffectDrive(0, &params), kPluginBadParams);  // no session
}

TEST_F(RenderSession, AFadeBufferThatCannotBeMadeFailsTheFrame) {
  host.info.fadeInFrames = 3;
  params.frameCount = 6;
  ASSERT_EQ(EffectBegin(0, &params), kPluginOK);
  SetAllocationFailureCountdown(1);  // the host's frame is had, the fade buffer not
  EXPECT_EQ(EffectDrive(0, &params), kPluginFailed);
  SetAllocationFailureCountdown(-1);
  EXPECT_TRUE(host.blitOpacities.empty());
  EXPECT_EQ(host.released, 1);
}

TEST_F(RenderSession, AFilterInfoFailureIsTheBeginsResult) {
  host.filterInfoResult = kPluginTryAgainLater;
  params.frameCount = 3;
  EXPECT_EQ(EffectBegin(0, &params), kPluginTryAgainLater);
  EXPECT_EQ(Session()->fadeInFrames, 0);
}

TEST_F(RenderSession, EndingTwiceIsHarmlessAndFreesEverything) {
  const int before = host.blocks;
  params.frameCount = 2;
  ASSERT_EQ(EffectBegin(0, &params), kPluginOK);
  EXPECT_EQ(host.blocks, before + 2);
  EXPECT_EQ(EffectEnd(0, &params), kPluginOK);
  EXPECT_EQ(host.blocks, before);
  EXPECT_EQ(params.clientData, nullptr);
  EXPECT_EQ(EffectEnd(0, &params), kPluginOK);
  EXPECT_EQ(host.blocks, before);
}

TEST_F(RenderSession, BeginningAgainWithoutAnEndGivesUpTheEarlierCopy) {
  master->TheRendered = SolidPicture(4, 4, {255, 250, 0, 0});
  const int blocks = host.blocks;
  const size_t images = LiveCGImages();
  params.frameCount = 2;
  for (int k = 0; k < 3; ++k) ASSERT_EQ(EffectBegin(0, &params), kPluginOK);
  EXPECT_EQ(host.blocks, blocks + 2);       // the session and one copy
  EXPECT_EQ(LiveCGImages(), images + 1);    // the copy's picture, once
  EffectEnd(0, &params);
  EXPECT_EQ(host.blocks, blocks);
  EXPECT_EQ(LiveCGImages(), images);
}

TEST_F(RenderSession, AHostThatCannotAllocateGetsOutOfMemoryAndNoHalfSession) {
  params.frameCount = 2;
  const int blocks = host.blocks;
  for (int refused : {1, 2}) {  // the session's block, then the configuration's
    host.refuseBlock = refused;
    EXPECT_EQ(EffectBegin(0, &params), kPluginOutOfMemory) << refused;
    EXPECT_EQ(params.clientData, nullptr);
    EXPECT_EQ(host.blocks, blocks);
    EXPECT_EQ(EffectDrive(0, &params), kPluginBadParams);
  }
  // A session already open keeps its block when its new copy cannot be had.
  host.refuseBlock = 0;
  ASSERT_EQ(EffectBegin(0, &params), kPluginOK);
  host.refuseBlock = 1;
  EXPECT_EQ(EffectBegin(0, &params), kPluginOutOfMemory);
  EXPECT_EQ(EffectDrive(0, &params), kPluginBadParams);
  EffectEnd(0, &params);
  EXPECT_EQ(host.blocks, blocks);
}

// What the host hands over and the plug-in cannot use is its fault: an
// alert where one is due, a result, and the process goes on.
TEST_F(RenderSession, ABlockOrAFrameTheHostGotWrongIsAnsweredWithBadParams) {
  AlertRecorder alerts;
  params.frameCount = 2;
  const int blocks = host.blocks;
  host.sizeSkew = 4;  // the session's copy is not the size the host says
  EXPECT_EQ(EffectBegin(0, &params), kPluginBadParams);
  ASSERT_EQ(alerts.alerts().size(), 1u);
  EXPECT_EQ(alerts.alerts()[0].message, "Non-Matching Blocks");
  EXPECT_EQ(alerts.alerts()[0].explanation, "The Size of Source and Dest do not match");
  EXPECT_EQ(params.clientData, nullptr);
  EXPECT_EQ(host.blocks, blocks);
  host.sizeSkew = 0;

  ASSERT_EQ(EffectBegin(0, &params), kPluginOK);
  HYFrame* output = params.frame;
  const std::function<void(HYFrame&)> spoilings[] = {
      [](HYFrame& f) { f.pixelFormat = 0x52474241; },  // R,G,B,A
      [](HYFrame& f) { f.baseAddress = nullptr; },
      [](HYFrame& f) { f.rowBytes = 4 * (f.bounds.right - f.bounds.left) - 4; },
      [](HYFrame& f) { f.bounds.right = f.bounds.left; },
  };
  for (const auto& spoil : spoilings) {
    HYFrame spoilt = *output;
    spoil(spoilt);
    params.frame = &spoilt;
    const int released = host.released;
    EXPECT_EQ(EffectDrive(0, &params), kPluginBadParams);
    EXPECT_EQ(host.released, released + 1);  // the lent frame still goes back
  }
  params.frame = output;
  EXPECT_EQ(EffectDrive(0, &params), kPluginOK);
}

TEST_F(RenderSession, TheSessionKeepsTheConfigurationItBeganWith) {
  master->TheRendered = SolidPicture(4, 4, {255, 250, 0, 0});
  master->Sliders[2] = 100;
  master->StartRel = master->EndRel = {0, 0.5, 0, 1};
  params.frameCount = 2;
  ASSERT_EQ(EffectBegin(0, &params), kPluginOK);
  master->Sliders[2] = 0;  // an edit after the session began
  params.renderFrame = 0;
  ASSERT_EQ(EffectDrive(0, &params), kPluginOK);
  EXPECT_EQ(PixelAt(WorldOf(params.frame), 10, 20), (Pixel{255, 250, 0, 0}));
  EXPECT_EQ(PixelAt(WorldOf(params.frame), 50, 20), (Pixel{255, 10, 20, 30}));
}

TEST_F(RenderSession, APlaceholderRendersItsFrameAndLeavesTheCallersSessionAlone) {
  void* callersSession = &host;  // whatever the caller keeps there
  params.clientData = callersSession;
  params.getInfo.bestThumbOffset = 3;
  params.frameCount = 8;
  const int before = host.blocks;
  EXPECT_EQ(MakeEffectPlaceHolder(0, &params), kPluginOK);
  EXPECT_EQ(params.clientData, callersSession);
  EXPECT_EQ(host.fetched, (std::vector<SInt32>{13}));
  EXPECT_EQ(PixelAt(WorldOf(params.frame), 1, 1), (Pixel{255, 13, 26, 39}));
  EXPECT_EQ(host.blocks, before);
  // A frame the host cannot give fails the placeholder; the session still closes.
  host.getFrameResult = kPluginCantGetNeededFrame;
  EXPECT_EQ(MakeEffectPlaceHolder(0, &params), kPluginCantGetNeededFrame);
  EXPECT_EQ(host.blocks, before);
  params.clientData = nullptr;
}

TEST_F(RenderSession, FramesBeforeTheClipAreNotFetched) {
  params.startFrame = 0;
  params.frameCount = 3;
  ASSERT_EQ(EffectBegin(0, &params), kPluginOK);
  params.renderFrame = -1;
  EXPECT_EQ(EffectDrive(0, &params), kPluginOK);
  EXPECT_TRUE(host.fetched.empty());
  GWorldPtr gw = NewFrame(16, 16);
  params.startFrame = -5;
  EXPECT_EQ(GetFrameIntoGW(gw, &params, 2, 1), -1);
  EXPECT_TRUE(host.fetched.empty());
  params.startFrame = 0;
  EXPECT_EQ(GetFrameIntoGW(gw, &params, 4, 1), kPluginOK);
  EXPECT_EQ(PixelAt(gw, 5, 5), (Pixel{255, 4, 8, 12}));
  EXPECT_EQ(host.released, 1);
  DisposeGWorld(gw);
}

}  // namespace
