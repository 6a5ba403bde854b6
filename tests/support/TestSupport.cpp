#include "TestSupport.h"

#include "memory/MacMemory.h"
#include "resources/ResourceFork.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace {

std::vector<AlertContent> lgRecorded;
DialogItemIndex lgAnswer = 1;

DialogItemIndex RecordAlert(const AlertContent& content) {
  lgRecorded.push_back(content);
  return lgAnswer;
}

}  // namespace

void RemoveTree(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return;
  if (S_ISDIR(st.st_mode)) {
    ::chmod(path.c_str(), 0700);
    for (const std::string& leaf : FolderEntries(path)) RemoveTree(path + "/" + leaf);
    ::rmdir(path.c_str());
  } else {
    ::unlink(path.c_str());
  }
}

namespace {

void ChownTree(const std::string& path, uid_t uid, gid_t gid) {
  ::lchown(path.c_str(), uid, gid);
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    for (const std::string& leaf : FolderEntries(path)) ChownTree(path + "/" + leaf, uid, gid);
}

}  // namespace

void BecomeUnprivilegedOwnerOf(const std::string& folder) {
  if (::geteuid() != 0) return;
  const uid_t nobody = 65534;
  ChownTree(folder, nobody, nobody);
  if (::setgid(nobody) != 0 || ::setuid(nobody) != 0) std::abort();
}

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/quorvel-test-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() { RemoveTree(path_); }

ScopedPreferences::ScopedPreferences() {
  const char* old = std::getenv("XDG_CONFIG_HOME");
  hadPrevious_ = old != nullptr;
  if (old) previous_ = old;
  ::setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1);
}

ScopedPreferences::~ScopedPreferences() {
  if (hadPrevious_)
    ::setenv("XDG_CONFIG_HOME", previous_.c_str(), 1);
  else
    ::unsetenv("XDG_CONFIG_HOME");
}

AlertRecorder::AlertRecorder(DialogItemIndex answer) {
  lgRecorded.clear();
  lgAnswer = answer;
  previous_ = SetAlertPresenter(RecordAlert);
}

AlertRecorder::~AlertRecorder() { SetAlertPresenter(previous_); }

const std::vector<AlertContent>& AlertRecorder::alerts() const { return lgRecorded; }

std::vector<UInt8> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<UInt8>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<UInt8> ResourceFileBytes(const ResourceForkContents& contents) {
  std::vector<UInt8> bytes;
  EXPECT_TRUE(SerializeResourceFork(contents, bytes));
  return bytes;
}

void WriteFileBytes(const std::string& path, const std::vector<UInt8>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

bool PathExists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (dirent* e = ::readdir(dir)) {
      std::string n = e->d_name;
      if (n != "." && n != "..") names.push_back(n);
    }
    ::closedir(dir);
  }
  return names;
}

int& CountedAllocations() {
  static int count = 0;
  return count;
}

namespace {
// The sizes of the blocks the counting host handed out.
std::map<Ptr, SInt32>& CountedBlocks() {
  static std::map<Ptr, SInt32> blocks;
  return blocks;
}
}  // namespace

HYProcs CountingMemoryProcs() {
  HYProcs procs{};
  procs.NewPtrClear = [](SInt32 size) {
    ++CountedAllocations();
    Ptr block = NewPtrClear(size);
    if (block) CountedBlocks()[block] = size;
    return block;
  };
  procs.DisposePtr = [](Ptr p) {
    CountedBlocks().erase(p);
    DisposePtr(p);
  };
  procs.GetPtrSize = [](Ptr p) {
    auto it = CountedBlocks().find(p);
    return it == CountedBlocks().end() ? SInt32(-1) : it->second;
  };
  return procs;
}
