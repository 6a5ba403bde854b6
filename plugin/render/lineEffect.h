// The picture laid over a frame, and the picture prepared with its border.
#pragma once

#include "effect/PluginData.h"
#include "quickdraw/QuickDraw.h"

// Copies Source onto Dest, then draws the prepared picture into ActiveRect
// with the configuration's turn, opacity and blend mode.
void TheLineEffect(GWorldPtr Source, GWorldPtr Dest, const Rect& ActiveRect, bool CopyRest,
                   PluginDataPtr TheConfig, SInt32 CurrFrame, SInt32 MaxFrame);
// Rebuilds TheRendered from TheOriginalImage with a border of Colors[1],
// Sliders[1] percent of a quarter of the shorter side wide.
void RenderLineArt(PluginDataPtr TheConfig);
