// Relative rectangles.
#pragma once

#include "effect/PluginData.h"

// The whole frame: Left 0, Right 1, Top 0, Bottom 1.
void InitRelRect(RelRect& theRel);
