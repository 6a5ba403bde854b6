#include "files/Files.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "text/PascalString.h"

namespace {

// Directory IDs start above the platform's reserved ones (1 and 2).
constexpr SInt32 kFirstDirID = 100;
std::vector<std::string> lgFolders;

bool IsDirectory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string PreferencesPath() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') return xdg;
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] != '/') return std::string();
  return std::string(home) + "/.config";
}

// Creates the folder and its missing parents, as mkdir -p with mode 0700.
bool MakeFolder(const std::string& path) {
  if (IsDirectory(path)) return true;
  size_t slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !MakeFolder(path.substr(0, slash))) return false;
  return ::mkdir(path.c_str(), 0700) == 0 || (errno == EEXIST && IsDirectory(path));
}

const std::string* FolderOf(SInt32 dirID) {
  size_t index = size_t(dirID - kFirstDirID);
  if (dirID < kFirstDirID || index >= lgFolders.size()) return nullptr;
  return &lgFolders[index];
}

}  // namespace

SInt32 DirIDForPath(const std::string& folder) {
  for (size_t k = 0; k < lgFolders.size(); ++k)
    if (lgFolders[k] == folder) return kFirstDirID + SInt32(k);
  lgFolders.push_back(folder);
  return kFirstDirID + SInt32(lgFolders.size() - 1);
}

OSErr FindFolder(SInt16, OSType folderType, Boolean, SInt16* foundVRefNum, SInt32* foundDirID) {
  if (folderType != kPreferencesFolderType) return fnfErr;
  std::string path = PreferencesPath();
  if (path.empty()) return fnfErr;
  if (!MakeFolder(path)) return dirNFErr;
  if (foundVRefNum) *foundVRefNum = kOnSystemDisk;
  if (foundDirID) *foundDirID = DirIDForPath(path);
  return noErr;
}

OSErr FSMakeFSSpec(SInt16 vRefNum, SInt32 dirID, ConstStr255Param name, FSSpec* spec) {
  if (spec == nullptr || name == nullptr) return paramErr;
  const std::string* folder = FolderOf(dirID);
  if (folder == nullptr) return dirNFErr;
  std::string leaf = PascalBytes(name);
  if (leaf.empty() || leaf.size() > 63 || leaf.find('/') != std::string::npos ||
      leaf.find('\0') != std::string::npos || leaf == "." || leaf == "..")
    return paramErr;
  spec->vRefNum = vRefNum;
  spec->parID = dirID;
  CopyPascalString(name, spec->name);
  struct stat st;
  return ::lstat(FSSpecPath(*spec).c_str(), &st) == 0 ? noErr : fnfErr;
}

OSErr FSpMakeFSRef(const FSSpec* source, FSRef* newRef) {
  if (source == nullptr || newRef == nullptr) return paramErr;
  std::memset(newRef, 0, sizeof(FSRef));
  std::string path = FSSpecPath(*source);
  struct stat st;
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return fnfErr;
  if (path.size() >= sizeof(newRef->path)) return paramErr;
  std::memcpy(newRef->path, path.c_str(), path.size() + 1);
  return noErr;
}

std::string FSSpecPath(const FSSpec& spec) {
  const std::string* folder = FolderOf(spec.parID);
  if (folder == nullptr) return std::string();
  return *folder + "/" + PascalBytes(spec.name);
}

std::string FSRefPath(const FSRef& ref) {
  return std::string(ref.path, strnlen(ref.path, sizeof(ref.path)));
}

OSErr FSpRename(const FSSpec* spec, ConstStr255Param newName) {
  if (spec == nullptr || newName == nullptr) return paramErr;
  FSSpec target;
  OSErr err = FSMakeFSSpec(spec->vRefNum, spec->parID, newName, &target);
  if (err == noErr) return dupFNErr;
  if (err != fnfErr) return err;
  std::string from = FSSpecPath(*spec), to = FSSpecPath(target);
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return noErr;
  if (errno == EEXIST) return dupFNErr;
  return errno == ENOENT ? fnfErr : ioErr;
}
