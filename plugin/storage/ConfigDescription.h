// The configuration record as one JSON object, for hosts that report what
// the dialog left: the rectangles, sliders, colours, media type, flags,
// blend mode, the picture's size and file (null without a picture), and
// where the settings file is.
#pragma once

#include <string>

#include "effect/PluginData.h"

std::string DescribeConfiguration(const PluginDataRec& theConfig);
