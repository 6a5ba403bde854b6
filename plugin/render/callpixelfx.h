// Where the picture goes for a frame: the start and end rectangles
// interpolated by the frame's position, and the frame drawn with it.
#pragma once

#include "effect/PluginData.h"
#include "quickdraw/QuickDraw.h"

// Linear interpolation of each field; before the start the source, after the
// end the target. An effect of one frame (start = end) stands at the source.
RelRect CalcTweenRel(SInt32 startFrameNum, SInt32 endFrameNum, SInt32 currFrameNum,
                     const RelRect& sourceRel, const RelRect& targetRel);
// The dialog's preview, from gConfigWorkSpace.
void CallPixelEffect(GWorldPtr source, GWorldPtr dest);
void PixelDrive(GWorldPtr source, GWorldPtr dest, const Rect& theRect, PluginDataPtr theConfig,
                SInt32 currentFrame, SInt32 numFrames);
