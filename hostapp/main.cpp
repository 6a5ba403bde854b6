// quorvel-host: a small host for Quorvel plug-in bundles.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "InfoCommand.h"
#include "PluginBundle.h"

namespace {

const char kUsage[] =
    "usage: quorvel-host [options] COMMAND [command options]\n"
    "\n"
    "commands:\n"
    "  info [--json] [--selected-frames N]   describe the effect\n"
    "\n"
    "options:\n"
    "  --bundle PATH             use this plug-in bundle\n"
    "  --plugin-path DIRS        look for bundles in these folders first (':' between them;\n"
    "                            also $QUORVEL_PLUGIN_PATH); default: the build tree's bundle\n"
    "  --interface-version N     offer this host interface version (default 4)\n"
    "  -h, --help                show this text\n";

int UsageError(const std::string& message) {
  std::fprintf(stderr, "quorvel-host: %s\n%s", message.c_str(), kUsage);
  return 2;
}

// A whole decimal number within [low, high].
bool ParseNumber(const char* text, long low, long high, long& out) {
  char* end = nullptr;
  errno = 0;
  long value = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || value < low || value > high) return false;
  out = value;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string bundlePath, pluginPath, command;
  InfoOptions info;
  std::vector<std::string> args(argv + 1, argv + argc);
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](const char* name) -> const char* {
      if (i + 1 >= args.size()) return nullptr;
      (void)name;
      return args[++i].c_str();
    };
    long number;
    if (a == "-h" || a == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a == "--bundle") {
      const char* v = value("--bundle");
      if (!v) return UsageError("--bundle needs a path");
      bundlePath = v;
    } else if (a == "--plugin-path") {
      const char* v = value("--plugin-path");
      if (!v) return UsageError("--plugin-path needs folders");
      pluginPath = v;
    } else if (a == "--interface-version") {
      const char* v = value("--interface-version");
      if (!v || !ParseNumber(v, -32768, 32767, number))
        return UsageError("--interface-version needs a number from -32768 to 32767");
      info.interfaceVersion = SInt16(number);
    } else if (a == "--json" && command == "info") {
      info.json = true;
    } else if (a == "--selected-frames" && command == "info") {
      const char* v = value("--selected-frames");
      if (!v || !ParseNumber(v, 0, 1000000000, number))
        return UsageError("--selected-frames needs a number from 0 to 1000000000");
      info.selectedFrames = SInt32(number);
    } else if (command.empty() && !a.empty() && a[0] != '-') {
      command = a;
    } else {
      return UsageError("unknown argument: " + a);
    }
  }
  if (command.empty()) return UsageError("no command given");
  if (command != "info") return UsageError("unknown command: " + command);

  if (bundlePath.empty()) {
    bundlePath = FindBundle(PluginSearchPath(pluginPath));
    if (bundlePath.empty()) {
      std::fprintf(stderr, "quorvel-host: no plug-in bundle found on the plug-in search path\n");
      return 1;
    }
  }
  LoadedPlugin plugin;
  std::string error;
  if (!LoadPluginBundle(bundlePath, plugin, error)) {
    std::fprintf(stderr, "quorvel-host: %s\n", error.c_str());
    return 1;
  }
  return RunInfo(plugin, info);
}
