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
