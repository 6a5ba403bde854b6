// The effect's configuration record, the dialog's working state and the
// relative rectangle in which the rectangles are kept.
#pragma once

#include "HostPluginSDK.h"
#include "MacTypes.h"
#include "cg/CGImage.h"
#include "quickdraw/QuickDraw.h"

// Fractions of the frame: 0 is the frame's left (top) edge, 1 its right
// (bottom) edge. Note the order: left, right, top, bottom.
struct RelRect {
  Float64 Left;
  Float64 Right;
  Float64 Top;
  Float64 Bottom;
};

[[noreturn]] void IndexOutOfRange(int index);

// A fixed array indexed from 1, as the record's sliders and colours are
// numbered; plain data, copied with the record's bytes.
template <typename T, int N>
struct OneBased {
  T items[N];
  T& operator[](int i) {
    if (i < 1 || i > N) IndexOutOfRange(i);
    return items[i - 1];
  }
  const T& operator[](int i) const {
    if (i < 1 || i > N) IndexOutOfRange(i);
    return items[i - 1];
  }
};

struct PluginDataRec {
  RelRect StartRel;
  RelRect EndRel;
  OneBased<SInt16, 6> Sliders;   // 1 border width, 2 opacity, 3 turn (percent)
  OneBased<RGBColor, 6> Colors;  // 1 border colour
  RGBColor FrameStartColor;
  RGBColor FrameEndColor;
  SInt16 MediaType;  // 1 NTSC, 2 PAL, 3 HD
  Boolean Sync;
  Boolean Outside;
  Boolean ClipActive;
  CGImageRef TheOriginalImage;
  CGImageRef TheRendered;
  Boolean KeepProps;
  SInt16 BlendMode;  // 1-based; drawn with blend mode BlendMode - 1
  // Motion beyond the glide from one rectangle to the other, kept in the
  // settings file's second resource.
  Boolean Smooth;      // drawn at the tween's exact fractional rectangle
  SInt16 Easing;       // 1 linear, 2 ease-in, 3 ease-out, 4 ease-in-out
  Float64 Spin;        // turns added over the effect, -8 to 8
  Float64 MotionBlur;  // the shutter: 0 (off) to 1 of a frame's time
};
typedef PluginDataRec* PluginDataPtr;

struct PluginWorkSpace {
  PluginDataPtr TheConfig;
  HYPluginParams* iMovieParams;
  GWorldPtr SourceClip;
  GWorldPtr TheFXClip;
  SInt32 CurrFrameIndex;
  SInt32 MinFrameIndex;
  SInt32 MaxFrameIndex;
  SInt16 ActiveRel;  // 1 StartRel, anything else EndRel
  ControlRef TheFrameCtrl;
  OneBased<ControlRef, 6> Sliders;
  ControlRef ClipSlider;
  OneBased<ControlRef, 6> Colors;
  WindowRef TheWindow;
};

extern PluginWorkSpace gConfigWorkSpace;
extern PluginDataPtr gTheConfig;
