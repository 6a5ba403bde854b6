// Memory blocks that know their size, Mac Roman texts and platform strings.
#include <gtest/gtest.h>

#include <cstring>

#include "corefoundation/CFString.h"
#include "memory/MacMemory.h"
#include "text/PascalString.h"

namespace {

TEST(MemoryBlocks, KnowTheirSizeAndComeZeroed) {
  size_t before = LiveMemoryBlocks();
  Ptr p = NewPtrClear(1234);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(GetPtrSize(p), 1234);
  for (int k = 0; k < 1234; ++k) ASSERT_EQ(p[k], 0);
  Handle h = NewHandleClear(10);
  EXPECT_EQ(GetHandleSize(h), 10);
  std::memcpy(*h, "0123456789", 10);
  SetHandleSize(h, 4);
  EXPECT_EQ(GetHandleSize(h), 4);
  EXPECT_EQ(std::string(*h, 4), "0123");
  EXPECT_EQ(LiveMemoryBlocks(), before + 3);
  DisposeHandle(h);
  DisposePtr(p);
  EXPECT_EQ(LiveMemoryBlocks(), before);
}

TEST(MemoryBlocks, RefuseNegativeAndAbsurdSizesAndInjectedFailures) {
  EXPECT_EQ(NewPtrClear(-1), nullptr);
  EXPECT_EQ(MemError(), memFullErr);
  EXPECT_EQ(NewPtrClear(0x7FFFFFFF), nullptr);
  SetAllocationFailureCountdown(1);
  Ptr first = NewPtrClear(8);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(NewPtrClear(8), nullptr);
  Ptr third = NewPtrClear(8);
  EXPECT_NE(third, nullptr);
  DisposePtr(first);
  DisposePtr(third);
}

TEST(MemoryBlocksDeathTest, DisposingSomethingElseStopsLoudly) {
  static char notABlock[64] = {};
  EXPECT_DEATH(DisposePtr(notABlock + 16), "not a live memory block");
}

TEST(MacRoman, ConvertsHighCharactersBothWays) {
  Str255 s;
  s[0] = 4;
  s[1] = 'a';
  s[2] = 0xA5;  // bullet
  s[3] = 0xC9;  // ellipsis
  s[4] = 0x8E;  // e acute
  EXPECT_EQ(MacRomanToUTF8(s), "a\u2022\u2026\u00E9");
  Str255 back;
  UTF8ToMacRoman("a\u2022\u2026\u00E9\u4E2D", back);
  ASSERT_EQ(back[0], 5);
  EXPECT_EQ(std::memcmp(back + 1, "a\xA5\xC9\x8E?", 5), 0);
}

TEST(MacRoman, CutsAtTwoHundredFiftyFiveCharacters) {
  Str255 s;
  CopyCStringToPascal(std::string(300, 'x').c_str(), s);
  EXPECT_EQ(s[0], 255);
  UTF8ToMacRoman(std::string(300, 'y'), s);
  EXPECT_EQ(s[0], 255);
}

TEST(PlatformStrings, BalanceCreatesAndReleases) {
  size_t before = LiveCFObjects();
  CFStringRef a = CFStringCreateWithPascalString(kCFAllocatorDefault, PStr(""), kCFStringEncodingMacRoman);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(CFStringUTF8(a), "");
  CFRetain(a);
  CFRelease(a);
  EXPECT_EQ(LiveCFObjects(), before + 1);
  CFRelease(a);
  EXPECT_EQ(LiveCFObjects(), before);
  EXPECT_EQ(CFStringCreateWithCString(kCFAllocatorDefault, "\xFF\xFE", kCFStringEncodingUTF8), nullptr);
}

}  // namespace
