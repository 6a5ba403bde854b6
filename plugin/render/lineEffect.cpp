#include "render/lineEffect.h"

#include <cmath>

#include "common/commonprocs.h"
#include "render/CGglue.h"
#include "render/motion.h"
#include "text/PascalString.h"

// ActiveRect is the glide's rectangle at CurrFrame; the motion's own
// rectangle (eased, exact) is worked out again from the configuration.
void TheLineEffect(GWorldPtr Source, GWorldPtr Dest, const Rect& ActiveRect, bool, PluginDataPtr TheConfig,
                   SInt32 CurrFrame, SInt32 MaxFrame) {
  Source2Target(Source, Dest);
  if (TheConfig->TheRendered == nullptr) return;
  const MotionDrawing motion = MotionOfConfig(*TheConfig, CurrFrame, MaxFrame);
  if (PlainGlide(*TheConfig)) {
    // The described effect: the given rectangle, at the fixed turn.
    const Float32 angle = Float32(motion.turn * 2.0 * M_PI);
    DrawCGImageInQDRectWithAlpha(Dest, motion.picture, ActiveRect, angle, false, motion.opacity, motion.blendMode);
    return;
  }
  DrawPictureInMotion(Dest, motion);
}

void RenderLineArt(PluginDataPtr TheConfig) {
  Assert(TheConfig, PStr("nil config on RenderLineArt"));
  if (TheConfig->TheRendered != nullptr) {
    CGImageRelease(TheConfig->TheRendered);
    TheConfig->TheRendered = nullptr;
  }
  if (TheConfig->TheOriginalImage == nullptr) return;
  SInt32 Wid, Hig;
  GetImageDims(TheConfig->TheOriginalImage, Wid, Hig);
  const Rect TheRect = {0, 0, SInt16(Hig), SInt16(Wid)};
  // A picture too large for memory is left without a prepared picture; the
  // frames then show no picture rather than the process failing.
  GWorldPtr work = AllocateRectGWorld(TheRect);
  if (work == nullptr) return;
  DrawCGImageInQDRect(work, TheConfig->TheOriginalImage, TheRect, 0, true);

  const double shorter = Wid < Hig ? Wid : Hig;
  const SInt16 SWid = SInt16(TruncToLong(shorter / 4.0 * TheConfig->Sliders[1] / 100.0));
  if (SWid > 0) {
    CGrafPtr savedPort;
    GDHandle savedDevice;
    GetGWorld(&savedPort, &savedDevice);
    SetGWorld(work, nullptr);
    RGBForeColor(&TheConfig->Colors[1]);
    Rect strip = TheRect;
    strip.right = SWid;
    PaintRect(&strip);
    strip = TheRect;
    strip.bottom = SWid;
    PaintRect(&strip);
    strip = TheRect;
    strip.left = SInt16(strip.right - SWid);
    PaintRect(&strip);
    strip = TheRect;
    strip.top = SInt16(strip.bottom - SWid);
    PaintRect(&strip);
    SetGWorld(savedPort, savedDevice);
  }
  TheConfig->TheRendered = GWorld2CGImage(work);
  DisposeGWorld(work);
}
