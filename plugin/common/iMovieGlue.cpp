#include "common/iMovieGlue.h"

#include "common/commonprocs.h"

namespace {
// Proxy previews of small frames are fetched in the host's cheaper quality.
constexpr SInt32 kLowQualityBelowHeight = 260;
}  // namespace

HYRefDVQuality QualityFor(const HYPluginParams* params, SInt32 height) {
  return params->proxyOnly && height < kLowQualityBelowHeight ? kDVLowQuality : kDVHighQuality;
}

// The host owns the frames it lends and takes each back with ReleaseFrame, so
// the fetched buffer is never disposed of here, whatever disposeAfterUse says.
SInt32 GetFrameIntoGW(GWorldPtr theGW, HYPluginParams* params, SInt32 frameIndex, SInt16) {
  const Rect dstRect = GetPortRect(theGW);
  const SInt16 width = SInt16(dstRect.right - dstRect.left), height = SInt16(dstRect.bottom - dstRect.top);
  const SInt32 frame = frameIndex + params->startFrame;
  if (frame < 0) return -1;
  GWorldPtr clip = nullptr;
  Float32 volume = 0;
  void* cookie = nullptr;
  SInt32 result = params->procs->GetFrame(params->instance, frame, &clip, width, height,
                                          QualityFor(params, height), &volume, &cookie);
  if (clip != nullptr) {
    const Rect clipRect = GetPortRect(clip);
    CopyBits(GetPortBitMapForCopyBits(clip), GetPortBitMapForCopyBits(theGW), &clipRect, &dstRect, srcCopy,
             nullptr);
    result = params->procs->ReleaseFrame(params->instance, cookie);
  }
  return result;
}
