// quorvel-host: a small host for Quorvel plug-in bundles.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "AboutCommand.h"
#include "ConfigureCommand.h"
#include "InfoCommand.h"
#include "PluginBundle.h"
#include "RenderJob.h"
#include "SampleClip.h"
#include "SamplePicture.h"
#include "media/ClipReader.h"
#include "media/ClipWriter.h"

namespace {

const char kUsage[] =
    "usage: quorvel-host [options] COMMAND [command options]\n"
    "\n"
    "commands:\n"
    "  info [--json] [--selected-frames N]   describe the effect\n"
    "  info CLIP [--json]                    describe a clip as the host reads it: its frames\n"
    "                                        as shown and stored, their rate (variable or not),\n"
    "                                        its streams, chapters and description\n"
    "  render CLIP -o OUT [--start N] [--count N] [--fade-in N] [--fade-out N]\n"
    "         [--sliders A,B,C] [--proxy] [--format mp4|mkv|png] [--overwrite]\n"
    "         [--configure [--at N] [--script FILE [--input qt|x11] [--timeout S]]]\n"
    "                                        render CLIP with the effect over the frames\n"
    "                                        from N (default: the whole clip) into OUT;\n"
    "                                        mp4 is H.264 + AAC, mkv lossless FFV1 + FLAC,\n"
    "                                        png a folder of numbered frames; with\n"
    "                                        --configure the dialog comes first, as for\n"
    "                                        configure, and the render uses what it left\n"
    "  placeholder CLIP --at N -o FRAME.png [--overwrite]\n"
    "                                        render the effect's placeholder for frame N\n"
    "  configure CLIP [--at N] [--start S --count C] [--script FILE] [--json]\n"
    "         [--input qt|x11] [--timeout SECONDS]\n"
    "                                        the effect's custom button over frames S to\n"
    "                                        S+C-1 (default: the whole clip): its dialog on\n"
    "                                        frame N of the range, answered by the person at\n"
    "                                        the screen or played by FILE; --json prints the\n"
    "                                        configuration the dialog left; --input x11 plays\n"
    "                                        FILE through the X server's pointer and keyboard\n"
    "                                        (XTest), qt (the default) with Qt's own events;\n"
    "                                        a script still playing after --timeout (default\n"
    "                                        600, 0 for none) is stopped, its dialog cancelled\n"
    "  demo                                  render the built-in sample clip into demo/,\n"
    "                                        replacing the demo's own earlier files\n"
    "  about [--screenshot FILE.png]         show the plug-in's about window\n"
    "\n"
    "OUT is never CLIP itself; an existing OUT is replaced only with --overwrite (-y),\n"
    "and only once the new one is complete.\n"
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

int Failure(const std::string& message) {
  std::fprintf(stderr, "quorvel-host: %s\n", message.c_str());
  return 1;
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

bool ParseSliders(const std::string& text, float out[3]) {
  double a, b, c;
  char tail;
  if (std::sscanf(text.c_str(), "%lf,%lf,%lf%c", &a, &b, &c, &tail) != 3) return false;
  for (double v : {a, b, c})
    if (!(v >= 0 && v <= 1)) return false;
  out[0] = float(a), out[1] = float(b), out[2] = float(c);
  return true;
}

void StopOnSignal(int) { RequestRenderStop(); }

// A progress bar on a terminal, nothing otherwise.
struct ProgressBar {
  bool terminal = ::isatty(2) != 0;
  std::chrono::steady_clock::time_point began = std::chrono::steady_clock::now();
  void operator()(long done, long total) const {
    if (!terminal || (done % 5 != 0 && done != total)) return;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    const double fps = seconds > 0 ? done / seconds : 0;
    const long left = fps > 0 ? long((total - done) / fps) : 0;
    const int width = 30, filled = int(width * done / total);
    std::fprintf(stderr, "\r[%.*s%.*s] %ld/%ld frames  %.1f fps  %ld:%02ld left ", filled,
                 "##############################", width - filled, "..............................", done, total, fps,
                 left / 60, left % 60);
    if (done == total) std::fprintf(stderr, "\n");
  }
};

int Render(const LoadedPlugin& plugin, const RenderOptions& options) {
  RenderReport report;
  std::string error;
  ProgressBar bar;
  if (!RenderClip(plugin.entry, options, bar, report, error)) return Failure(error);
  std::fprintf(stderr, "rendered %ld frames in %.1f s (%.1f fps) into %s\n", report.frames, report.seconds,
               report.frames / std::max(report.seconds, 1e-9), options.output.c_str());
  for (const std::string& note : report.notes) std::fprintf(stderr, "%s\n", note.c_str());
  if (report.failedFrameRequests > 0)
    std::fprintf(stderr, "quorvel-host: %d frames could not be fetched for the effect and were left unchanged\n",
                 report.failedFrameRequests);
  if (report.framesLeftLent > 0)
    std::fprintf(stderr, "quorvel-host: the plug-in never released %zu frames\n", report.framesLeftLent);
  if (report.blocksNotGivenBack > 0)
    std::fprintf(stderr, "quorvel-host: the plug-in kept %ld memory blocks after the session\n",
                 report.blocksNotGivenBack);
  return 0;
}

// Six frames from `first` to `last` of a clip side by side, a third of their size.
bool ContactSheet(const std::string& clipPath, long first, long last, const std::string& output, std::string& error) {
  auto clip = ClipReader::Open(clipPath, error);
  if (!clip) return false;
  const int cols = 3, rows = 2, w = clip->info().width / 3, h = clip->info().height / 3;
  std::vector<uint8_t> sheet(size_t(cols * w) * rows * h * 4, 0);
  std::vector<uint8_t> tile(size_t(w) * h * 4);
  for (int k = 0; k < cols * rows; ++k) {
    const int64_t n = first + (last - first) * k / (cols * rows - 1);
    if (!clip->ReadFrame(n, w, h, true, tile.data(), w * 4)) {
      error = "cannot read frame " + std::to_string(n) + " of " + clipPath;
      return false;
    }
    for (int y = 0; y < h; ++y)
      std::memcpy(&sheet[((size_t(k / cols) * h + y) * cols * w + size_t(k % cols) * w) * 4], &tile[size_t(y) * w * 4],
                  size_t(w) * 4);
  }
  return WritePng(output, sheet.data(), cols * w, rows * h, cols * w * 4, true, error);
}

std::string Absolute(const std::string& path) {
  char resolved[4096];
  return ::realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

// The demo's dialog, as a person would set it: the sample picture with a
// white border, turned, gliding from the top-left corner of the frame to the
// bottom-right one, laid on with the hard-light blend.
bool WriteDemoScript(const std::string& path, const std::string& picture, const std::string& screenshot) {
  FILE* f = std::fopen(path.c_str(), "w");
  if (f == nullptr) return false;
  std::fprintf(f,
               "# The demo's configuration, played on the dialog as a person would set it.\n"
               "picture %s\n"
               "# the start rectangle: the top-left corner of the frame\n"
               "drag 0.001 0.001 0.04 0.06\n"
               "drag 0.999 0.999 0.36 0.4\n"
               "# the end rectangle: the bottom-right corner\n"
               "rect end\n"
               "drag 0.001 0.001 0.6 0.56\n"
               "drag 0.999 0.999 0.95 0.93\n"
               "slider border 5\n"
               "colour ffffff\n"
               "slider opacity 100\n"
               "slider turn 6\n"
               "blend hard-light\n"
               "frame 30\n"
               "screenshot %s\n"
               "ok\n",
               picture.c_str(), screenshot.c_str());
  return std::fclose(f) == 0;
}

int Demo(const LoadedPlugin& plugin) {
  const std::string folder = "demo";
  if (::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) return Failure("cannot make the folder demo/");
  // The demo's settings stay in demo/settings; the user's own are not touched.
  const std::string settings = Absolute(folder) + "/settings";
  if (::mkdir(settings.c_str(), 0700) != 0 && errno != EEXIST) return Failure("cannot make the folder " + settings);
  ::setenv("XDG_CONFIG_HOME", settings.c_str(), 1);
  std::string error;
  const std::string sample = folder + "/sample.mp4", picture = Absolute(folder) + "/picture.png";
  std::fprintf(stderr, "making the sample clip %s (5 s of 720 x 480 with a tone) and the picture %s\n", sample.c_str(),
               picture.c_str());
  if (!WriteSampleClip(sample, 720, 480, 125, error) || !WriteSamplePicture(picture, error)) return Failure(error);
  const std::string script = folder + "/demo-script.txt", dialog = Absolute(folder) + "/dialog.png";
  if (!WriteDemoScript(script, picture, dialog)) return Failure("cannot write " + script);
  ConfigureOptions configure;
  configure.clip = sample;
  configure.start = 25;
  configure.count = 75;
  configure.script = script;
  std::fprintf(stderr, "playing %s on the effect's dialog\n", script.c_str());
  if (!ConfigureEffect(plugin.entry, configure, error)) return Failure(error);
  RenderOptions options;
  options.starting = [&plugin] { TellWhatWillBeDrawn(plugin); };
  options.clip = sample;
  options.output = folder + "/quorvel-demo.mp4";
  options.start = configure.start;
  options.count = configure.count;
  options.fadeIn = 15;
  options.fadeOut = 15;
  options.overwrite = true;  // the demo's own files in demo/, made again each time
  const int status = Render(plugin, options);
  if (status != 0) return status;
  const std::string sheet = folder + "/contact-sheet.png";
  // The frames between the fades, where the picture is drawn whole.
  const long first = options.start + options.fadeIn, last = options.start + options.count - 1 - options.fadeOut;
  if (!ContactSheet(options.output, first, last, sheet, error)) return Failure(error);
  std::printf("Rendered the sample clip with the effect over frames 25 to 99, fading in and out over 15 frames:\n"
              "the picture glides from the top-left corner to the bottom-right one, turned, with a white border.\n");
  std::printf("  video:         %s\n  contact sheet: %s\n  the dialog:    %s\n  its script:    %s\n  source clip:   %s\n",
              options.output.c_str(), sheet.c_str(), (folder + "/dialog.png").c_str(), script.c_str(), sample.c_str());
  return 0;
}

// What the command line asks for.
struct CommandLine {
  std::string bundlePath, pluginPath, command;
  InfoOptions info;
  RenderOptions render;
  ConfigureOptions configure;
  bool json = false, configureFirst = false, atGiven = false;
  long placeholderAt = -1;
  std::string screenshot;
  std::vector<std::string> positional;
};

// The arguments, read one at a time; a refused one has printed why.
struct Arguments {
  std::vector<std::string> all;
  size_t i = 0;
  const std::string& current() const { return all[i]; }
  const char* value() { return i + 1 < all.size() ? all[++i].c_str() : nullptr; }
  bool number(const char* name, long low, long high, long& out) {
    const char* v = value();
    if (v && ParseNumber(v, low, high, out)) return true;
    UsageError(std::string(name) + " needs a number from " + std::to_string(low) + " to " + std::to_string(high));
    return false;
  }
};

constexpr int kGoOn = -1;  // an argument taken; anything else is the exit status

// The options of render and placeholder; false when `a` is none of them.
bool RenderArgument(Arguments& args, CommandLine& c, int& status) {
  const std::string& a = args.current();
  const std::string& command = c.command;
  RenderOptions& render = c.render;
  const bool rendering = command == "render", either = rendering || command == "placeholder";
  status = kGoOn;
  auto refuse = [&](const std::string& message) { return status = UsageError(message), true; };
  if ((a == "-o" || a == "--output") && either) {
    const char* v = args.value();
    if (!v) return refuse("-o needs a path");
    render.output = v;
  } else if (a == "--start" && rendering) {
    if (!args.number("--start", 0, 100000000, render.start)) status = 2;
  } else if (a == "--count" && rendering) {
    if (!args.number("--count", 1, 100000000, render.count)) status = 2;
  } else if (a == "--fade-in" && rendering) {
    if (!args.number("--fade-in", 0, 100000000, render.fadeIn)) status = 2;
  } else if (a == "--fade-out" && rendering) {
    if (!args.number("--fade-out", 0, 100000000, render.fadeOut)) status = 2;
  } else if (a == "--sliders" && rendering) {
    const char* v = args.value();
    if (!v || !ParseSliders(v, render.sliders)) return refuse("--sliders needs three values from 0 to 1, as 0.5,0.5,0.5");
  } else if ((a == "--overwrite" || a == "-y") && either) {
    render.overwrite = true;
  } else if (a == "--proxy" && rendering) {
    render.proxyOnly = true;
  } else if (a == "--format" && rendering) {
    const char* v = args.value();
    const std::string f = v ? v : "";
    if (f == "mp4") render.format = OutputFormat::Mp4;
    else if (f == "mkv") render.format = OutputFormat::Matroska;
    else if (f == "png") render.format = OutputFormat::PngFrames;
    else return refuse("--format is mp4, mkv or png");
  } else if (a == "--fail-frame" && either) {  // a host fault, for tests
    if (!args.number("--fail-frame", 0, 100000000, render.failGetFrameAt)) status = 2;
  } else if (a == "--at" && command == "placeholder") {
    if (!args.number("--at", 0, 100000000, c.placeholderAt)) status = 2;
  } else {
    return false;
  }
  return true;
}

// The options of configure, and of render's dialog first; false when `a` is none of them.
bool ConfigureArgument(Arguments& args, CommandLine& c, int& status) {
  const std::string& a = args.current();
  const bool configuring = c.command == "configure", either = configuring || c.command == "render";
  ConfigureOptions& configure = c.configure;
  status = kGoOn;
  long n;
  if (a == "--json" && configuring) {
    c.json = true;
  } else if (a == "--configure" && c.command == "render") {
    c.configureFirst = true;
  } else if (a == "--at" && either) {
    if (!args.number("--at", 0, 100000000, configure.at)) status = 2;
    c.atGiven = true;
  } else if (a == "--start" && configuring) {
    if (!args.number("--start", 0, 100000000, configure.start)) status = 2;
  } else if (a == "--count" && configuring) {
    if (!args.number("--count", 1, 100000000, configure.count)) status = 2;
  } else if (a == "--script" && either) {
    const char* v = args.value();
    if (!v) status = UsageError("--script needs a file");
    else configure.script = v;
  } else if (a == "--input" && either) {
    const char* v = args.value();
    const std::string mode = v ? v : "";
    if (mode == "x11") configure.play.input = InputMode::X11;
    else if (mode == "qt") configure.play.input = InputMode::Qt;
    else status = UsageError("--input is qt or x11");
  } else if (a == "--timeout" && either) {
    if (!args.number("--timeout", 0, 1000000, n)) status = 2;
    else configure.play.timeoutSeconds = double(n);
  } else {
    return false;
  }
  return true;
}

// One argument of any command, or the command and its clip.
int Argument(Arguments& args, CommandLine& c) {
  const std::string& a = args.current();
  int status;
  if (RenderArgument(args, c, status) || ConfigureArgument(args, c, status)) return status;
  long n;
  if (a == "-h" || a == "--help") {
    std::fputs(kUsage, stdout);
    return 0;
  } else if (a == "--bundle") {
    const char* v = args.value();
    if (!v) return UsageError("--bundle needs a path");
    c.bundlePath = v;
  } else if (a == "--plugin-path") {
    const char* v = args.value();
    if (!v) return UsageError("--plugin-path needs folders");
    c.pluginPath = v;
  } else if (a == "--interface-version") {
    if (!args.number("--interface-version", -32768, 32767, n)) return 2;
    c.info.interfaceVersion = SInt16(n);
  } else if (a == "--json" && c.command == "info") {
    c.info.json = true;
  } else if (a == "--selected-frames" && c.command == "info") {
    if (!args.number("--selected-frames", 0, 1000000000, n)) return 2;
    c.info.selectedFrames = SInt32(n);
  } else if (a == "--screenshot" && c.command == "about") {
    const char* v = args.value();
    if (!v) return UsageError("--screenshot needs a path");
    c.screenshot = v;
  } else if (c.command.empty() && !a.empty() && a[0] != '-') {
    c.command = a;
  } else if (!c.command.empty() && !a.empty() && a[0] != '-') {
    c.positional.push_back(a);
  } else {
    return UsageError("unknown argument: " + a);
  }
  return kGoOn;
}

// Whether the command has what it needs; kGoOn when it has.
int CheckCommand(const CommandLine& c) {
  const std::string& command = c.command;
  if (command.empty()) return UsageError("no command given");
  if (command != "info" && command != "render" && command != "placeholder" && command != "demo" && command != "about" &&
      command != "configure")
    return UsageError("unknown command: " + command);
  if (command == "configure" && c.positional.size() != 1) return UsageError("configure needs one CLIP");
  if (command == "render" && !c.configureFirst && (c.atGiven || !c.configure.script.empty()))
    return UsageError("--at and --script go with --configure");
  if ((command == "render" || command == "placeholder") && (c.positional.size() != 1 || c.render.output.empty()))
    return UsageError(command + " needs one CLIP and -o OUT");
  if (command == "placeholder" && c.placeholderAt < 0) return UsageError("placeholder needs --at N");
  if (command == "info" && c.positional.size() > 1) return UsageError("unexpected " + c.positional[1]);
  if ((command == "demo" || command == "about") && !c.positional.empty())
    return UsageError("unexpected " + c.positional[0]);
  return kGoOn;
}

// The commands that work on a clip, once the plug-in is loaded.
int RunClipCommand(const LoadedPlugin& plugin, CommandLine& c) {
  std::string error;
  if (c.command == "configure") {
    c.configure.clip = c.positional[0];
    return RunConfigure(plugin, c.configure, c.json);
  }
  RenderOptions& render = c.render;
  render.clip = c.positional[0];
  if (c.command == "placeholder") {
    if (!RenderPlaceholder(plugin.entry, render, c.placeholderAt, error)) return Failure(error);
    std::fprintf(stderr, "wrote the placeholder for frame %ld to %s\n", c.placeholderAt, render.output.c_str());
    return 0;
  }
  if (c.configureFirst) {
    // As an editor does when its user applies the effect: the dialog, then the render.
    c.configure.clip = render.clip;
    c.configure.start = render.start;
    c.configure.count = render.count;
    if (!ConfigureEffect(plugin.entry, c.configure, error)) return Failure(error);
  }
  render.starting = [&plugin] { TellWhatWillBeDrawn(plugin); };
  return Render(plugin, render);
}

}  // namespace

int main(int argc, char** argv) {
  CommandLine c;
  Arguments args{std::vector<std::string>(argv + 1, argv + argc)};
  for (; args.i < args.all.size(); ++args.i)
    if (const int status = Argument(args, c); status != kGoOn) return status;
  if (const int status = CheckCommand(c); status != kGoOn) return status;
  if (c.command == "info" && !c.positional.empty()) {
    QuietMediaLibraries();
    return RunClipInfo(c.positional[0], c.info.json);
  }

  if (c.bundlePath.empty()) {
    c.bundlePath = FindBundle(PluginSearchPath(c.pluginPath));
    if (c.bundlePath.empty()) return Failure("no plug-in bundle found on the plug-in search path");
  }
  LoadedPlugin plugin;
  std::string error;
  if (!LoadPluginBundle(c.bundlePath, plugin, error)) return Failure(error);
  if (c.command == "info") return RunInfo(plugin, c.info);
  if (c.command == "about") return RunAbout(plugin, c.screenshot);

  QuietMediaLibraries();
  std::signal(SIGINT, StopOnSignal);
  std::signal(SIGTERM, StopOnSignal);
  if (c.command == "demo") return Demo(plugin);
  return RunClipCommand(plugin, c);
}
