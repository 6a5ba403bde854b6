#include "bundle/Bundle.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>

#include "files/Files.h"
#include "memory/MacMemory.h"
#include "resources/Resources.h"
#include "text/PascalString.h"

struct __CFBundle {
  std::string path;
};

namespace {

std::string lgBundleOverride;
SInt16 lgBundleResFile = 0;  // 0 until the bundle's resource file is opened

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r");
  size_t e = s.find_last_not_of(" \t\r");
  return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

std::string Parent(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool IsFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

SInt16 BundleResFile() {
  if (lgBundleResFile > 0) return lgBundleResFile;
  std::string bundle = OwnBundlePath();
  if (bundle.empty()) return 0;
  std::string folder = bundle + "/Contents/Resources";
  Str255 name;
  CopyCStringToPascal(kBundleResourceFileName, name);
  FSSpec spec;
  if (FSMakeFSSpec(kOnSystemDisk, DirIDForPath(folder), name, &spec) != noErr) return 0;
  SInt16 saved = CurResFile();
  SInt16 ref = FSpOpenResFile(&spec, fsRdPerm);
  UseResFile(saved);
  if (ref > 0) lgBundleResFile = ref;
  return lgBundleResFile;
}

UInt16 Read16(const UInt8* p) { return UInt16((p[0] << 8) | p[1]); }

}  // namespace

bool ReadBundleManifest(const std::string& bundlePath, BundleManifest& out, std::string& error) {
  std::string manifestPath = bundlePath + "/Contents/" + kBundleManifestName;
  std::ifstream in(manifestPath);
  if (!in) {
    error = "not a bundle: " + manifestPath + " is missing";
    return false;
  }
  BundleManifest m;
  std::string line;
  while (std::getline(in, line)) {
    size_t colon = line.find(':');
    if (line.empty() || line[0] == '#' || colon == std::string::npos) continue;
    std::string key = Trim(line.substr(0, colon)), value = Trim(line.substr(colon + 1));
    if (key == "Identifier") m.identifier = value;
    if (key == "Executable") m.executable = value;
  }
  if (m.identifier.empty() || m.executable.empty()) {
    error = "bundle manifest " + manifestPath + " lacks an Identifier or an Executable line";
    return false;
  }
  if (m.executable.find("..") != std::string::npos || m.executable[0] == '/') {
    error = "bundle manifest " + manifestPath + " names an executable outside the bundle";
    return false;
  }
  out = m;
  return true;
}

std::string OwnBundlePath() {
  if (!lgBundleOverride.empty()) return lgBundleOverride;
  Dl_info info;
  if (::dladdr(reinterpret_cast<void*>(&OwnBundlePath), &info) == 0 || info.dli_fname == nullptr)
    return std::string();
  char resolved[4096];
  if (::realpath(info.dli_fname, resolved) == nullptr) return std::string();
  // <bundle>/Contents/<platform folder>/<library>
  std::string contents = Parent(Parent(resolved));
  if (contents.size() < 9 || contents.compare(contents.size() - 9, 9, "/Contents") != 0)
    return std::string();
  std::string bundle = Parent(contents);
  return IsFile(contents + "/" + kBundleManifestName) ? bundle : std::string();
}

void SetOwnBundlePath(const std::string& bundlePath) {
  lgBundleOverride = bundlePath;
  if (lgBundleResFile > 0) CloseResFile(lgBundleResFile);
  lgBundleResFile = 0;
}

CFBundleRef CFBundleGetBundleWithIdentifier(CFStringRef bundleID) {
  static __CFBundle own;
  std::string path = OwnBundlePath();
  BundleManifest manifest;
  std::string error;
  if (path.empty() || !ReadBundleManifest(path, manifest, error)) return nullptr;
  if (manifest.identifier != CFStringUTF8(bundleID)) return nullptr;
  own.path = path;
  return &own;
}

std::string CFBundlePath(CFBundleRef bundle) { return bundle ? bundle->path : std::string(); }

CFURLRef CFBundleCopyResourceURL(CFBundleRef bundle, CFStringRef name, CFStringRef type, CFStringRef subfolder) {
  if (bundle == nullptr || name == nullptr) return nullptr;
  std::string path = bundle->path + "/Contents/Resources/";
  if (subfolder != nullptr) path += CFStringUTF8(subfolder) + "/";
  path += CFStringUTF8(name);
  if (type != nullptr) path += "." + CFStringUTF8(type);
  return IsFile(path) ? CFURLCreateWithFileSystemPath(kCFAllocatorDefault, path) : nullptr;
}

void GetIndString(Str255 theString, SInt16 listID, SInt16 index) {
  theString[0] = 0;
  SInt16 file = BundleResFile();
  if (file <= 0 || index < 1) return;
  SInt16 saved = CurResFile();
  UseResFile(file);
  Handle list = Get1Resource(FOUR_CHAR_CODE("STR#"), listID);
  UseResFile(saved);
  if (list == nullptr) return;
  // A count, then length-prefixed strings; a damaged list ends where it runs out.
  const UInt8* p = reinterpret_cast<const UInt8*>(*list);
  const size_t size = size_t(GetHandleSize(list));
  if (size < 2 || index > Read16(p)) return;
  size_t at = 2;
  for (SInt16 k = 1; k < index; ++k) {
    if (at >= size) return;
    at += 1 + p[at];
  }
  if (at >= size || at + 1 + p[at] > size) return;
  std::memcpy(theString, p + at, size_t(p[at]) + 1);
}
