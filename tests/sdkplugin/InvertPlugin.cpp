// A plug-in that includes nothing but the host interface header: it inverts
// R, G and B of every frame it is given and keeps alpha. It shows that
// what crosses between a host and a plug-in is all in that header: frames,
// blocks and their sizes, results.
#include "HostPluginSDK.h"

namespace {

struct Session {
  SInt32 frames;  // frames drawn in this session
};

HYPluginResult GetInfo(HYPluginParams* params) {
  params->getInfo.pluginType = kPluginFilterType;
  params->getInfo.framesToBeRendered = params->getInfo2.selectedFrames;
  params->getInfo2.baseMemoryNeeded = SInt32(sizeof(Session));
  return kPluginOK;
}

// The session's block comes from the host, and the host says how big it is.
HYPluginResult Begin(HYPluginParams* params) {
  HYProcs* procs = params->procs;
  Ptr block = procs->NewPtrClear(SInt32(sizeof(Session)));
  if (block == nullptr) return kPluginOutOfMemory;
  if (procs->GetPtrSize(block) != SInt32(sizeof(Session))) {
    procs->DisposePtr(block);
    return kPluginBadParams;
  }
  params->clientData = block;
  return kPluginOK;
}

HYPluginResult End(HYPluginParams* params) {
  if (params->clientData != nullptr) params->procs->DisposePtr(static_cast<Ptr>(params->clientData));
  params->clientData = nullptr;
  return kPluginOK;
}

// Pixel (x, y) of the frame's bounds, as the header lays it out.
UInt8* PixelAt(const HYFrame* f, SInt32 x, SInt32 y) {
  return reinterpret_cast<UInt8*>(f->baseAddress) + (y - f->bounds.top) * f->rowBytes + 4 * (x - f->bounds.left);
}

HYPluginResult DrawFrame(HYPluginParams* params) {
  Session* session = static_cast<Session*>(params->clientData);
  if (session == nullptr || !HYFrameIsUsable(params->frame)) return kPluginBadParams;
  const Rect& where = params->frameRect;
  const SInt16 width = SInt16(where.right - where.left), height = SInt16(where.bottom - where.top);
  HYFrame* source = nullptr;
  void* cookie = nullptr;
  Float32 volume = 0;
  HYPluginResult result = params->procs->GetFrame(params->instance, params->startFrame + params->renderFrame,
                                                  &source, width, height, kDVHighQuality, &volume, &cookie);
  if (result != kPluginOK) return result;
  if (HYFrameIsUsable(source)) {
    for (SInt32 y = 0; y < height; ++y)
      for (SInt32 x = 0; x < width; ++x) {
        const UInt8* in = PixelAt(source, source->bounds.left + x, source->bounds.top + y);
        UInt8* out = PixelAt(params->frame, where.left + x, where.top + y);
        out[0] = in[0];
        for (int c = 1; c < 4; ++c) out[c] = UInt8(255 - in[c]);
      }
    ++session->frames;
    result = params->proxyOnly ? kPluginOK : params->procs->MixAudio(params->instance, cookie, 256);
  } else {
    result = kPluginBadParams;
  }
  const HYPluginResult released = params->procs->ReleaseFrame(params->instance, cookie);
  return result == kPluginOK ? released : result;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) SInt32 InvertEntry(SInt16, HYPluginParams* params) __asm__("main");

SInt32 InvertEntry(SInt16, HYPluginParams* params) {
  if (params == nullptr || params->procs == nullptr) return kPluginBadParams;
  if (params->interfaceVersion < kHostInterfaceVersion) return kPluginAppIsTooOld;
  switch (params->selector) {
    case kPlugGetInfo: return GetInfo(params);
    case kPlugInitialize: return Begin(params);
    case kPlugDoFrame: return DrawFrame(params);
    case kPlugTerminate: return End(params);
    default: return kPluginOK;
  }
}
