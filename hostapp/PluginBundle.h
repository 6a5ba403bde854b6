// Finding plug-in bundles and loading their libraries.
#pragma once

#include <string>
#include <vector>

#include "HostPluginSDK.h"
#include "bundle/Bundle.h"

struct LoadedPlugin {
  std::string bundlePath;
  BundleManifest manifest;
  void* library = nullptr;
  HYPluginEntry entry = nullptr;
};

// The plug-in search path: the extra folders and $QUORVEL_PLUGIN_PATH
// (folders separated by ':'), then the build tree's bundle folder for a host
// run from the build tree, or ../lib/quorvel/plugins beside an installed
// one, then the plug-in folder of the install prefix.
std::vector<std::string> PluginSearchPath(const std::string& extraFolders);
// The first bundle (a folder ending in ".bundle" with a manifest) found on the
// path, "Quorvel.bundle" before others in the same folder; empty when none.
std::string FindBundle(const std::vector<std::string>& searchPath);
// Loads the bundle's library and finds its entry point "main". On failure
// `error` is a one-line explanation.
bool LoadPluginBundle(const std::string& bundlePath, LoadedPlugin& out, std::string& error);
