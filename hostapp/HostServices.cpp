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

namespace {

// out = (in opacity + out (255 - opacity)) / 255, rounded, for `count` bytes.
inline UInt8 Mix(UInt8 in, UInt8 out, uint16_t a, uint16_t b) {
  const uint16_t t = uint16_t(in * a + out * b + 128);  // 255 * 255 + 128 fits
  return UInt8((t + (t >> 8)) >> 8);
}

// `out` and `in` do not overlap.
void MixBytes(UInt8* __restrict out, const UInt8* __restrict in, size_t count, unsigned over) {
  const uint16_t a = uint16_t(over), b = uint16_t(255 - over);
  // Blocks of a fixed size, which the compiler turns into vector code.
  constexpr size_t kBlock = 64;
  size_t k = 0;
  for (; k + kBlock <= count; k += kBlock)
    for (size_t j = 0; j < kBlock; ++j) out[k + j] = Mix(in[k + j], out[k + j], a, b);
  for (; k < count; ++k) out[k] = Mix(in[k], out[k], a, b);
}

}  // namespace

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
  // The source column of each destination column, worked out once.
  std::vector<int> columns;
  for (int x = target.left; x < target.right; ++x) columns.push_back(sourceRect->left + (x - destinationRect->left) * sw / dw);
  // Where the columns run on one to one, whole runs of bytes are mixed at once.
  const bool oneToOne = sw == dw && columns.front() >= s.bounds.left && columns.back() < s.bounds.right;
  std::vector<UInt8> row(columns.size() * 4);
  // A frame blitted onto itself, shifted up or down, would read rows the
  // blit has already mixed: the source is then read from a copy of itself.
  const UInt8* sourceBase = reinterpret_cast<const UInt8*>(s.baseAddr);
  const size_t sourceBytes = size_t(s.bounds.bottom - s.bounds.top) * size_t(s.rowBytes);
  const size_t destinationBytes = size_t(d.bounds.bottom - d.bounds.top) * size_t(d.rowBytes);
  const UInt8* destinationBase = reinterpret_cast<const UInt8*>(d.baseAddr);
  std::vector<UInt8> copy;
  if (sourceBase < destinationBase + destinationBytes && destinationBase < sourceBase + sourceBytes) {
    copy.assign(sourceBase, sourceBase + sourceBytes);
    sourceBase = copy.data();
  }
  for (int y = target.top; y < target.bottom; ++y) {
    const int sy = sourceRect->top + (y - destinationRect->top) * sh / dh;
    if (sy < s.bounds.top || sy >= s.bounds.bottom) continue;
    UInt8* out = reinterpret_cast<UInt8*>(d.baseAddr) + ptrdiff_t(y - d.bounds.top) * d.rowBytes +
                 4 * (target.left - d.bounds.left);
    const UInt8* in = sourceBase + ptrdiff_t(sy - s.bounds.top) * s.rowBytes;
    const UInt8* from = in + 4 * (columns.front() - s.bounds.left);
    const size_t bytes = columns.size() * 4;
    if (oneToOne) {
      MixBytes(out, from, bytes, unsigned(opacity));
      continue;
    }
    // Otherwise the row is gathered first; columns outside the source stay
    // as they are.
    std::memcpy(row.data(), out, row.size());
    for (size_t k = 0; k < columns.size(); ++k)
      if (columns[k] >= s.bounds.left && columns[k] < s.bounds.right)
        std::memcpy(&row[4 * k], in + 4 * (columns[k] - s.bounds.left), 4);
    MixBytes(out, row.data(), row.size(), unsigned(opacity));
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

std::string ResultName(SInt32 result) {
  static const char* const kNames[] = {"ok",
                                       "cancelled",
                                       "finished",
                                       "bad parameters",
                                       "out of memory",
                                       "out of disk space",
                                       "failed",
                                       "cannot get a needed frame",
                                       "unimplemented",
                                       "try again later",
                                       "the host's interface version is too old for it",
                                       "the host's interface version is too new for it"};
  return result >= kPluginOK && result <= kPluginAppIsTooNew ? kNames[result] : "result " + std::to_string(result);
}

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
