// The plug-in's modules as the layout describes them: the render core
// (common, effect, render, storage, files) includes nothing of the dialog,
// the host-facing module or the toolbox stand-in; the frei0r filter
// includes nothing above the core; the host (hostapp/) no header of the
// plug-in's nor of the QuickDraw, memory or toolbox stand-ins; a plug-in of
// the interface header alone nothing else; and no two modules include each
// other, directly or through others.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>

namespace {

namespace fs = std::filesystem;
const fs::path kSource = QUORVEL_SOURCE_DIR;
const std::set<std::string> kModules = {"host", "effect", "render", "dialog", "storage", "files", "common"};
const std::set<std::string> kCore = {"common", "effect", "render", "storage", "files"};

// What the files of `folder` (and its folders) include, as "module/file"
// paths quoted in them.
std::set<std::string> Includes(const fs::path& folder) {
  std::set<std::string> found;
  const std::regex include("^\\s*#\\s*include\\s*\"([^\"]+)\"");
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path());
    for (std::string line; std::getline(in, line);) {
      std::smatch m;
      if (std::regex_search(line, m, include)) found.insert(m[1]);
    }
  }
  return found;
}

// The plug-in module an include names, or "toolbox", or "" for others
// (the platform's stand-ins share some folder names with the modules).
std::string ModuleOf(const std::string& include) {
  const std::string folder = include.substr(0, include.find('/'));
  if (folder == "toolbox") return folder;
  return kModules.count(folder) && fs::exists(kSource / "plugin" / include) ? folder : "";
}

TEST(Layout, TheCoreIsBelowTheDialogAndTheModulesHaveNoCycle) {
  std::map<std::string, std::set<std::string>> uses;
  for (const std::string& module : kModules)
    for (const std::string& include : Includes(kSource / "plugin" / module))
      if (const std::string used = ModuleOf(include); !used.empty() && used != module) uses[module].insert(used);
  for (const std::string& core : kCore)
    for (const std::string& used : uses[core])
      EXPECT_TRUE(kCore.count(used)) << "the core's module " << core << " includes " << used;
  for (const std::string& include : Includes(kSource / "frei0r"))
    EXPECT_TRUE(ModuleOf(include).empty() || kCore.count(ModuleOf(include))) << "the filter includes " << include;
  // The host knows the plug-in through the host interface and the screen,
  // and makes its frames and blocks with none of the plug-in's stand-ins.
  for (const std::string& include : Includes(kSource / "hostapp")) {
    EXPECT_TRUE(ModuleOf(include).empty()) << "the host includes " << include;
    const std::string folder = include.substr(0, include.find('/'));
    EXPECT_TRUE(folder != "quickdraw" && folder != "memory") << "the host includes " << include;
  }
  for (const std::string& include : Includes(kSource / "tests" / "sdkplugin"))
    EXPECT_TRUE(fs::exists(kSource / "sdk" / include)) << "the interface's own plug-in includes " << include;
  EXPECT_EQ(Includes(kSource / "tests" / "sdkplugin").count("HostPluginSDK.h"), 1u);
  // Depth-first: a module met again while its own uses are followed closes a cycle.
  std::map<std::string, int> state;  // 1 being followed, 2 done
  std::function<void(const std::string&, std::string)> follow = [&](const std::string& m, std::string path) {
    state[m] = 1;
    for (const std::string& used : uses[m]) {
      if (state[used] == 1) ADD_FAILURE() << "a cycle: " << path << " -> " << used;
      if (state[used] == 0) follow(used, path + " -> " + used);
    }
    state[m] = 2;
  };
  for (const std::string& module : kModules)
    if (state[module] == 0) follow(module, module);
  EXPECT_FALSE(uses["host"].empty());  // the test reads the files it means to
}

}  // namespace
