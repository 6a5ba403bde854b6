// Helpers shared by the tests: temporary folders, a private Preferences
// folder, and a recorder for alerts.
#pragma once

#include <string>
#include <vector>

#include "HostPluginSDK.h"
#include "alerts/Alerts.h"
#include "MacTypes.h"

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kUnderSanitizers = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kUnderSanitizers = true;
#else
constexpr bool kUnderSanitizers = false;
#endif
#else
constexpr bool kUnderSanitizers = false;
#endif

// The text quoted for the shell.
inline std::string Quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// A fresh folder under $TMPDIR, removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& leaf) const { return path_ + "/" + leaf; }

 private:
  std::string path_;
};

// Points $XDG_CONFIG_HOME at a fresh folder for the lifetime of the object.
class ScopedPreferences {
 public:
  ScopedPreferences();
  ~ScopedPreferences();
  std::string folder() const { return dir_.path(); }
  std::string settingsFile() const { return dir_ / "kwz41-Prefs"; }

 private:
  TempDir dir_;
  std::string previous_;
  bool hadPrevious_;
};

// Records every alert shown while it lives and answers with `answer`.
class AlertRecorder {
 public:
  explicit AlertRecorder(DialogItemIndex answer = 1);
  ~AlertRecorder();
  const std::vector<AlertContent>& alerts() const;

 private:
  AlertPresenter previous_;
};

// For a test run as root, where permissions do not bind: hands `folder` to an
// unprivileged user and becomes that user. Call it only in a child process
// (a death test), since it cannot be undone.
void BecomeUnprivilegedOwnerOf(const std::string& folder);

// Host memory callbacks that count the blocks the plug-in allocates.
HYProcs CountingMemoryProcs();
int& CountedAllocations();

std::vector<UInt8> ReadFileBytes(const std::string& path);
struct ResourceForkContents;
// The resource file of `contents`; fails the test when it cannot be written.
std::vector<UInt8> ResourceFileBytes(const ResourceForkContents& contents);
void WriteFileBytes(const std::string& path, const std::vector<UInt8>& bytes);
bool PathExists(const std::string& path);
// Removes a file, or a folder with everything in it.
void RemoveTree(const std::string& path);
std::vector<std::string> FolderEntries(const std::string& folder);
