// Relative rectangles.
#pragma once

#include "effect/PluginData.h"

// The whole frame: Left 0, Right 1, Top 0, Bottom 1.
void InitRelRect(RelRect& theRel);

// The pixel rectangle of theRel inside theFrame (fractions truncated toward zero).
Rect Rel2Rect(const RelRect& theRel, const Rect& theFrame);
// The fractions of theFrame that theRect covers.
RelRect Rect2Rel(const Rect& theRect, const Rect& theFrame);
