#include "render/callpixelfx.h"

#include "common/commonprocs.h"
#include "effect/relrects.h"
#include "render/lineEffect.h"

namespace {

Float64 Tween(SInt32 k, SInt32 frames, Float64 from, Float64 to) {
  return from + (k * (to - from)) / frames;
}

}  // namespace

RelRect CalcTweenRel(SInt32 startFrameNum, SInt32 endFrameNum, SInt32 currFrameNum,
                     const RelRect& sourceRel, const RelRect& targetRel) {
  if (currFrameNum < startFrameNum) return sourceRel;
  if (currFrameNum > endFrameNum) return targetRel;
  const SInt32 frames = endFrameNum - startFrameNum;
  if (frames == 0) return sourceRel;
  const SInt32 k = currFrameNum - startFrameNum;
  return {Tween(k, frames, sourceRel.Left, targetRel.Left), Tween(k, frames, sourceRel.Right, targetRel.Right),
          Tween(k, frames, sourceRel.Top, targetRel.Top), Tween(k, frames, sourceRel.Bottom, targetRel.Bottom)};
}

void CallPixelEffect(GWorldPtr source, GWorldPtr dest) {
  PluginDataPtr config = gConfigWorkSpace.TheConfig;
  const Rect theFrame = GetPortRect(dest);
  const RelRect tween = CalcTweenRel(0, gConfigWorkSpace.MaxFrameIndex, gConfigWorkSpace.CurrFrameIndex,
                                     config->StartRel, config->EndRel);
  PixelDrive(source, dest, Rel2Rect(tween, theFrame), config, gConfigWorkSpace.CurrFrameIndex,
             gConfigWorkSpace.MaxFrameIndex);
}

void PixelDrive(GWorldPtr source, GWorldPtr dest, const Rect& theRect, PluginDataPtr theConfig,
                SInt32 currentFrame, SInt32 numFrames) {
  TheLineEffect(source, dest, theRect, true, theConfig, currentFrame, numFrames);
}
