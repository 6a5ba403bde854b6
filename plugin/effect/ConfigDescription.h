// The configuration record as one JSON object, for hosts that report what
// the dialog left: the rectangles, sliders, colours, media type, flags,
// blend mode and the picture's size (null without a picture).
#pragma once

#include <string>

#include "effect/PluginData.h"

std::string DescribeConfiguration(const PluginDataRec& theConfig);
