#include "ConfigureCommand.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "ClipRange.h"
#include "HostApplication.h"
#include "HostServices.h"
#include "media/ClipReader.h"
#include "script/ScriptPlayer.h"

namespace {

bool RangeOfClip(const ConfigureOptions& o, const ClipInfo& info, long& count, std::string& error) {
  if (!RangeInClip(info, o.start, o.count, count, error)) return false;
  if (o.at < 0 || o.at >= count) {
    error = "--at " + std::to_string(o.at) + " lies outside the range's " + std::to_string(count) + " frames";
    return false;
  }
  return FramesFit(info, o.clip, "shown", error);
}

// The string value of "key" in a JSON text, escapes undone; empty when absent.
std::string JsonText(const std::string& json, const std::string& key) {
  const std::string start = "\"" + key + "\": \"";
  size_t at = json.find(start);
  if (at == std::string::npos) return std::string();
  std::string value;
  for (at += start.size(); at < json.size() && json[at] != '"'; ++at) {
    if (json[at] != '\\' || at + 1 >= json.size()) {
      value += json[at];
    } else if (json[++at] == 'u' && at + 4 < json.size()) {
      value += char(std::strtol(json.substr(at + 1, 4).c_str(), nullptr, 16));
      at += 4;
    } else {
      value += json[at];
    }
  }
  return value;
}

long JsonWhole(const std::string& json, const std::string& key) {
  const size_t at = json.find("\"" + key + "\": ");
  return at == std::string::npos ? 0 : std::strtol(json.c_str() + at + key.size() + 4, nullptr, 10);
}

}  // namespace

bool ConfigureEffect(HYPluginEntry entry, const ConfigureOptions& o, std::string& error) {
  Script script;
  if (!o.script.empty() && !ReadScript(o.script, script, error)) return false;
  auto clip = ClipReader::Open(o.clip, error);
  if (!clip) return false;
  long count = 0;
  if (!RangeOfClip(o, clip->info(), count, error)) return false;
  if (o.script.empty() && !HostHasDisplay()) {
    error = "there is no display to show the dialog on; give --script FILE to play one";
    return false;
  }
  EnsureHostApplication();

  HostSession host;
  host.clip = clip.get();
  HYPluginParams params = NewParams(host, kHostInterfaceVersion);
  const Rect bounds = {0, 0, SInt16(clip->info().height), SInt16(clip->info().width)};
  HYFrame* frame = NewHostFrame(bounds.right, bounds.bottom);
  if (frame == nullptr) {
    error = "out of memory for the frame";
    return false;
  }
  // As an editor does once the effect is applied to a selection: it is
  // described, and one frame of it is rendered.
  params.frame = frame;
  params.frameRect = bounds;
  params.startFrame = SInt32(o.start);
  params.frameCount = SInt32(count);
  params.getInfo2.selectedFrames = SInt32(count);
  for (HYPluginSelector selector : {kPlugGetInfo, kPlugInitialize, kPlugDoFrame, kPlugTerminate}) {
    params.selector = selector;
    params.renderFrame = SInt32(o.at);
    entry(0, &params);
  }
  ReclaimLentFrames(host);
  // The click: the position in the effect where it was made. It is not a
  // frame request, so it carries no start frame.
  params.selector = kPlugCustomButtonClick;
  params.startFrame = 0;
  params.renderFrame = SInt32(o.at);
  params.clientData = nullptr;
  std::unique_ptr<ScriptPlayer> player;
  if (!o.script.empty()) {
    player = std::make_unique<ScriptPlayer>(script, o.play);
    if (o.watch) player->Watch(o.watch);
    if (!player->Start()) {
      error = player->Error();
      DisposeHostFrame(frame);
      return false;
    }
  }
  entry(0, &params);
  ReclaimLentFrames(host);
  DisposeHostFrame(frame);
  if (player && !player->Error().empty()) {
    error = player->Error() + "; the dialog was cancelled";
    return false;
  }
  if (player && !player->Finished()) {
    error = o.script + ": the dialog closed before the script's end";
    return false;
  }
  return true;
}

std::string DescribeConfiguration(const LoadedPlugin& plugin) {
  auto describe = reinterpret_cast<size_t (*)(char*, size_t)>(::dlsym(plugin.library, "QuorvelDescribeConfiguration"));
  if (describe == nullptr) return std::string();
  if (describe(nullptr, 0) == 0) {
    // Not started yet: it starts, and reads its settings, on its first call,
    // as when an editor lists its effects.
    HostSession host;
    HYPluginParams params = NewParams(host, kHostInterfaceVersion);
    params.selector = kPlugGetInfo;
    plugin.entry(0, &params);
  }
  std::vector<char> text(describe(nullptr, 0) + 1);
  describe(text.data(), text.size());
  return text.data();
}

void TellWhatWillBeDrawn(const LoadedPlugin& plugin) {
  const std::string json = DescribeConfiguration(plugin);
  if (json.empty()) return;
  const std::string settings = JsonText(json, "SettingsFile");
  std::fprintf(stderr, "settings: %s\n", settings.empty() ? "none (no settings folder)" : settings.c_str());
  const size_t picture = json.find("\"Picture\": {");
  if (picture == std::string::npos) {
    const std::string failure = JsonText(json, "PictureFailure");
    if (!failure.empty())
      std::fprintf(stderr, "picture:  none, %s; the video stays as it is\n", failure.c_str());
    else
      std::fprintf(stderr, "picture:  none; the video stays as it is (choose one with --configure)\n");
    return;
  }
  const std::string described = json.substr(picture);
  std::fprintf(stderr, "picture:  %s, %ld x %ld\n", JsonText(described, "path").c_str(), JsonWhole(described, "width"),
               JsonWhole(described, "height"));
}

int RunConfigure(const LoadedPlugin& plugin, const ConfigureOptions& options, bool json) {
  std::string error;
  if (!ConfigureEffect(plugin.entry, options, error)) {
    std::fprintf(stderr, "quorvel-host: %s\n", error.c_str());
    return 1;
  }
  TellWhatWillBeDrawn(plugin);
  if (json) {
    const std::string description = DescribeConfiguration(plugin);
    if (description.empty()) {
      std::fprintf(stderr, "quorvel-host: %s does not describe its configuration\n", plugin.bundlePath.c_str());
      return 1;
    }
    std::printf("%s\n", description.c_str());
  }
  return 0;
}
