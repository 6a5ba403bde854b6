#include "resources/Resources.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "memory/MacMemory.h"
#include "resources/ResourceFork.h"
#include "text/PascalString.h"

namespace {

struct OpenResource {
  ResourceEntry entry;
  Handle handle = nullptr;  // loaded data, owned by the file while set
  bool changed = false;
};

struct OpenResFile {
  SInt16 refNum;
  std::string path;
  bool writable;
  bool dirty = false;
  UInt16 fileAttributes = 0;
  std::vector<OpenResource> resources;
  // Loaded data goes with the file, also for files still open when the process ends.
  ~OpenResFile() {
    for (OpenResource& r : resources) DisposeHandle(r.handle);
  }
};

const char kFinderInfoAttr[] = "user.com.apple.FinderInfo";

// The resource chain: files in the order they were opened, the newest last.
std::vector<std::unique_ptr<OpenResFile>> lgChain;
SInt16 lgCurrent = 0;
SInt16 lgNextRefNum = 1;
OSErr lgResError = noErr;

OSErr ErrnoToOSErr(int err) {
  switch (err) {
    case ENOENT: return fnfErr;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return dskFulErr;
    case EACCES:
    case EPERM:
    case EROFS: return permErr;
    default: return ioErr;
  }
}

OpenResFile* FileByRef(SInt16 refNum) {
  for (auto& f : lgChain)
    if (f->refNum == refNum) return f.get();
  return nullptr;
}

OpenResFile* CurrentFile() { return FileByRef(lgCurrent); }

// The file and the resource that own `h`, if any.
OpenResource* ResourceOwning(Handle h, OpenResFile** owner = nullptr) {
  if (h == nullptr) return nullptr;
  for (auto& f : lgChain)
    for (OpenResource& r : f->resources)
      if (r.handle == h) {
        if (owner) *owner = f.get();
        return &r;
      }
  return nullptr;
}

bool WriteAll(int fd, const UInt8* bytes, size_t length) {
  while (length > 0) {
    ssize_t n = ::write(fd, bytes, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    bytes += n;
    length -= size_t(n);
  }
  return true;
}

void SyncFolderOf(const std::string& path) {
  std::string folder = path.substr(0, path.find_last_of('/'));
  int dfd = ::open(folder.empty() ? "/" : folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
}

// Writes `bytes` to a temporary file beside `path`, flushes it and puts it in
// place: renamed over an existing file when `replace`, linked only where no
// file exists otherwise. The Finder info travels with the contents. On any
// failure the temporary is removed and `path` is as it was.
OSErr WriteFileAtomically(const std::string& path, const std::vector<UInt8>& bytes,
                          const UInt8 finderInfo[32], bool replace) {
  std::string folder = path.substr(0, path.find_last_of('/') + 1);
  std::string leaf = path.substr(folder.size());
  std::string temp = folder + "." + leaf + ".tmp-XXXXXX";
  int fd = ::mkstemp(temp.data());
  if (fd < 0) return ErrnoToOSErr(errno);
  struct stat old;
  if (replace && ::stat(path.c_str(), &old) == 0) ::fchmod(fd, old.st_mode & 07777);
  bool ok = WriteAll(fd, bytes.data(), bytes.size()) && ::fsync(fd) == 0;
  int err = errno;
  if (ok && finderInfo) ::fsetxattr(fd, kFinderInfoAttr, finderInfo, 32, 0);  // best effort
  if (::close(fd) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (ok) {
    int placed = replace ? ::rename(temp.c_str(), path.c_str()) : ::link(temp.c_str(), path.c_str());
    if (placed != 0) {
      ok = false;
      err = errno;
    }
  }
  if (!ok || !replace) ::unlink(temp.c_str());
  if (!ok) return err == EEXIST ? OSErr(dupFNErr) : ErrnoToOSErr(err);
  SyncFolderOf(path);
  return noErr;
}

bool ReadFinderInfo(const std::string& path, UInt8 finderInfo[32]) {
  std::memset(finderInfo, 0, 32);
  return ::getxattr(path.c_str(), kFinderInfoAttr, finderInfo, 32) == 32;
}

// Reads a regular file of at most `limit` bytes.
OSErr ReadWholeFile(const std::string& path, size_t limit, std::vector<UInt8>& out) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return ErrnoToOSErr(errno);
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return ioErr;
  }
  if (size_t(st.st_size) > limit) {
    ::close(fd);
    return mapReadErr;
  }
  out.resize(size_t(st.st_size));
  size_t got = 0;
  while (got < out.size()) {
    ssize_t n = ::read(fd, out.data() + got, out.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += size_t(n);
  }
  ::close(fd);
  if (got != out.size()) return ioErr;
  return noErr;
}

Handle HandleWithBytes(const std::vector<UInt8>& bytes) {
  Handle h = NewHandle(Size(bytes.size()));
  if (h != nullptr && !bytes.empty()) std::memcpy(*h, bytes.data(), bytes.size());
  return h;
}

std::vector<UInt8> BytesOfHandle(Handle h) {
  const UInt8* p = reinterpret_cast<const UInt8*>(*h);
  return std::vector<UInt8>(p, p + GetHandleSize(h));
}

OSErr WriteResFile(OpenResFile& file) {
  if (!file.writable) return wrPermErr;
  ResourceForkContents contents;
  contents.fileAttributes = file.fileAttributes;
  for (OpenResource& r : file.resources) {
    ResourceEntry e = r.entry;
    if (r.changed && r.handle != nullptr) e.data = BytesOfHandle(r.handle);
    contents.resources.push_back(std::move(e));
  }
  // Contents the format cannot hold leave the file as it was.
  std::vector<UInt8> bytes;
  if (!SerializeResourceFork(contents, bytes)) return addResFailed;
  UInt8 finderInfo[32];
  bool hasInfo = ReadFinderInfo(file.path, finderInfo);
  OSErr err = WriteFileAtomically(file.path, bytes, hasInfo ? finderInfo : nullptr, true);
  if (err != noErr) return err;
  for (size_t k = 0; k < file.resources.size(); ++k) {
    file.resources[k].entry.data = std::move(contents.resources[k].data);
    file.resources[k].changed = false;
  }
  file.dirty = false;
  return noErr;
}

}  // namespace

void FSpCreateResFile(const FSSpec* spec, OSType creator, OSType fileType, SInt16) {
  std::string path = spec ? FSSpecPath(*spec) : std::string();
  if (path.empty()) {
    lgResError = paramErr;
    return;
  }
  UInt8 finderInfo[32] = {};
  for (int k = 0; k < 4; ++k) {
    finderInfo[k] = UInt8(fileType >> (24 - 8 * k));
    finderInfo[4 + k] = UInt8(creator >> (24 - 8 * k));
  }
  std::vector<UInt8> empty;
  SerializeResourceFork(ResourceForkContents{}, empty);
  lgResError = WriteFileAtomically(path, empty, finderInfo, false);
}

SInt16 FSpOpenResFile(const FSSpec* spec, SInt8 permission) {
  std::string path = spec ? FSSpecPath(*spec) : std::string();
  if (path.empty()) {
    lgResError = paramErr;
    return -1;
  }
  for (auto& f : lgChain)
    if (f->path == path) {
      lgCurrent = f->refNum;
      lgResError = noErr;
      return f->refNum;
    }
  std::vector<UInt8> bytes;
  OSErr err = ReadWholeFile(path, kLargestResourceFork, bytes);
  ResourceForkContents contents;
  if (err == noErr && !ParseResourceFork(bytes.data(), bytes.size(), contents)) err = mapReadErr;
  if (err != noErr) {
    lgResError = err;
    return -1;
  }
  auto file = std::make_unique<OpenResFile>();
  file->refNum = lgNextRefNum++;
  file->path = path;
  bool wantsWrite = permission == fsCurPerm || permission == fsWrPerm || permission == fsRdWrPerm;
  file->writable = wantsWrite && ::access(path.c_str(), W_OK) == 0;
  if (!file->writable && (permission == fsWrPerm || permission == fsRdWrPerm)) {
    lgResError = permErr;
    return -1;
  }
  file->fileAttributes = contents.fileAttributes;
  for (ResourceEntry& e : contents.resources) file->resources.push_back({std::move(e), nullptr, false});
  lgCurrent = file->refNum;
  lgChain.push_back(std::move(file));
  lgResError = noErr;
  return lgCurrent;
}

void UseResFile(SInt16 refNum) {
  if (refNum == 0 || FileByRef(refNum) != nullptr) {
    lgCurrent = refNum;
    lgResError = noErr;
  } else {
    lgResError = resFNotFound;
  }
}

SInt16 CurResFile() { return lgCurrent; }

void UpdateResFile(SInt16 refNum) {
  OpenResFile* file = FileByRef(refNum);
  if (file == nullptr) {
    lgResError = resFNotFound;
    return;
  }
  lgResError = file->dirty ? WriteResFile(*file) : OSErr(noErr);
}

void CloseResFile(SInt16 refNum) {
  for (size_t k = 0; k < lgChain.size(); ++k) {
    OpenResFile& file = *lgChain[k];
    if (file.refNum != refNum) continue;
    lgResError = file.dirty ? WriteResFile(file) : OSErr(noErr);
    lgChain.erase(lgChain.begin() + long(k));
    if (lgCurrent == refNum) lgCurrent = lgChain.empty() ? 0 : lgChain.back()->refNum;
    return;
  }
  lgResError = resFNotFound;
}

OSErr ResError() { return lgResError; }

Handle Get1Resource(ResType type, ResID id) {
  OpenResFile* file = CurrentFile();
  if (file == nullptr) {
    lgResError = resFNotFound;
    return nullptr;
  }
  for (OpenResource& r : file->resources) {
    if (r.entry.type != type || r.entry.id != id) continue;
    if (r.handle == nullptr) r.handle = HandleWithBytes(r.entry.data);
    lgResError = r.handle ? noErr : memFullErr;
    return r.handle;
  }
  lgResError = resNotFound;
  return nullptr;
}

SInt16 Count1Resources(ResType type) {
  OpenResFile* file = CurrentFile();
  SInt16 count = 0;
  if (file)
    for (const OpenResource& r : file->resources) count += r.entry.type == type;
  lgResError = file ? noErr : resFNotFound;
  return count;
}

void AddResource(Handle data, ResType type, ResID id, ConstStr255Param name) {
  OpenResFile* file = CurrentFile();
  if (file == nullptr || data == nullptr || ResourceOwning(data) != nullptr) {
    lgResError = addResFailed;
    return;
  }
  for (const OpenResource& r : file->resources)
    if (r.entry.type == type && r.entry.id == id) {
      lgResError = addResFailed;
      return;
    }
  OpenResource r;
  r.entry.type = type;
  r.entry.id = id;
  if (name != nullptr) {
    r.entry.hasName = true;
    r.entry.name = PascalBytes(name);
  }
  r.handle = data;
  r.changed = true;
  file->resources.push_back(std::move(r));
  file->dirty = true;
  lgResError = noErr;
}

void RemoveResource(Handle resource) {
  OpenResFile* file = nullptr;
  OpenResource* r = ResourceOwning(resource, &file);
  if (r == nullptr) {
    lgResError = rmvResFailed;
    return;
  }
  // The handle becomes an ordinary handle of the caller's.
  file->resources.erase(file->resources.begin() + (r - file->resources.data()));
  file->dirty = true;
  lgResError = noErr;
}

void DetachResource(Handle resource) {
  OpenResFile* file = nullptr;
  OpenResource* r = ResourceOwning(resource, &file);
  if (r == nullptr) {
    lgResError = resNotFound;
    return;
  }
  if (r->changed) r->entry.data = BytesOfHandle(r->handle);
  r->handle = nullptr;
  lgResError = noErr;
}

void ReleaseResource(Handle resource) {
  OpenResource* r = ResourceOwning(resource);
  if (r == nullptr) {
    lgResError = resNotFound;
    return;
  }
  // A changed resource keeps its new data for the next write.
  if (r->changed) r->entry.data = BytesOfHandle(r->handle);
  DisposeHandle(r->handle);
  r->handle = nullptr;
  lgResError = noErr;
}

void ChangedResource(Handle resource) {
  OpenResFile* file = nullptr;
  OpenResource* r = ResourceOwning(resource, &file);
  if (r == nullptr) {
    lgResError = resNotFound;
    return;
  }
  r->changed = true;
  file->dirty = true;
  lgResError = noErr;
}

void GetResInfo(Handle resource, ResID* id, ResType* type, Str255 name) {
  OpenResource* r = ResourceOwning(resource);
  if (r == nullptr) {
    lgResError = resNotFound;
    return;
  }
  if (id) *id = r->entry.id;
  if (type) *type = r->entry.type;
  if (name) {
    size_t n = r->entry.name.size() < 255 ? r->entry.name.size() : 255;
    name[0] = UInt8(n);
    std::memcpy(name + 1, r->entry.name.data(), n);
  }
  lgResError = noErr;
}

OSErr FSpGetFInfo(const FSSpec* spec, FInfo* info) {
  if (spec == nullptr || info == nullptr) return paramErr;
  UInt8 finderInfo[32];
  std::string path = FSSpecPath(*spec);
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return fnfErr;
  ReadFinderInfo(path, finderInfo);
  info->fdType = (OSType(finderInfo[0]) << 24) | (finderInfo[1] << 16) | (finderInfo[2] << 8) | finderInfo[3];
  info->fdCreator =
      (OSType(finderInfo[4]) << 24) | (finderInfo[5] << 16) | (finderInfo[6] << 8) | finderInfo[7];
  return noErr;
}
