#include "OutputFiles.h"

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
  std::remove(path);
  return 0;
}

std::string Reason(int err) { return std::strerror(err); }

}  // namespace

std::string TemporaryBeside(const std::string& output) {
  const size_t slash = output.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : output.substr(0, slash);
  const std::string leaf = slash == std::string::npos ? output : output.substr(slash + 1);
  const size_t dot = leaf.find_last_of('.');
  const std::string ext = dot == std::string::npos || dot == 0 ? "" : leaf.substr(dot);
  return folder + "/." + leaf + ".partial-" + std::to_string(::getpid()) + ext;
}

bool OutputAllowed(const std::string& source, const std::string& output, bool overwrite, bool folderOutput,
                   std::string& error) {
  struct stat in, out, link;
  // stat follows symlinks, so a link to the clip and the clip itself agree.
  if (::stat(source.c_str(), &in) == 0 && ::stat(output.c_str(), &out) == 0 && SameFile(in, out)) {
    error = output + " is the same file as the clip " + source + "; the render would replace its own source";
    return false;
  }
  // The output's folder must take the work in progress beside it.
  const size_t slash = output.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : output.substr(0, slash);
  if (::access(folder.c_str(), W_OK | X_OK) != 0) {
    error = "cannot write " + output + ": " + Reason(errno == ENOENT ? ENOENT : errno) + " (" + folder + ")";
    return false;
  }
  if (::lstat(output.c_str(), &link) != 0) return true;  // a new output
  if (!overwrite) {
    error = output + " exists; give --overwrite (or -y) to replace it";
    return false;
  }
  if (!folderOutput && ::stat(output.c_str(), &out) == 0 && S_ISDIR(out.st_mode)) {
    error = output + " is a folder; a file cannot replace it";
    return false;
  }
  return true;
}

bool PlaceOutput(const std::string& temp, const std::string& output, bool overwrite, std::string& error) {
  if (!overwrite) {
    // Put in place only where nothing is: an output that appeared since the
    // check is kept.
    if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, output.c_str(), RENAME_NOREPLACE) == 0) return true;
    int err = errno;
    struct stat st;
    if (err == EINVAL && ::lstat(output.c_str(), &st) != 0) {  // a file system without that flag
      if (::rename(temp.c_str(), output.c_str()) == 0) return true;
      err = errno;
    }
    RemoveOutput(temp);
    error = err == EEXIST ? output + " appeared while the render ran; it was kept and nothing was written"
                          : "cannot write " + output + ": " + Reason(err);
    return false;
  }
  struct stat old, made;
  const bool replacing = ::lstat(output.c_str(), &old) == 0;
  const bool folder = ::lstat(temp.c_str(), &made) == 0 && S_ISDIR(made.st_mode);
  // A file takes an old file's place in one step; a folder cannot be renamed
  // over a full folder or a file, so the old one is moved aside first and
  // back on failure.
  const bool moveAside = replacing && (folder || S_ISDIR(old.st_mode));
  const std::string aside = TemporaryBeside(output) + ".replaced";
  if (moveAside && ::rename(output.c_str(), aside.c_str()) != 0) {
    const int err = errno;
    RemoveOutput(temp);
    error = "cannot replace " + output + ": " + Reason(err);
    return false;
  }
  const bool movedAside = moveAside;
  if (::rename(temp.c_str(), output.c_str()) != 0) {
    const int err = errno;
    if (movedAside) ::rename(aside.c_str(), output.c_str());
    RemoveOutput(temp);
    error = "cannot write " + output + ": " + Reason(err);
    return false;
  }
  if (movedAside) RemoveOutput(aside);
  return true;
}

void RemoveOutput(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return;
  if (!S_ISDIR(st.st_mode)) {
    std::remove(path.c_str());
    return;
  }
  ::nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}
