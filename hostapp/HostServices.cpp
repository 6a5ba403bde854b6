#include "HostServices.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "media/ClipReader.h"

namespace {

// The blocks lent to plug-ins, with the sizes they were asked with.
std::mutex lgBlocksLock;
std::map<Ptr, SInt32> lgBlocks;
// Larger requests are refused: no effect block comes near this, and a size
// computed from bad input must not exhaust memory.
constexpr SInt32 kLargestBlock = 1 << 30;
// Rows start on cache-line boundaries, as the plug-in's own buffers do.
constexpr size_t kRowAlignment = 64;

int Height(const Rect& r) { return r.bottom - r.top; }

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
HYFrame* FrameOfSize(HostSession& session, SInt16 width, SInt16 height) {
  for (size_t k = 0; k < session.spareFrames.size(); ++k) {
    const Rect& b = session.spareFrames[k]->bounds;
    if (b.right == width && b.bottom == height) {
      HYFrame* frame = session.spareFrames[k];
      session.spareFrames.erase(session.spareFrames.begin() + long(k));
      return frame;
    }
  }
  return NewHostFrame(width, height);
}

Ptr HostNewPtrClear(SInt32 byteCount) {
  if (byteCount < 0 || byteCount > kLargestBlock) return nullptr;
  Ptr block = static_cast<Ptr>(std::calloc(1, byteCount > 0 ? size_t(byteCount) : 1));
  if (block == nullptr) return nullptr;
  std::lock_guard<std::mutex> hold(lgBlocksLock);
  lgBlocks[block] = byteCount;
  return block;
}

void HostDisposePtr(Ptr block) {
  if (block == nullptr) return;
  std::lock_guard<std::mutex> hold(lgBlocksLock);
  // A pointer this allocator did not hand out is left alone.
  if (lgBlocks.erase(block) == 1) std::free(block);
}

SInt32 HostGetPtrSize(Ptr block) {
  std::lock_guard<std::mutex> hold(lgBlocksLock);
  auto it = lgBlocks.find(block);
  return it == lgBlocks.end() ? -1 : it->second;
}

// The cookie of a lent frame is the frame's buffer itself.
HYPluginResult HostGetFrame(void* instance, SInt32 frameNumber, HYFrame** outFrame, SInt16 width, SInt16 height,
                            HYRefDVQuality quality, Float32* outVolume, void** outCookie) {
  if (instance == nullptr || outFrame == nullptr || outCookie == nullptr) return kPluginBadParams;
  CallbackTimer timer(instance);
  HostSession& session = *static_cast<HostSession*>(instance);
  *outFrame = nullptr;
  *outCookie = nullptr;
  if (session.clip == nullptr || frameNumber == session.failGetFrameAt || width <= 0 || height <= 0)
    return kPluginCantGetNeededFrame;
  HYFrame* frame = FrameOfSize(session, width, height);
  if (frame == nullptr) return kPluginOutOfMemory;
  if (!session.clip->ReadFrame(frameNumber, width, height, quality == kDVHighQuality,
                               reinterpret_cast<uint8_t*>(frame->baseAddress), frame->rowBytes)) {
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
  session.spareFrames.push_back(static_cast<HYFrame*>(it->first));
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
HYPluginResult HostBlit(const HYFrame* source, HYFrame* destination, const Rect* sourceRect,
                        const Rect* destinationRect, SInt16 opacity) {
  if (!source || !destination || !sourceRect || !destinationRect || opacity < 0 || opacity > 255)
    return kPluginBadParams;
  if (!HYFrameIsUsable(source) || !HYFrameIsUsable(destination)) return kPluginBadParams;
  const HYFrame& s = *source;
  const HYFrame& d = *destination;
  const Rect target = {std::max(destinationRect->top, d.bounds.top), std::max(destinationRect->left, d.bounds.left),
                       std::min(destinationRect->bottom, d.bounds.bottom),
                       std::min(destinationRect->right, d.bounds.right)};
  if (target.top >= target.bottom || target.left >= target.right) return kPluginOK;
  const int sw = sourceRect->right - sourceRect->left, sh = sourceRect->bottom - sourceRect->top;
  const int dw = destinationRect->right - destinationRect->left, dh = destinationRect->bottom - destinationRect->top;
  if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return kPluginBadParams;
  // The source column of each destination column, worked out once.
  std::vector<int> columns;
  for (int x = target.left; x < target.right; ++x) columns.push_back(sourceRect->left + (x - destinationRect->left) * sw / dw);
  // Where the columns run on one to one, whole runs of bytes are mixed at once.
  const bool oneToOne = sw == dw && columns.front() >= s.bounds.left && columns.back() < s.bounds.right;
  std::vector<UInt8> row(columns.size() * 4);
  // A frame blitted onto itself, shifted up or down, would read rows the
  // blit has already mixed: the source is then read from a copy of itself.
  const UInt8* sourceBase = reinterpret_cast<const UInt8*>(s.baseAddress);
  const size_t sourceBytes = size_t(Height(s.bounds)) * size_t(s.rowBytes);
  const size_t destinationBytes = size_t(Height(d.bounds)) * size_t(d.rowBytes);
  const UInt8* destinationBase = reinterpret_cast<const UInt8*>(d.baseAddress);
  std::vector<UInt8> copy;
  if (sourceBase < destinationBase + destinationBytes && destinationBase < sourceBase + sourceBytes) {
    copy.assign(sourceBase, sourceBase + sourceBytes);
    sourceBase = copy.data();
  }
  for (int y = target.top; y < target.bottom; ++y) {
    const int sy = sourceRect->top + (y - destinationRect->top) * sh / dh;
    if (sy < s.bounds.top || sy >= s.bounds.bottom) continue;
    UInt8* out = reinterpret_cast<UInt8*>(d.baseAddress) + ptrdiff_t(y - d.bounds.top) * d.rowBytes +
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

HYProcs lgProcs = {HostNewPtrClear, HostDisposePtr,    HostGetFrame,          HostReleaseFrame, HostBlit,
                   HostMixAudio,    HostGetFilterInfo, HostReleaseFilterInfo, HostGetPtrSize};

}  // namespace

HostSession::~HostSession() {
  for (HYFrame* frame : spareFrames) DisposeHostFrame(frame);
}

HYFrame* NewHostFrame(SInt16 width, SInt16 height) {
  if (width <= 0 || height <= 0) return nullptr;
  const size_t rowBytes = (4 * size_t(width) + kRowAlignment - 1) / kRowAlignment * kRowAlignment;
  void* pixels = std::aligned_alloc(kRowAlignment, rowBytes * size_t(height));
  if (pixels == nullptr) return nullptr;
  std::memset(pixels, 0, rowBytes * size_t(height));
  return new HYFrame{static_cast<Ptr>(pixels), SInt32(rowBytes), Rect{0, 0, height, width}, kHYPixelFormatARGB32};
}

void DisposeHostFrame(HYFrame* frame) {
  if (frame == nullptr) return;
  std::free(frame->baseAddress);
  delete frame;
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

size_t HostBlocksOutstanding() {
  std::lock_guard<std::mutex> hold(lgBlocksLock);
  return lgBlocks.size();
}

size_t ReclaimLentFrames(HostSession& session) {
  const size_t count = session.lent.size();
  for (auto& item : session.lent) DisposeHostFrame(static_cast<HYFrame*>(item.first));
  session.lent.clear();
  return count;
}
