// quorvel-host about: the plug-in's about window, through its bundle.
#pragma once

#include <string>

#include "PluginBundle.h"

// Shows the about window until it is closed. With a screenshot path, the
// window is photographed once it is up and then closed with its OK button.
int RunAbout(const LoadedPlugin& plugin, const std::string& screenshot);
