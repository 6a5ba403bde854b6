// Render sessions: the host opens a session, asks for one frame at a time,
// and closes it; a placeholder render is a whole one-frame session.
#include <cstring>

#include "common/commonprocs.h"
#include "common/iMovieGlue.h"
#include "effect/pascalFX.h"
#include "host/HostEntry.h"
#include "quickdraw/QuickDraw.h"
#include "text/PascalString.h"

namespace {

EffectData* SessionOf(HYPluginParams* params) { return static_cast<EffectData*>(params->clientData); }

// Fade-in and fade-out never overlap and never exceed the effect.
void ClampFades(EffectData* data, SInt32 frameCount) {
  if (data->fadeInFrames != 0 && data->fadeOutFrames != 0) {
    if (data->fadeInFrames > frameCount / 2) data->fadeInFrames = frameCount / 2;
    if (data->fadeOutFrames > frameCount / 2) data->fadeOutFrames = frameCount / 2;
  } else if (data->fadeInFrames != 0 && data->fadeInFrames > frameCount) {
    data->fadeInFrames = frameCount;
  } else if (data->fadeOutFrames != 0 && data->fadeOutFrames > frameCount) {
    data->fadeOutFrames = frameCount;
  }
}

bool Fading(const EffectData* data, const HYPluginParams* params) {
  return (data->fadeInFrames > 0 || data->fadeOutFrames != 0) &&
         (params->renderFrame < data->fadeInFrames || params->renderFrame > params->frameCount - data->fadeOutFrames);
}

// How much of the untouched frame lies over the effect: 255 at the first
// frame of a fade-in, falling toward 0, and rising again through a fade-out.
SInt16 FadeOpacity(const EffectData* data, const HYPluginParams* params) {
  const double percent = params->renderFrame < data->fadeInFrames
                             ? double(params->renderFrame) / data->fadeInFrames
                             : double(params->frameCount - params->renderFrame) / data->fadeOutFrames;
  const SInt32 opacity = TruncToLong((1.0 - percent) * 255.0);
  return SInt16(opacity < 0 ? 0 : opacity > 255 ? 255 : opacity);
}

// The session's copy of the configuration goes back to the host.
void ReleaseSessionCopy(EffectData* data, HYProcs* procs) {
  if (data->pascalData == nullptr) return;
  pUncopyConfig(data->pascalData);
  procs->DisposePtr(reinterpret_cast<Ptr>(data->pascalData));
  data->pascalData = nullptr;
}

}  // namespace

HYPluginResult EffectBegin(SInt16, HYPluginParams* params) {
  HYProcs* procs = params->procs;
  const bool fresh = params->clientData == nullptr;
  if (fresh) {
    params->clientData = procs->NewPtrClear(sizeof(EffectData));
    if (params->clientData == nullptr) return kPluginOutOfMemory;
  }
  EffectData* data = SessionOf(params);
  // A session begun again without its end gives up the copy it held.
  ReleaseSessionCopy(data, procs);
  UInt32 size;
  pGetConfigSize(size);
  data->pascalData = reinterpret_cast<PluginDataPtr>(procs->NewPtrClear(SInt32(size)));
  if (data->pascalData == nullptr) {
    // No session without its configuration: frames would find none.
    if (fresh) {
      procs->DisposePtr(reinterpret_cast<Ptr>(data));
      params->clientData = nullptr;
    }
    return kPluginOutOfMemory;
  }
  // Blocks come from the host's allocator: one of the wrong size is the
  // host's fault, answered with a result rather than the end of its process.
  if (!ConfigBlocksMatch(gPascalData, data->pascalData)) {
    RefuseFromOutside(PStr("Non-Matching Blocks"), PStr("The Size of Source and Dest do not match"));
    ReleaseSessionCopy(data, procs);
    if (fresh) {
      procs->DisposePtr(reinterpret_cast<Ptr>(data));
      params->clientData = nullptr;
    }
    return kPluginBadParams;
  }
  pCopyConfig(gPascalData, data->pascalData);
  data->effectSourceCount = 1;
  HYPluginFilterInfo* info = nullptr;
  const HYPluginResult result = procs->GetFilterInfo(params->instance, &info);
  if (result == kPluginOK && info != nullptr) {
    data->fadeInFrames = info->fadeInFrames;
    data->fadeOutFrames = info->fadeOutFrames;
    for (int i = 0; i < kHYFilterSliderCount; ++i) data->sliderValues[i] = info->sliderValues[i];
    procs->ReleaseFilterInfo(params->instance, info);
  }
  ClampFades(data, params->frameCount);
  data->effectGWorld = nullptr;
  return result;
}

