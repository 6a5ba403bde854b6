// pascalFX's effect drive: a host frame's rectangle, interpolated, then drawn.
#include "common/commonprocs.h"
#include "effect/pascalFX.h"
#include "effect/relrects.h"
#include "render/callpixelfx.h"
#include "text/PascalString.h"

void DoPascalPixelEffect(GWorldPtr source, GWorldPtr dest, PluginDataPtr theConfig,
                         SInt32 currentFrameIndex, SInt32 maxFrames) {
  const Rect theFrame = GetPortRect(dest);
  const RelRect tween = CalcTweenRel(0, maxFrames, currentFrameIndex, theConfig->StartRel, theConfig->EndRel);
  PixelDrive(source, dest, Rel2Rect(tween, theFrame), theConfig, currentFrameIndex, maxFrames);
}

void DoEffect(PluginDataPtr myConfig, HYPluginParams*, GWorldPtr theSource, GWorldPtr theTarget,
              SInt32 currentFrameIndex, SInt32, SInt32, SInt32 totalFrames, Float32, Float32, Float32,
              SInt16&) {
  Assert(myConfig, PStr("uninited theData in Plugin Effect master proc. need to call init before calling me"));
  CGrafPtr savedPort;
  GDHandle savedDevice;
  GetGWorld(&savedPort, &savedDevice);
  DoPascalPixelEffect(theSource, theTarget, myConfig, currentFrameIndex, totalFrames);
  SetGWorld(savedPort, savedDevice);
}
