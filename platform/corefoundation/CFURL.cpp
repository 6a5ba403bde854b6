#include "corefoundation/CFURL.h"

struct __CFURL : CFObject {
  explicit __CFURL(std::string p) : path(std::move(p)) {}
  std::string path;
};

CFURLRef CFURLCreateFromFSRef(CFAllocatorRef allocator, const FSRef* fsRef) {
  return fsRef ? CFURLCreateWithFileSystemPath(allocator, FSRefPath(*fsRef)) : nullptr;
}

CFURLRef CFURLCreateWithFileSystemPath(CFAllocatorRef, const std::string& path) {
  if (path.empty() || path[0] != '/') return nullptr;
  return new __CFURL(path);
}

std::string CFURLPath(CFURLRef url) { return url ? url->path : std::string(); }

Boolean CFURLGetFSRef(CFURLRef url, FSRef* fsRef) {
  if (url == nullptr || fsRef == nullptr) return false;
  FSSpec spec;
  const std::string& path = url->path;
  const size_t slash = path.find_last_of('/');
  Str255 leaf;
  const std::string name = path.substr(slash + 1);
  if (name.empty() || name.size() > 255) return false;
  leaf[0] = UInt8(name.size());
  for (size_t k = 0; k < name.size(); ++k) leaf[k + 1] = UInt8(name[k]);
  return FSMakeFSSpec(kOnSystemDisk, DirIDForPath(slash == 0 ? "/" : path.substr(0, slash)), leaf, &spec) == noErr &&
         FSpMakeFSRef(&spec, fsRef) == noErr;
}
