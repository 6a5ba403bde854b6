#include "InfoCommand.h"

#include <cstdio>
#include <cstring>
#include <sstream>

#include "HostServices.h"
#include "media/ClipReader.h"
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

namespace {

std::string Turn(const ClipInfo& i) {
  if (i.turnNotApplied != 0) return "not applied (a turn of " + std::to_string(i.turnNotApplied) + " degrees)";
  const std::string turn = TurnWords(i);
  return turn.empty() ? "none" : turn;
}

std::string Rate(const ClipInfo& i) {
  char text[64];
  std::snprintf(text, sizeof text, "%.3g frames a second", double(i.fpsNum) / i.fpsDen);
  return i.variableRate ? std::string("variable: each frame keeps its own time (") + text + " at its base)" : text;
}

void PrintClip(const std::string& path, const ClipInfo& i) {
  std::printf("Clip:          %s\n", path.c_str());
  std::printf("Frames:        %lld, %.3f s\n", (long long)i.frameCount, i.seconds);
  std::printf("Rate:          %s\n", Rate(i).c_str());
  std::printf("Shown:         %d x %d\n", i.width, i.height);
  std::printf("Stored:        %d x %d, turn: %s\n", i.storedWidth, i.storedHeight, Turn(i).c_str());
  for (size_t k = 0; k < i.streams.size(); ++k)
    std::printf("Stream %zu:%*s%s%s\n", k, k < 10 ? 6 : 5, "", i.streams[k].c_str(),
                int(k) == i.videoStream   ? " (the frames)"
                : int(k) == i.audioStream ? " (the effect's sound)"
                                          : "");
  std::printf("Chapters:      %d\n", i.chapters);
  for (const auto& [key, value] : i.tags) std::printf("Tag:           %s = %s\n", key.c_str(), value.c_str());
}

void PrintClipJson(const std::string& path, const ClipInfo& i) {
  std::ostringstream o;
  o << "{\n  \"clip\": " << JsonString(path) << ",\n  \"frames\": " << i.frameCount
    << ",\n  \"seconds\": " << JsonNumber(i.seconds) << ",\n  \"frameRate\": [" << i.fpsNum << ", " << i.fpsDen
    << "],\n  \"variableRate\": " << (i.variableRate ? "true" : "false") << ",\n  \"width\": " << i.width
    << ",\n  \"height\": " << i.height << ",\n  \"storedWidth\": " << i.storedWidth
    << ",\n  \"storedHeight\": " << i.storedHeight << ",\n  \"turnedDegrees\": " << i.turnedDegrees
    << ",\n  \"mirrored\": " << (i.mirrored ? "true" : "false") << ",\n  \"videoStream\": " << i.videoStream
    << ",\n  \"audioStream\": " << i.audioStream << ",\n  \"streams\": [";
  for (size_t k = 0; k < i.streams.size(); ++k) o << (k ? ", " : "") << JsonString(i.streams[k]);
  o << "],\n  \"chapters\": " << i.chapters << ",\n  \"tags\": {";
  for (size_t k = 0; k < i.tags.size(); ++k)
    o << (k ? ", " : "") << JsonString(i.tags[k].first) << ": " << JsonString(i.tags[k].second);
  o << "}\n}\n";
  std::fputs(o.str().c_str(), stdout);
}

}  // namespace

int RunClipInfo(const std::string& clip, bool json) {
  std::string error;
  auto reader = ClipReader::Open(clip, error);
  if (!reader) {
    std::fprintf(stderr, "quorvel-host: %s\n", error.c_str());
    return 1;
  }
  if (json)
    PrintClipJson(clip, reader->info());
  else
    PrintClip(clip, reader->info());
  return 0;
}