HYPluginResult EffectDrive(SInt16, HYPluginParams* params) {
  EffectData* data = SessionOf(params);
  if (data == nullptr || data->pascalData == nullptr) return kPluginBadParams;
  const SInt16 width = SInt16(params->frameRect.right - params->frameRect.left);
  const SInt16 height = SInt16(params->frameRect.bottom - params->frameRect.top);
  const SInt32 frame = params->startFrame + params->renderFrame;
  gMostRecentStartFrame = params->startFrame;
  gMostRecentFrameCount = params->frameCount;

  HYPluginResult result = kPluginOK;
  bool bufferFailed = false;
  LentFrame before;
  GWorldPtr gWorldOriginal = nullptr;
  SInt16 opacity = 255;
  do {
    if (frame < 0) break;
    Float32 volume = 0;
    result = FetchHostFrame(params, frame, width, height, QualityFor(params, height), &volume, before);
    if (result != kPluginOK) break;
    GWorldPtr gWorldBefore = before.buffer;
    const Rect srcRect = {0, 0, height, width};
    if (Fading(data, params)) {
      // A fade that cannot be made fails the frame rather than skip the fade.
      if (NewGWorld(&gWorldOriginal, 32, &srcRect, nullptr, nullptr, 0) != noErr || gWorldOriginal == nullptr) {
        bufferFailed = true;
        break;
      }
      CopyBits(GetPortBitMapForCopyBits(gWorldBefore), GetPortBitMapForCopyBits(gWorldOriginal), &srcRect, &srcRect,
               srcCopy, nullptr);
      opacity = FadeOpacity(data, params);
    }
    result = ApplyEffect(gWorldBefore, params);
    if (result != kPluginOK) break;
    if (gWorldOriginal != nullptr) {
      const Rect beforeRect = GetPortRect(gWorldBefore);
      const HYFrame original = DescribeFrame(gWorldOriginal);
      result = params->procs->Blit(&original, params->frame, &beforeRect, &params->frameRect, opacity);
      if (result != kPluginOK) break;
    }
    if (!params->proxyOnly) result = params->procs->MixAudio(params->instance, before.cookie, 256);
  } while (false);

  const HYPluginResult released = GiveBackHostFrame(params, before);
  if (result == kPluginOK) result = released;
  DisposeGWorld(gWorldOriginal);
  if (result == kPluginOK && bufferFailed) result = kPluginFailed;
  return result;
}

HYPluginResult ApplyEffect(GWorldPtr sourceFrame, HYPluginParams* params) {
  EffectData* data = SessionOf(params);
  Rect srcRect = GetPortRect(sourceFrame);
  OffsetRect(&srcRect, SInt16(-srcRect.left), SInt16(-srcRect.top));
  LockGWorld(sourceFrame);
  // The host's output frame, seen through a buffer of ours.
  GWorldPtr output = WrapHostFrame(params->frame);
  if (output == nullptr) return kPluginBadParams;
  const QDErr status = NewGWorld(&data->effectGWorld, 32, &srcRect, nullptr, nullptr, 0);
  if (status == noErr && data->effectGWorld != nullptr) {
    // The effect begins by copying the whole source frame into its target,
    // so the work buffer (zero-filled by NewGWorld) needs no copy of its own.
    ApplyLineArtEffect(sourceFrame, data->effectGWorld, params);
    CopyBits(GetPortBitMapForCopyBits(data->effectGWorld), GetPortBitMapForCopyBits(output), &srcRect,
             &params->frameRect, srcCopy, nullptr);
  }
  DisposeGWorld(data->effectGWorld);
  data->effectGWorld = nullptr;
  DisposeGWorld(output);
  if (status == noErr) return kPluginOK;
  return status == memFullErr ? kPluginOutOfMemory : kPluginFailed;
}

void ApplyLineArtEffect(GWorldPtr sourceFrame, GWorldPtr targetFrame, HYPluginParams* params) {
  EffectData* data = SessionOf(params);
  CGrafPtr savedPort;
  GDHandle savedDevice;
  GetGWorld(&savedPort, &savedDevice);
  SetGWorld(targetFrame, nullptr);
  SInt16 opacity = 0;
  DoEffect(data->pascalData, params, sourceFrame, targetFrame, params->renderFrame, data->fadeInFrames,
           data->fadeOutFrames, params->frameCount, data->sliderValues[0], data->sliderValues[1],
           data->sliderValues[2], opacity);
  SetGWorld(savedPort, savedDevice);
}

HYPluginResult EffectEnd(SInt16, HYPluginParams* params) {
  EffectData* data = SessionOf(params);
  if (data == nullptr) return kPluginOK;
  DisposeGWorld(data->effectGWorld);
  data->effectGWorld = nullptr;
  ReleaseSessionCopy(data, params->procs);
  params->procs->DisposePtr(reinterpret_cast<Ptr>(data));
  params->clientData = nullptr;
  return kPluginOK;
}

HYPluginResult MakeEffectPlaceHolder(SInt16 which, HYPluginParams* params) {
  HYPluginParams local;
  std::memcpy(&local, params, sizeof local);
  local.renderFrame = params->getInfo.bestThumbOffset;
  // The placeholder's session is its own; a session the caller has open in
  // clientData must be neither reused nor freed.
  local.clientData = nullptr;
  local.selector = kPlugInitialize;
  HYPluginResult result = EffectBegin(which, &local);
  if (result == kPluginOK) {
    local.selector = kPlugDoFrame;
    // A frame that could not be made is the placeholder's failure, not a
    // blank picture reported as done.
    result = EffectDrive(which, &local);
  }
  if (local.clientData != nullptr) {
    local.selector = kPlugTerminate;
    EffectEnd(which, &local);  // also a session half opened
  }
  return result;
}
