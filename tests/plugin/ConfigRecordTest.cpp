// The configuration record: defaults, copies for render sessions and the
// rectangle the dialog edits.
#include <gtest/gtest.h>

#include <cstring>

#include "effect/DataHandling.h"
#include "effect/pascalFX.h"
#include "memory/MacMemory.h"

namespace {

bool SameColor(const RGBColor& c, UInt16 r, UInt16 g, UInt16 b) {
  return c.red == r && c.green == g && c.blue == b;
}

CGImageRef SmallImage() {
  const UInt8 pixel[4] = {255, 10, 20, 30};
  return CGImageCreateFromARGB(1, 1, pixel, 4);
}

struct Record {
  PluginDataPtr p = reinterpret_cast<PluginDataPtr>(NewPtrClear(sizeof(PluginDataRec)));
  ~Record() { DisposePtr(reinterpret_cast<Ptr>(p)); }
};

TEST(ConfigRecord, FullResetGivesTheDefaults) {
  Record r;
  std::memset(r.p, 0x5A, sizeof(PluginDataRec));
  ResetConfig(r.p, true);
  for (const RelRect* rel : {&r.p->StartRel, &r.p->EndRel}) {
    EXPECT_EQ(rel->Left, 0.0);
    EXPECT_EQ(rel->Right, 1.0);
    EXPECT_EQ(rel->Top, 0.0);
    EXPECT_EQ(rel->Bottom, 1.0);
  }
  const SInt16 sliders[6] = {0, 50, 0, 0, 0, 0};
  for (int k = 1; k <= 6; ++k) EXPECT_EQ(r.p->Sliders[k], sliders[k - 1]) << "slider " << k;
  EXPECT_TRUE(SameColor(r.p->Colors[1], 65535, 65535, 65535));
  EXPECT_TRUE(SameColor(r.p->Colors[2], 65535, 65535, 65535));
  for (int k = 3; k <= 6; ++k) EXPECT_TRUE(SameColor(r.p->Colors[k], 0, 0, 0));
  EXPECT_TRUE(SameColor(r.p->FrameStartColor, 0, 65535, 0));
  EXPECT_TRUE(SameColor(r.p->FrameEndColor, 65535, 0, 0));
  EXPECT_EQ(r.p->MediaType, 1);
  EXPECT_EQ(r.p->BlendMode, 1);
  EXPECT_TRUE(r.p->Outside);
  EXPECT_FALSE(r.p->Sync);
  EXPECT_FALSE(r.p->ClipActive);
  EXPECT_FALSE(r.p->KeepProps);
  EXPECT_EQ(r.p->TheOriginalImage, nullptr);
  EXPECT_EQ(r.p->TheRendered, nullptr);
}

TEST(ConfigRecord, PartialResetKeepsPicturesAndMediaType) {
  Record r;
  ResetConfig(r.p, true);
  CGImageRef original = SmallImage(), rendered = SmallImage();
  r.p->TheOriginalImage = original;
  r.p->TheRendered = rendered;
  r.p->MediaType = 3;
  r.p->Sliders[2] = 80;
  r.p->BlendMode = 7;
  r.p->KeepProps = true;
  r.p->StartRel.Left = 0.3;
  ResetConfig(r.p, false);
  EXPECT_EQ(r.p->MediaType, 3);
  EXPECT_EQ(r.p->TheOriginalImage, original);
  EXPECT_EQ(r.p->TheRendered, rendered);
  EXPECT_EQ(r.p->Sliders[2], 50);
  EXPECT_EQ(r.p->BlendMode, 1);
  EXPECT_FALSE(r.p->KeepProps);
  EXPECT_EQ(r.p->StartRel.Left, 0.0);
  CGImageRelease(original);
  CGImageRelease(rendered);
}

TEST(ConfigRecord, SessionCopiesOwnTheirOwnRenderedPictureAndNoOriginal) {
  size_t imagesBefore = LiveCGImages();
  Record master, copy;
  ResetConfig(master.p, true);
  master.p->TheOriginalImage = SmallImage();
  master.p->TheRendered = SmallImage();
  master.p->Sliders[3] = 25;
  master.p->EndRel.Right = 0.75;

  pCopyConfig(master.p, copy.p);
  EXPECT_EQ(copy.p->Sliders[3], 25);
  EXPECT_EQ(copy.p->EndRel.Right, 0.75);
  EXPECT_EQ(copy.p->TheOriginalImage, nullptr);
  ASSERT_NE(copy.p->TheRendered, nullptr);
  EXPECT_NE(copy.p->TheRendered, master.p->TheRendered);
  EXPECT_EQ(CGImageGetWidth(copy.p->TheRendered), 1u);
  EXPECT_EQ(LiveCGImages(), imagesBefore + 3);

  pUncopyConfig(copy.p);
  EXPECT_EQ(LiveCGImages(), imagesBefore + 2);  // the master's pictures are untouched
  CGImageRelease(master.p->TheOriginalImage);
  CGImageRelease(master.p->TheRendered);
  EXPECT_EQ(LiveCGImages(), imagesBefore);
}

TEST(ConfigRecord, CopyWithoutPicturesAndWithNilIsHarmless) {
  Record master, copy;
  ResetConfig(master.p, true);
  std::memset(copy.p, 0x11, sizeof(PluginDataRec));
  pCopyConfig(master.p, copy.p);
  EXPECT_EQ(copy.p->TheRendered, nullptr);
  EXPECT_EQ(copy.p->TheOriginalImage, nullptr);
  EXPECT_EQ(std::memcmp(master.p, copy.p, sizeof(PluginDataRec)), 0);

  Record untouched;
  pCopyConfig(nullptr, untouched.p);
  pCopyConfig(master.p, nullptr);
  for (size_t k = 0; k < sizeof(PluginDataRec); ++k) ASSERT_EQ(reinterpret_cast<UInt8*>(untouched.p)[k], 0);
}

TEST(ConfigRecordDeathTest, CopyIntoABlockOfAnotherSizeStops) {
  Record master;
  ResetConfig(master.p, true);
  Ptr small = NewPtrClear(sizeof(PluginDataRec) - 8);
  EXPECT_EXIT(pCopyConfig(master.p, small), ::testing::ExitedWithCode(1),
              "Non-Matching Blocks.*The Size of Source and Dest do not match");
  Ptr shortA = NewPtrClear(16), shortB = NewPtrClear(16);
  EXPECT_EXIT(pCopyConfig(shortA, shortB), ::testing::ExitedWithCode(1), "do not match");
  DisposePtr(small);
  DisposePtr(shortA);
  DisposePtr(shortB);
}

TEST(ConfigRecordDeathTest, NilRecordsStopWithTheirLocation) {
  EXPECT_EXIT(pUncopyConfig(nullptr), ::testing::ExitedWithCode(1),
              "Assertion Failure.*Assertion failed in: Nil data in pUncopyConfig");
  EXPECT_EXIT(InitPluginData(nullptr), ::testing::ExitedWithCode(1), "Nil theConfig on InitPluginData");
  EXPECT_EXIT(InitMyPlugIn(nullptr), ::testing::ExitedWithCode(1), "Unable to allocate new data structure");
}

TEST(ConfigRecord, MediaFormatOfNoRecordIsNTSC) {
  Record r;
  ResetConfig(r.p, true);
  r.p->MediaType = 2;
  EXPECT_EQ(GetMediaFormat(r.p), 2);
  EXPECT_EQ(GetMediaFormat(nullptr), 1);
}

TEST(ConfigRecord, CurrentRectangleFollowsTheActiveOne) {
  Record r;
  ResetConfig(r.p, true);
  r.p->StartRel = {0.1, 0.2, 0.3, 0.4};
  r.p->EndRel = {0.5, 0.6, 0.7, 0.8};
  gConfigWorkSpace.TheConfig = r.p;
  for (SInt16 active : {2, 0, -1}) {
    gConfigWorkSpace.ActiveRel = active;
    EXPECT_EQ(GetCurrentRel().Left, 0.5) << "ActiveRel " << active;
  }
  gConfigWorkSpace.ActiveRel = 1;
  EXPECT_EQ(GetCurrentRel().Left, 0.1);
  PutCurrentRel({0.9, 1.0, 0.0, 0.5});
  EXPECT_EQ(r.p->StartRel.Left, 0.9);
  EXPECT_EQ(r.p->EndRel.Left, 0.5);
  gConfigWorkSpace.ActiveRel = 2;
  PutCurrentRel({0.0, 0.25, 0.0, 0.25});
  EXPECT_EQ(r.p->EndRel.Right, 0.25);
  EXPECT_EQ(r.p->StartRel.Left, 0.9);
  gConfigWorkSpace.TheConfig = nullptr;
}

}  // namespace
