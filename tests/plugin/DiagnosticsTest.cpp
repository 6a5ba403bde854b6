// Alerts as the user sees them, and the small conversions.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "TestSupport.h"
#include "common/commonprocs.h"
#include "text/PascalString.h"

namespace {

TEST(Diagnostics, NotifyShowsOneOkButtonAndReleasesItsTexts) {
  size_t stringsBefore = LiveCFObjects();
  AlertRecorder recorder;
  Notify(PStr(""));
  ASSERT_EQ(recorder.alerts().size(), 1u);
  const AlertContent& a = recorder.alerts()[0];
  EXPECT_EQ(a.type, kAlertCautionAlert);
  EXPECT_EQ(a.message, "Internal Notification:");
  EXPECT_EQ(a.explanation, "");
  EXPECT_EQ(a.defaultButton, "ok");
  EXPECT_EQ(a.cancelButton, "");
  EXPECT_EQ(LiveCFObjects(), stringsBefore);
}

TEST(Diagnostics, StandardWarningAnswersTheButtonPressed) {
  size_t stringsBefore = LiveCFObjects();
  {
    AlertRecorder pressesCancel(2);
    EXPECT_EQ(StandardWarning(PStr("Head"), PStr("Text \xA5"), PStr("Go"), PStr("Stop")), 2);
    const AlertContent& a = pressesCancel.alerts()[0];
    EXPECT_EQ(a.explanation, "Text \u2022");
    EXPECT_EQ(a.defaultButton, "Go");
    EXPECT_EQ(a.cancelButton, "Stop");
  }
  {
    AlertRecorder pressesOk(1);
    EXPECT_EQ(StandardWarning(PStr("Head"), PStr(""), PStr("Go"), PStr("")), 1);
    EXPECT_EQ(pressesOk.alerts()[0].cancelButton, "");
  }
  EXPECT_EQ(LiveCFObjects(), stringsBefore);
}

TEST(Diagnostics, AssertOnASetPointerShowsNothing) {
  AlertRecorder recorder;
  int x = 0;
  Assert(&x, PStr("never shown"));
  EXPECT_TRUE(recorder.alerts().empty());
}

DialogItemIndex PrintDescriptionLength(const AlertContent& a) {
  std::fprintf(stderr, "type %d, headline [%s], description of %zu characters starting [%.21s]\n",
               a.type, a.message.c_str(), a.explanation.size(), a.explanation.c_str());
  return 1;
}

TEST(DiagnosticsDeathTest, AssertOnNilStopsTheProcessWithTheLocation) {
  EXPECT_EXIT(Assert(nullptr, PStr("SetupDialog")), ::testing::ExitedWithCode(1),
              "Error: Assertion Failure Assertion failed in: SetupDialog");
  // A 250-character location is cut so that the whole description is 255.
  std::string location(250, 'L');
  EXPECT_EXIT(
      {
        SetAlertPresenter(PrintDescriptionLength);
        Assert(nullptr, PStr(location.c_str()));
      },
      ::testing::ExitedWithCode(1),
      "type 0, headline \\[Assertion Failure\\], description of 255 characters starting "
      "\\[Assertion failed in: \\]");
}

TEST(Conversions, NumbersBecomeDecimalText) {
  Str255 t;
  Num2Text(0, t);
  EXPECT_EQ(PascalBytes(t), "0");
  Num2Text(INT32_MIN, t);
  EXPECT_EQ(PascalBytes(t), "-2147483648");
  Num2Text(2147483647, t);
  EXPECT_EQ(PascalBytes(t), "2147483647");
  Num2Text(-7, t);
  EXPECT_EQ(PascalBytes(t), "-7");
}

TEST(Conversions, MacRomanStringsBecomePlatformStrings) {
  Str255 s;
  s[0] = 1;
  s[1] = 0xA5;
  CFStringRef cf = MakeCFString(s);
  EXPECT_EQ(CFStringUTF8(cf), "\u2022");
  CFRelease(cf);
}

TEST(Conversions, AFileSpecBecomesAReferenceOnlyWhenTheFileExists) {
  TempDir dir;
  WriteFileBytes(dir / "picture.png", {1, 2, 3});
  FSSpec spec;
  ASSERT_EQ(FSMakeFSSpec(kOnSystemDisk, DirIDForPath(dir.path()), PStr("picture.png"), &spec), noErr);
  EXPECT_EQ(FSRefPath(FSSpec2FSRef(spec)), dir / "picture.png");
  ASSERT_EQ(FSMakeFSSpec(kOnSystemDisk, DirIDForPath(dir.path()), PStr("missing.png"), &spec), fnfErr);
  FSRef none = FSSpec2FSRef(spec);
  FSRef zero{};
  EXPECT_EQ(std::memcmp(&none, &zero, sizeof zero), 0);
}

}  // namespace
