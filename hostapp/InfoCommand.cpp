#include "InfoCommand.h"

#include <cstdio>
#include <cstring>
#include <sstream>

#include "HostServices.h"
#include "text/JsonText.h"
#include "text/PascalString.h"

namespace {

// Texts in the description are Mac Roman, zero-terminated.
std::string Text(const char* field, size_t size) {
  Str255 p;
  size_t n = strnlen(field, size);
  if (n > 255) n = 255;
  p[0] = UInt8(n);
  std::memcpy(p + 1, field, n);
  return MacRomanToUTF8(p);
}

std::string TypeText(SInt32 type) {
  return type == kPluginFilterType ? "filter" : "type " + std::to_string(type);
}

void PrintReadable(const LoadedPlugin& plugin, const HYPluginParams& p) {
  const HYPluginGetInfo& info = p.getInfo;
  const HY2PluginGetInfo& info2 = p.getInfo2;
  std::printf("Bundle:        %s\n", plugin.bundlePath.c_str());
  std::printf("Identifier:    %s\n", plugin.manifest.identifier.c_str());
  std::printf("Type:          %s\n", TypeText(info.pluginType).c_str());
  std::printf("Group:         %s\n", Text(info2.group, sizeof info2.group).c_str());
  std::printf("Button:        %s\n", Text(p.getInfo3.buttonTitle, sizeof p.getInfo3.buttonTitle).c_str());
  std::printf("Sliders:       %d\n", int(info2.sliderCount));
  for (int i = 0; i < kHYFilterSliderCount && i < info2.sliderCount; ++i) {
    const HYPluginFilterSliderInfo& s = info2.filterSliders[i];
    std::printf("  %d. %s  (from \"%s\" to \"%s\", default %.2f)\n", i + 1,
                Text(s.label, sizeof s.label).c_str(), Text(s.minLabel, sizeof s.minLabel).c_str(),
                Text(s.maxLabel, sizeof s.maxLabel).c_str(), double(s.defaultValue));
  }
  std::printf("Flags:         0x%04X\n", unsigned(info.pluginFlags));
  std::printf("Frames:        renders %d of %d selected; takes %d before and %d after\n",
              int(info.framesToBeRendered), int(info2.selectedFrames), int(info.takeFromClipBefore),
              int(info.takeFromClipAfter));
  std::printf("Memory needed: %d bytes\n", int(info2.baseMemoryNeeded));
}

void PrintJson(const LoadedPlugin& plugin, const HYPluginParams& p) {
  const HYPluginGetInfo& info = p.getInfo;
  const HY2PluginGetInfo& info2 = p.getInfo2;
  std::ostringstream o;
  o << "{\n  \"bundle\": " << JsonString(plugin.bundlePath)
    << ",\n  \"identifier\": " << JsonString(plugin.manifest.identifier)
    << ",\n  \"type\": " << JsonString(TypeText(info.pluginType))
    << ",\n  \"pluginType\": " << info.pluginType
    << ",\n  \"group\": " << JsonString(Text(info2.group, sizeof info2.group))
    << ",\n  \"buttonTitle\": " << JsonString(Text(p.getInfo3.buttonTitle, sizeof p.getInfo3.buttonTitle))
    << ",\n  \"sliders\": [";
  for (int i = 0; i < kHYFilterSliderCount && i < info2.sliderCount; ++i) {
    const HYPluginFilterSliderInfo& s = info2.filterSliders[i];
    o << (i ? ",\n" : "\n") << "    {\"label\": " << JsonString(Text(s.label, sizeof s.label))
      << ", \"minLabel\": " << JsonString(Text(s.minLabel, sizeof s.minLabel))
      << ", \"maxLabel\": " << JsonString(Text(s.maxLabel, sizeof s.maxLabel))
      << ", \"default\": " << s.defaultValue << "}";
  }
  o << "\n  ],\n  \"flags\": " << info.pluginFlags
    << ",\n  \"frames\": {\"selected\": " << info2.selectedFrames
    << ", \"toBeRendered\": " << info.framesToBeRendered
    << ", \"takeFromClipBefore\": " << info.takeFromClipBefore
    << ", \"takeFromClipAfter\": " << info.takeFromClipAfter
    << "},\n  \"baseMemoryNeeded\": " << info2.baseMemoryNeeded << "\n}\n";
  std::fputs(o.str().c_str(), stdout);
}

}  // namespace

int RunInfo(const LoadedPlugin& plugin, const InfoOptions& options) {
  HostSession session;
  HYPluginParams params = NewParams(session, options.interfaceVersion);
  params.selector = kPlugGetInfo;
  params.getInfo2.selectedFrames = options.selectedFrames;
  SInt32 result = plugin.entry(0, &params);
  if (result != kPluginOK) {
    std::fprintf(stderr, "quorvel-host: %s refused to describe itself: %s\n",
                 plugin.bundlePath.c_str(), ResultName(result).c_str());
    return 1;
  }
  if (options.json)
    PrintJson(plugin, params);
  else
    PrintReadable(plugin, params);
  return 0;
}
