#include "HostServices.h"

#include <chrono>
#include <cstring>

#include "media/ClipReader.h"
#include "memory/MacMemory.h"
#include "quickdraw/QuickDraw.h"

namespace {

size_t lgBlocksOutstanding = 0;

// Adds the time until the end of the callback to the session's account.
struct CallbackTimer {
  HostSession* session;
  std::chrono::steady_clock::time_point began = std::chrono::steady_clock::now();
  explicit CallbackTimer(void* instance) : session(static_cast<HostSession*>(instance)) {}
  ~CallbackTimer() {
    if (session) session->callbackSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  }
};

// A frame of the asked size: a spare one when there is, else a new one.
GWorldPtr FrameOfSize(HostSession& session, SInt16 width, SInt16 height) {
  for (size_t k = 0; k < session.spareFrames.size(); ++k) {
    Rect b;
    GetPortBounds(session.spareFrames[k], &b);
    if (b.right == width && b.bottom == height) {
      GWorldPtr frame = session.spareFrames[k];
      session.spareFrames.erase(session.spareFrames.begin() + long(k));
      return frame;
    }
  }
  GWorldPtr frame = nullptr;
  const Rect bounds = {0, 0, height, width};
  return NewGWorld(&frame, 32, &bounds, nullptr, nullptr, 0) == noErr ? frame : nullptr;
}

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

// The cookie of a lent frame is the frame's buffer itself.
HYPluginResult HostGetFrame(void* instance, SInt32 frameNumber, GWorldPtr* outFrame, SInt16 width, SInt16 height,
                            HYRefDVQuality quality, Float32* outVolume, void** outCookie) {
  if (instance == nullptr || outFrame == nullptr || outCookie == nullptr) return kPluginBadParams;
  CallbackTimer timer(instance);
  HostSession& session = *static_cast<HostSession*>(instance);
  *outFrame = nullptr;
  *outCookie = nullptr;
  if (session.clip == nullptr || frameNumber == session.failGetFrameAt || width <= 0 || height <= 0)
    return kPluginCantGetNeededFrame;
  GWorldPtr frame = FrameOfSize(session, width, height);
  if (frame == nullptr) return kPluginOutOfMemory;
  PixMapHandle pm = GetGWorldPixMap(frame);
  if (!session.clip->ReadFrame(frameNumber, width, height, quality == kDVHighQuality,
                               reinterpret_cast<uint8_t*>(GetPixBaseAddr(pm)), GetPixRowBytes(pm))) {
    session.spareFrames.push_back(frame);
    return kPluginCantGetNeededFrame;
  }
  session.lent[frame] = frameNumber;
  if (outVolume) *outVolume = 1;
  *outFrame = frame;
  *outCookie = frame;
  return kPluginOK;
}

HYPluginResult HostReleaseFrame(void* instance, void* cookie) {
  if (instance == nullptr) return kPluginBadParams;
  CallbackTimer timer(instance);
  HostSession& session = *static_cast<HostSession*>(instance);
  auto it = session.lent.find(cookie);
  if (it == session.lent.end()) return kPluginBadParams;  // not a frame we lent
  session.spareFrames.push_back(static_cast<GWorldPtr>(it->first));
  session.lent.erase(it);
  return kPluginOK;
}

// Lays the source over the destination: opacity 255 is the source alone,
// 0 leaves the destination. Sizes that differ are matched by whole pixels.
HYPluginResult HostBlit(PixMapHandle source, PixMapHandle destination, const Rect* sourceRect,
                        const Rect* destinationRect, SInt16 opacity) {
  if (!source || !destination || !sourceRect || !destinationRect || opacity < 0 || opacity > 255)
    return kPluginBadParams;
  const PixMap& s = **source;
  const PixMap& d = **destination;
  Rect target;
  if (!SectRect(destinationRect, &d.bounds, &target)) return kPluginOK;
  const int sw = sourceRect->right - sourceRect->left, sh = sourceRect->bottom - sourceRect->top;
  const int dw = destinationRect->right - destinationRect->left, dh = destinationRect->bottom - destinationRect->top;
  if (sw <= 0 || sh <= 0) return kPluginBadParams;
  const unsigned over = unsigned(opacity), under = 255 - over;
  for (int y = target.top; y < target.bottom; ++y) {
    const int sy = sourceRect->top + (y - destinationRect->top) * sh / dh;
    if (sy < s.bounds.top || sy >= s.bounds.bottom) continue;
    UInt8* out = reinterpret_cast<UInt8*>(d.baseAddr) + ptrdiff_t(y - d.bounds.top) * d.rowBytes;
    const UInt8* in = reinterpret_cast<const UInt8*>(s.baseAddr) + ptrdiff_t(sy - s.bounds.top) * s.rowBytes;
    for (int x = target.left; x < target.right; ++x) {
      const int sx = sourceRect->left + (x - destinationRect->left) * sw / dw;
      if (sx < s.bounds.left || sx >= s.bounds.right) continue;
      UInt8* o = out + 4 * (x - d.bounds.left);
      const UInt8* i = in + 4 * (sx - s.bounds.left);
      for (int c = 0; c < 4; ++c) o[c] = UInt8((i[c] * over + o[c] * under + 127) / 255);
    }
  }
  return kPluginOK;
}

HYPluginResult HostMixAudio(void* instance, void* cookie, SInt32) {
  if (instance == nullptr) return kPluginBadParams;
  CallbackTimer timer(instance);
  HostSession& session = *static_cast<HostSession*>(instance);
  auto it = session.lent.find(cookie);
  if (it == session.lent.end()) return kPluginBadParams;
  session.audioMixed.insert(it->second);
  return kPluginOK;
}

HYPluginResult HostGetFilterInfo(void* instance, HYPluginFilterInfo** outInfo) {
  if (instance == nullptr || outInfo == nullptr) return kPluginBadParams;
  *outInfo = &static_cast<HostSession*>(instance)->filterInfo;
  return kPluginOK;
}

HYPluginResult HostReleaseFilterInfo(void*, HYPluginFilterInfo*) { return kPluginOK; }

HYProcs lgProcs = {HostNewPtrClear, HostDisposePtr,   HostGetFrame,      HostReleaseFrame,
                   HostBlit,        HostMixAudio,     HostGetFilterInfo, HostReleaseFilterInfo};

}  // namespace

HostSession::~HostSession() {
  for (GWorldPtr frame : spareFrames) DisposeGWorld(frame);
}

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

size_t ReclaimLentFrames(HostSession& session) {
  const size_t count = session.lent.size();
  for (auto& item : session.lent) DisposeGWorld(static_cast<GWorldPtr>(item.first));
  session.lent.clear();
  return count;
}
