// The host's frames seen through the plug-in's own buffers, and clip frames
// fetched from the host for the configuration dialog.
#pragma once

#include "HostPluginSDK.h"
#include "quickdraw/QuickDraw.h"

// A buffer of ours over a frame the host lends: nil when the frame is not
// one this plug-in can draw on. The caller disposes of the buffer; the
// pixels stay the host's.
GWorldPtr WrapHostFrame(const HYFrame* frame);
// One of our buffers described for the host, as Blit's source.
HYFrame DescribeFrame(GWorldPtr buffer);

// A frame the host lent, seen through a buffer of ours.
struct LentFrame {
  GWorldPtr buffer = nullptr;
  void* cookie = nullptr;
  bool lent = false;  // the host said yes: the frame goes back to it
};
// The host's GetFrame, wrapped. Answers the host's result; when the host
// said yes but lent nothing, kPluginCantGetNeededFrame, and when what it
// lent cannot be drawn on, kPluginBadParams.
HYPluginResult FetchHostFrame(HYPluginParams* params, SInt32 frame, SInt16 width, SInt16 height,
                              HYRefDVQuality quality, Float32* volume, LentFrame& out);
// Disposes of the wrapper and gives a lent frame back (ReleaseFrame's result).
HYPluginResult GiveBackHostFrame(HYPluginParams* params, LentFrame& frame);

// The requested quality for a frame of this height.
HYRefDVQuality QualityFor(const HYPluginParams* params, SInt32 height);
// Copies clip frame startFrame + frameIndex, fetched at theGW's size, into
// theGW. Answers -1 for a frame before the clip, else the host's result.
SInt32 GetFrameIntoGW(GWorldPtr theGW, HYPluginParams* params, SInt32 frameIndex, SInt16 disposeAfterUse);
