// Clip frames fetched from the host for the configuration dialog.
#pragma once

#include "HostPluginSDK.h"
#include "quickdraw/QuickDraw.h"

// The requested quality for a frame of this height.
HYRefDVQuality QualityFor(const HYPluginParams* params, SInt32 height);
// Copies clip frame startFrame + frameIndex, fetched at theGW's size, into
// theGW. Answers -1 for a frame before the clip, else the host's result.
SInt32 GetFrameIntoGW(GWorldPtr theGW, HYPluginParams* params, SInt32 frameIndex, SInt16 disposeAfterUse);
