// The Resource Manager on real files: resources added, replaced, detached;
// damaged files refused; writes that fail leave the old file as it was.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

#include "TestSupport.h"
#include "memory/MacMemory.h"
#include "resources/ResourceFork.h"
#include "resources/Resources.h"
#include "text/PascalString.h"

namespace {

constexpr ResType kType = FOUR_CHAR_CODE("Test");

FSSpec SpecFor(const TempDir& dir, const char* name) {
  FSSpec spec;
  FSMakeFSSpec(kOnSystemDisk, DirIDForPath(dir.path()), PStr(name), &spec);
  return spec;
}

Handle HandleOf(const std::string& text) {
  Handle h = NewHandle(Size(text.size()));
  std::memcpy(*h, text.data(), text.size());
  return h;
}

std::string TextOf(Handle h) { return std::string(*h, size_t(GetHandleSize(h))); }

// Creates a file holding kType 1 = `text`.
FSSpec FileWith(const TempDir& dir, const std::string& text) {
  FSSpec spec = SpecFor(dir, "file");
  FSpCreateResFile(&spec, FOUR_CHAR_CODE("crea"), FOUR_CHAR_CODE("type"), smSystemScript);
  EXPECT_EQ(ResError(), noErr);
  SInt16 ref = FSpOpenResFile(&spec, fsCurPerm);
  AddResource(HandleOf(text), kType, 1, PStr("one"));
  CloseResFile(ref);
  EXPECT_EQ(ResError(), noErr);
  return spec;
}

ResourceForkContents ParseFile(const std::string& path) {
  std::vector<UInt8> bytes = ReadFileBytes(path);
  ResourceForkContents c;
  EXPECT_TRUE(ParseResourceFork(bytes.data(), bytes.size(), c));
  return c;
}

TEST(ResourceManager, CreatesAddsReadsAndDetaches) {
  TempDir dir;
  size_t blocksBefore = LiveMemoryBlocks();
  FSSpec spec = FileWith(dir, "hello");
  ResourceForkContents c = ParseFile(dir / "file");
  ASSERT_EQ(c.resources.size(), 1u);
  EXPECT_EQ(c.resources[0].name, "one");

  SInt16 ref = FSpOpenResFile(&spec, fsRdPerm);
  ASSERT_GT(ref, 0);
  EXPECT_EQ(CurResFile(), ref);
  Handle h = Get1Resource(kType, 1);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(TextOf(h), "hello");
  EXPECT_EQ(Get1Resource(kType, 2), nullptr);
  EXPECT_EQ(ResError(), resNotFound);
  DetachResource(h);
  CloseResFile(ref);
  EXPECT_EQ(CurResFile(), 0);
  EXPECT_EQ(TextOf(h), "hello");  // a detached handle outlives its file
  DisposeHandle(h);
  EXPECT_EQ(LiveMemoryBlocks(), blocksBefore);
}

TEST(ResourceManager, ReplacingAResourceLeavesExactlyOne) {
  TempDir dir;
  FSSpec spec = FileWith(dir, "old");
  for (const char* text : {"new", "newer"}) {
    SInt16 ref = FSpOpenResFile(&spec, fsCurPerm);
    Handle old = Get1Resource(kType, 1);
    RemoveResource(old);
    DisposeHandle(old);
    AddResource(HandleOf(text), kType, 1, PStr("one"));
    EXPECT_EQ(Count1Resources(kType), 1);
    CloseResFile(ref);
  }
  ResourceForkContents c = ParseFile(dir / "file");
  ASSERT_EQ(c.resources.size(), 1u);
  EXPECT_EQ(std::string(c.resources[0].data.begin(), c.resources[0].data.end()), "newer");
}

TEST(ResourceManager, AddingADuplicateFailsAndChangesNothing) {
  TempDir dir;
  FSSpec spec = FileWith(dir, "first");
  SInt16 ref = FSpOpenResFile(&spec, fsCurPerm);
  Handle extra = HandleOf("second");
  AddResource(extra, kType, 1, nullptr);
  EXPECT_EQ(ResError(), addResFailed);
  CloseResFile(ref);
  DisposeHandle(extra);
  ResourceForkContents c = ParseFile(dir / "file");
  ASSERT_EQ(c.resources.size(), 1u);
}

TEST(ResourceManager, CreatingOverAnExistingFileKeepsIt) {
  TempDir dir;
  FSSpec spec = FileWith(dir, "keep me");
  std::vector<UInt8> before = ReadFileBytes(dir / "file");
  FSpCreateResFile(&spec, FOUR_CHAR_CODE("crea"), FOUR_CHAR_CODE("type"), smSystemScript);
  EXPECT_EQ(ResError(), dupFNErr);
  EXPECT_EQ(ReadFileBytes(dir / "file"), before);
}

TEST(ResourceManager, KeepsTypeAndCreatorWhereTheFileSystemCan) {
  TempDir dir;
  FSSpec spec = FileWith(dir, "x");
  FInfo info;
  ASSERT_EQ(FSpGetFInfo(&spec, &info), noErr);
  if (info.fdType == 0) GTEST_SKIP() << "no extended attributes on " << dir.path();
  EXPECT_EQ(info.fdType, FOUR_CHAR_CODE("type"));
  EXPECT_EQ(info.fdCreator, FOUR_CHAR_CODE("crea"));
}

TEST(ResourceManager, RefusesDamagedFilesAndFolders) {
  TempDir dir;
  WriteFileBytes(dir / "file", {'n', 'o', 't', ' ', 'a', ' ', 'r', 'e', 's', 'o', 'u', 'r', 'c', 'e', 's', '!', '!'});
  FSSpec spec = SpecFor(dir, "file");
  EXPECT_EQ(FSpOpenResFile(&spec, fsCurPerm), -1);
  EXPECT_EQ(ResError(), mapReadErr);
  WriteFileBytes(dir / "file", {});
  EXPECT_EQ(FSpOpenResFile(&spec, fsCurPerm), -1);
  EXPECT_EQ(ResError(), mapReadErr);

  ::mkdir((dir / "folder").c_str(), 0700);
  FSSpec folder = SpecFor(dir, "folder");
  EXPECT_EQ(FSpOpenResFile(&folder, fsCurPerm), -1);
  EXPECT_NE(ResError(), noErr);
  EXPECT_EQ(CurResFile(), 0);
}

TEST(ResourceManager, AFailedWriteLeavesTheOldFileAndNoTemporary) {
  TempDir dir;
  FSSpec spec = FileWith(dir, "precious");
  std::vector<UInt8> before = ReadFileBytes(dir / "file");

  // A full disk: the file-size limit makes writes past 300 bytes fail.
  SInt16 ref = FSpOpenResFile(&spec, fsCurPerm);
  AddResource(HandleOf(std::string(5000, 'x')), kType, 2, nullptr);
  struct rlimit saved;
  ::getrlimit(RLIMIT_FSIZE, &saved);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = {300, saved.rlim_max};
  ::setrlimit(RLIMIT_FSIZE, &small);
  UpdateResFile(ref);
  OSErr err = ResError();
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(err, dskFulErr);
  EXPECT_EQ(ReadFileBytes(dir / "file"), before);
  EXPECT_EQ(FolderEntries(dir.path()).size(), 1u) << "a temporary file was left behind";

  // Once there is room again the pending change is written.
  CloseResFile(ref);
  EXPECT_EQ(ResError(), noErr);
  EXPECT_EQ(ParseFile(dir / "file").resources.size(), 2u);
}

TEST(ResourceManager, AReadOnlyFolderRefusesTheWriteAndKeepsTheFile) {
  TempDir dir;
  FSSpec spec = FileWith(dir, "precious");
  std::vector<UInt8> before = ReadFileBytes(dir / "file");
  EXPECT_EXIT(
      {
        BecomeUnprivilegedOwnerOf(dir.path());
        SInt16 ref = FSpOpenResFile(&spec, fsCurPerm);
        AddResource(HandleOf("more"), kType, 2, nullptr);
        ::chmod(dir.path().c_str(), 0500);
        CloseResFile(ref);
        bool refused = ResError() != noErr;
        bool kept = ReadFileBytes(dir / "file") == before && FolderEntries(dir.path()).size() == 1;
        ::chmod(dir.path().c_str(), 0700);
        std::_Exit(refused && kept ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(ResourceManager, TheCurrentFileFallsBackWhenItCloses) {
  TempDir a, b;
  FSSpec first = FileWith(a, "a"), second = FileWith(b, "b");
  SInt16 refA = FSpOpenResFile(&first, fsRdPerm);
  SInt16 refB = FSpOpenResFile(&second, fsRdPerm);
  EXPECT_EQ(CurResFile(), refB);
  EXPECT_EQ(TextOf(Get1Resource(kType, 1)), "b");
  UseResFile(refA);
  EXPECT_EQ(TextOf(Get1Resource(kType, 1)), "a");
  UseResFile(refB);
  CloseResFile(refB);
  EXPECT_EQ(CurResFile(), refA);
  CloseResFile(refA);
}

}  // namespace
