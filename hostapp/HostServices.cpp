#include "HostServices.h"

#include <cstring>

#include "memory/MacMemory.h"

namespace {

size_t lgBlocksOutstanding = 0;

Ptr HostNewPtrClear(SInt32 byteCount) {
  Ptr block = NewPtrClear(byteCount);
  if (block != nullptr) ++lgBlocksOutstanding;
  return block;
}

void HostDisposePtr(Ptr block) {
  if (block == nullptr) return;
  DisposePtr(block);
  --lgBlocksOutstanding;
}

HYPluginResult HostGetFrame(void*, SInt32, GWorldPtr* outFrame, SInt16, SInt16, HYRefDVQuality,
                            Float32*, void** outCookie) {
  if (outFrame) *outFrame = nullptr;
  if (outCookie) *outCookie = nullptr;
  return kPluginCantGetNeededFrame;
}

HYPluginResult HostReleaseFrame(void*, void*) { return kPluginOK; }

HYPluginResult HostBlit(PixMapHandle, PixMapHandle, const Rect*, const Rect*, SInt16) {
  return kPluginUnimplemented;
}

HYPluginResult HostMixAudio(void*, void*, SInt32) { return kPluginOK; }

HYPluginResult HostGetFilterInfo(void* instance, HYPluginFilterInfo** outInfo) {
  if (instance == nullptr || outInfo == nullptr) return kPluginBadParams;
  *outInfo = &static_cast<HostSession*>(instance)->filterInfo;
  return kPluginOK;
}

HYPluginResult HostReleaseFilterInfo(void*, HYPluginFilterInfo*) { return kPluginOK; }

HYProcs lgProcs = {HostNewPtrClear, HostDisposePtr,   HostGetFrame,      HostReleaseFrame,
                   HostBlit,        HostMixAudio,     HostGetFilterInfo, HostReleaseFilterInfo};

}  // namespace

HYProcs* HostProcs() { return &lgProcs; }

HYPluginParams NewParams(HostSession& session, SInt16 interfaceVersion) {
  HYPluginParams params;
  std::memset(&params, 0, sizeof params);
  params.interfaceVersion = interfaceVersion;
  params.instance = &session;
  params.procs = HostProcs();
  return params;
}

size_t HostBlocksOutstanding() { return lgBlocksOutstanding; }
