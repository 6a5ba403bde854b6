// The built bundle driven the way a host drives it: loaded with dlopen and
// called through its exported entry point with the test's own callbacks.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstring>

#include "PluginBundle.h"
#include "TestSupport.h"
#include "effect/PluginDefines.h"
#include "memory/MacMemory.h"
#include "resources/ResourceFork.h"

namespace {


TEST(BuiltBundle, StartsOnTheFirstAcceptedCallAndDescribesItself) {
  ScopedPreferences prefs;
  LoadedPlugin plugin;
  std::string error;
  ASSERT_TRUE(LoadPluginBundle(QUORVEL_TEST_BUNDLE_DIR, plugin, error)) << error;
  EXPECT_EQ(plugin.manifest.identifier, cMyBundleID);

  HYProcs procs = CountingMemoryProcs();
  CountedAllocations() = 0;
  HYPluginParams params;
  std::memset(&params, 0, sizeof params);
  params.procs = &procs;
  params.selector = kPlugGetInfo;

  EXPECT_EQ(plugin.entry(0, nullptr), kPluginBadParams);
  params.interfaceVersion = 3;
  EXPECT_EQ(plugin.entry(0, &params), kPluginAppIsTooOld);
  EXPECT_EQ(CountedAllocations(), 0);
  EXPECT_FALSE(PathExists(prefs.settingsFile()));

  params.interfaceVersion = 4;
  params.getInfo2.selectedFrames = 90;
  ASSERT_EQ(plugin.entry(0, &params), kPluginOK);
  EXPECT_EQ(CountedAllocations(), 1);
  EXPECT_EQ(params.getInfo.pluginType, kPluginFilterType);
  EXPECT_EQ(params.getInfo.framesToBeRendered, 90);
  EXPECT_EQ(params.getInfo.pluginFlags & 0x1380u, 0x1380u);
  EXPECT_STREQ(params.getInfo2.group, "Overlays");
  EXPECT_STREQ(params.getInfo2.filterSliders[0].label, "Unused slider 1 (no effect)");

  std::vector<UInt8> bytes = ReadFileBytes(prefs.settingsFile());
  ResourceForkContents c;
  ASSERT_TRUE(ParseResourceFork(bytes.data(), bytes.size(), c));
  // The record, and the motion's record beside it.
  ASSERT_EQ(c.resources.size(), 2u);
  EXPECT_EQ(c.resources[0].type, FOUR_CHAR_CODE("Pref"));
  EXPECT_EQ(c.resources[0].data.size(), 396u);
  EXPECT_EQ(c.resources[1].type, FOUR_CHAR_CODE("Motn"));
  EXPECT_EQ(c.resources[1].data.size(), 28u);

  for (HYPluginSelector selector : {0, 3, 4, 7, 10, 255}) {
    params.selector = selector;
    EXPECT_EQ(plugin.entry(0, &params), kPluginOK) << int(selector);
  }
  EXPECT_EQ(CountedAllocations(), 1);
}

TEST(BuiltBundle, ExportsOnlyItsEntryPointAboutWindowAndDescription) {
  LoadedPlugin plugin;
  std::string error;
  ASSERT_TRUE(LoadPluginBundle(QUORVEL_TEST_BUNDLE_DIR, plugin, error)) << error;
  for (const char* inner : {"PluginMain", "NewPtrClear", "_Z10PluginMainsP13_PluginParams", "gPascalData"})
    EXPECT_EQ(dlsym(plugin.library, inner), nullptr) << inner;
  EXPECT_NE(dlsym(plugin.library, "QuorvelShowAbout"), nullptr);
  EXPECT_NE(dlsym(plugin.library, "QuorvelDescribeConfiguration"), nullptr);
}

}  // namespace
