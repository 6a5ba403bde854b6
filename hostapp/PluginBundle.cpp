#include "PluginBundle.h"

#include <dirent.h>
#include <dlfcn.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace {

bool IsDirectory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

std::string RealPath(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

}  // namespace

std::vector<std::string> PluginSearchPath(const std::string& extraFolders) {
  std::vector<std::string> path;
  std::string folders = extraFolders;
  if (const char* env = std::getenv("QUORVEL_PLUGIN_PATH")) folders += std::string(":") + env;
  size_t start = 0;
  while (start <= folders.size()) {
    size_t colon = folders.find(':', start);
    std::string folder = folders.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
    if (!folder.empty()) path.push_back(folder);
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  // An installed host takes the bundles installed beside it; only a host
  // run from the build tree takes the build tree's.
  const std::string self = RealPath("/proc/self/exe"), build = RealPath(QUORVEL_BUILD_PLUGIN_DIR);
  if (!build.empty() && self.compare(0, build.size() + 1, build + "/") == 0) {
    path.push_back(QUORVEL_BUILD_PLUGIN_DIR);
  } else if (!self.empty()) {
    const std::string beside = self.substr(0, self.rfind('/')) + "/../lib/quorvel/plugins";
    path.push_back(RealPath(beside).empty() ? beside : RealPath(beside));
  }
  path.push_back(QUORVEL_INSTALLED_PLUGIN_DIR);
  return path;
}

std::string FindBundle(const std::vector<std::string>& searchPath) {
  for (const std::string& folder : searchPath) {
    if (IsDirectory(folder + "/Quorvel.bundle")) return folder + "/Quorvel.bundle";
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) continue;
    std::vector<std::string> bundles;
    while (dirent* item = ::readdir(dir)) {
      std::string name = item->d_name;
      if (EndsWith(name, ".bundle") && IsDirectory(folder + "/" + name)) bundles.push_back(name);
    }
    ::closedir(dir);
    std::sort(bundles.begin(), bundles.end());
    if (!bundles.empty()) return folder + "/" + bundles.front();
  }
  return std::string();
}

bool LoadPluginBundle(const std::string& bundlePath, LoadedPlugin& out, std::string& error) {
  if (!IsDirectory(bundlePath)) {
    error = "not a bundle: " + bundlePath + " is not a folder";
    return false;
  }
  BundleManifest manifest;
  if (!ReadBundleManifest(bundlePath, manifest, error)) return false;
  std::string libraryPath = bundlePath + "/Contents/" + manifest.executable;
  struct stat st;
  if (::stat(libraryPath.c_str(), &st) != 0) {
    error = "bundle " + bundlePath + " has no library: " + libraryPath + " is missing";
    return false;
  }
  void* library = ::dlopen(libraryPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* why = ::dlerror();
    error = "cannot load " + libraryPath + ": " + (why ? why : "unknown reason");
    return false;
  }
  void* symbol = ::dlsym(library, kHYPluginEntrySymbol);
  // The symbol must come from the bundle's own library, not from a library it uses.
  Dl_info info;
  if (symbol == nullptr || ::dladdr(symbol, &info) == 0 || info.dli_fname == nullptr ||
      RealPath(info.dli_fname) != RealPath(libraryPath)) {
    ::dlclose(library);
    error = "library " + libraryPath + " has no entry point \"" + kHYPluginEntrySymbol + "\"";
    return false;
  }
  out.bundlePath = bundlePath;
  out.manifest = manifest;
  out.library = library;
  out.entry = reinterpret_cast<HYPluginEntry>(symbol);
  return true;
}
