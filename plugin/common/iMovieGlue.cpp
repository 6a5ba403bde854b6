#include "common/iMovieGlue.h"

#include "common/commonprocs.h"

namespace {
// Proxy previews of small frames are fetched in the host's cheaper quality.
constexpr SInt32 kLowQualityBelowHeight = 260;
}  // namespace

HYRefDVQuality QualityFor(const HYPluginParams* params, SInt32 height) {
  return params->proxyOnly && height < kLowQualityBelowHeight ? kDVLowQuality : kDVHighQuality;
}

GWorldPtr WrapHostFrame(const HYFrame* frame) {
  if (!HYFrameIsUsable(frame)) return nullptr;
  GWorldPtr buffer = nullptr;
  NewGWorldFromPtr(&buffer, 32, &frame->bounds, nullptr, nullptr, 0, frame->baseAddress, frame->rowBytes);
  return buffer;
}

HYFrame DescribeFrame(GWorldPtr buffer) {
  PixMapHandle pm = GetGWorldPixMap(buffer);
  return HYFrame{GetPixBaseAddr(pm), GetPixRowBytes(pm), GetPortRect(buffer), kHYPixelFormatARGB32};
}

HYPluginResult FetchHostFrame(HYPluginParams* params, SInt32 frame, SInt16 width, SInt16 height,
                              HYRefDVQuality quality, Float32* volume, LentFrame& out) {
  out = LentFrame{};
  HYFrame* lent = nullptr;
  const HYPluginResult result =
      params->procs->GetFrame(params->instance, frame, &lent, width, height, quality, volume, &out.cookie);
  if (result != kPluginOK) return result;
  out.lent = true;
  if (lent == nullptr) return kPluginCantGetNeededFrame;
  out.buffer = WrapHostFrame(lent);
  return out.buffer != nullptr ? kPluginOK : kPluginBadParams;
}

HYPluginResult GiveBackHostFrame(HYPluginParams* params, LentFrame& frame) {
  DisposeGWorld(frame.buffer);
  frame.buffer = nullptr;
  if (!frame.lent) return kPluginOK;
  frame.lent = false;
  return params->procs->ReleaseFrame(params->instance, frame.cookie);
}

// The host owns the frames it lends and takes each back with ReleaseFrame, so
// the fetched buffer is never disposed of here, whatever disposeAfterUse says.
SInt32 GetFrameIntoGW(GWorldPtr theGW, HYPluginParams* params, SInt32 frameIndex, SInt16) {
  const Rect dstRect = GetPortRect(theGW);
  const SInt16 width = SInt16(dstRect.right - dstRect.left), height = SInt16(dstRect.bottom - dstRect.top);
  const SInt32 frame = frameIndex + params->startFrame;
  if (frame < 0) return -1;
  Float32 volume = 0;
  LentFrame clip;
  SInt32 result = FetchHostFrame(params, frame, width, height, QualityFor(params, height), &volume, clip);
  if (clip.buffer != nullptr) {
    const Rect clipRect = GetPortRect(clip.buffer);
    CopyBits(GetPortBitMapForCopyBits(clip.buffer), GetPortBitMapForCopyBits(theGW), &clipRect, &dstRect, srcCopy,
             nullptr);
  }
  const HYPluginResult released = GiveBackHostFrame(params, clip);
  return result == kPluginOK ? released : result;
}
