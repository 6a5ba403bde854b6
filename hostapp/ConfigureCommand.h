// quorvel-host configure: the effect's custom button, pressed as an editor
// does for an effect over frames start to start + count - 1 of a clip, with
// the dialog shown to the person at the screen or played by a script.
#pragma once

#include <functional>
#include <string>

#include "HostPluginSDK.h"
#include "PluginBundle.h"
#include "script/ScriptPlayer.h"

struct ConfigureOptions {
  std::string clip;
  long at = 0;      // the frame of the range the dialog opens on
  long start = 0;   // the effect's range in the clip
  long count = -1;  // -1: to the end of the clip
  std::string script;  // empty: a person answers the dialog
  PlayOptions play;    // how the script is played: its hand and its time
  std::function<void()> watch;  // called after each step of the script's player
};

// Describes the effect over the range and renders one frame of it (so that
// the plug-in knows the range), then clicks the custom button, serving
// GetFrame from the clip. Returns once the dialog has closed. False with a
// one-line `error` for a bad request, a script that could not be played
// (its dialog then cancelled), or no display and no script.
bool ConfigureEffect(HYPluginEntry entry, const ConfigureOptions& options, std::string& error);

// The command: ConfigureEffect through the bundle, then what the effect will
// draw (see TellWhatWillBeDrawn) and, with `json`, the configuration the
// dialog left as one JSON object on standard output.
int RunConfigure(const LoadedPlugin& plugin, const ConfigureOptions& options, bool json);

// The plug-in's configuration as JSON (the plug-in started first when it has
// not been); empty when the bundle does not describe it.
std::string DescribeConfiguration(const LoadedPlugin& plugin);
// Tells on standard error where the settings file is and what picture will
// be drawn (its file and size), or that there is none.
void TellWhatWillBeDrawn(const LoadedPlugin& plugin);
