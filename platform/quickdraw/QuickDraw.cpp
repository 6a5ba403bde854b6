#include "quickdraw/QuickDraw.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "cg/Bands.h"
#include "memory/MacMemory.h"

struct OpaqueGWorld {
  PixMap pixMap;
  PixMapPtr pixMapPtr;  // what the pixel map handle points at
  RGBColor foreColor;
  RGBColor backColor;
  SInt16 penMode;
  Rect clip;
  Rect dirty;
  Ptr ownedPixels;  // nil for a buffer over the caller's memory
};

namespace {

// Rows start on 64-byte boundaries, as a cache line; narrow buffers are padded.
constexpr SInt32 kRowAlignment = 64;
CGrafPtr lgCurrentPort = nullptr;
GDHandle lgCurrentDevice = nullptr;
size_t lgLiveGWorlds = 0;

SInt32 Width(const Rect& r) { return SInt32(r.right) - r.left; }
SInt32 Height(const Rect& r) { return SInt32(r.bottom) - r.top; }

UInt8* PixelAt(const PixMap& pm, SInt32 x, SInt32 y) {
  return reinterpret_cast<UInt8*>(pm.baseAddr) + ptrdiff_t(y - pm.bounds.top) * pm.rowBytes +
         4 * ptrdiff_t(x - pm.bounds.left);
}

GWorldPtr MakeGWorld(const Rect& bounds, Ptr pixels, SInt32 rowBytes, Ptr owned) {
  GWorldPtr world = new OpaqueGWorld;
  world->pixMap = {pixels, rowBytes, bounds, 32};
  world->pixMapPtr = &world->pixMap;
  world->foreColor = {0, 0, 0};
  world->backColor = {65535, 65535, 65535};
  world->penMode = srcCopy;
  world->clip = bounds;
  world->dirty = {0, 0, 0, 0};
  world->ownedPixels = owned;
  ++lgLiveGWorlds;
  return world;
}

void AddDirty(GWorldPtr port, const Rect& r) {
  if (EmptyRect(&r)) return;
  Rect& d = port->dirty;
  if (EmptyRect(&d)) {
    d = r;
    return;
  }
  d = {std::min(d.top, r.top), std::min(d.left, r.left), std::max(d.bottom, r.bottom), std::max(d.right, r.right)};
}

// Where drawing may reach in the current port: `r` within its bounds and
// clip. The area is counted as drawn.
bool DrawableArea(const Rect* r, Rect& area) {
  if (lgCurrentPort == nullptr || r == nullptr) return false;
  Rect inPort;
  if (!SectRect(r, &lgCurrentPort->pixMap.bounds, &inPort) || !SectRect(&inPort, &lgCurrentPort->clip, &area))
    return false;
  AddDirty(lgCurrentPort, area);
  return true;
}

UInt32 OpaquePixel(const RGBColor& c) {
  const UInt8 bytes[4] = {255, UInt8(c.red >> 8), UInt8(c.green >> 8), UInt8(c.blue >> 8)};
  UInt32 word;
  std::memcpy(&word, bytes, 4);
  return word;
}

void FillRect(const Rect* r, const RGBColor& c) {
  Rect clipped;
  if (!DrawableArea(r, clipped)) return;
  const PixMap& pm = lgCurrentPort->pixMap;
  const UInt32 pixel = OpaquePixel(c);
  for (SInt32 y = clipped.top; y < clipped.bottom; ++y) {
    UInt8* p = PixelAt(pm, clipped.left, y);
    for (SInt32 x = clipped.left; x < clipped.right; ++x, p += 4) std::memcpy(p, &pixel, 4);
  }
}

// Whether the centre of pixel (x, y) lies in the oval inscribed in r.
bool InOval(const Rect& r, SInt32 x, SInt32 y) {
  const double a = (r.right - r.left) / 2.0, b = (r.bottom - r.top) / 2.0;
  const double dx = (x + 0.5 - r.left - a) / a, dy = (y + 0.5 - r.top - b) / b;
  return dx * dx + dy * dy <= 1.0;
}

}  // namespace

QDErr NewGWorld(GWorldPtr* offscreenGWorld, SInt16 pixelDepth, const Rect* boundsRect, CTabHandle,
                GDHandle, GWorldFlags) {
  if (offscreenGWorld == nullptr) return paramErr;
  *offscreenGWorld = nullptr;
  if (boundsRect == nullptr || (pixelDepth != 32 && pixelDepth != 0) || EmptyRect(boundsRect))
    return paramErr;
  const SInt64 rowBytes = (4 * SInt64(Width(*boundsRect)) + kRowAlignment - 1) / kRowAlignment * kRowAlignment;
  const SInt64 total = rowBytes * Height(*boundsRect) + kRowAlignment - 1;
  // Pixels come from the Memory Manager, which refuses what it cannot carry;
  // the block is a little larger so that the first row can start on a boundary.
  Ptr block = total <= 0x7FFFFFFF ? NewPtrClear(Size(total)) : nullptr;
  if (block == nullptr) return memFullErr;
  const uintptr_t at = reinterpret_cast<uintptr_t>(block);
  Ptr pixels = block + (kRowAlignment - SInt64(at % kRowAlignment)) % kRowAlignment;
  *offscreenGWorld = MakeGWorld(*boundsRect, pixels, SInt32(rowBytes), block);
  return noErr;
}

QDErr NewGWorldFromPtr(GWorldPtr* offscreenGWorld, SInt16 pixelDepth, const Rect* boundsRect,
                       CTabHandle, GDHandle, GWorldFlags, Ptr buffer, SInt32 rowBytes) {
  if (offscreenGWorld == nullptr) return paramErr;
  *offscreenGWorld = nullptr;
  if (boundsRect == nullptr || buffer == nullptr || (pixelDepth != 32 && pixelDepth != 0) ||
      EmptyRect(boundsRect) || rowBytes < 4 * Width(*boundsRect))
    return paramErr;
  *offscreenGWorld = MakeGWorld(*boundsRect, buffer, rowBytes, nullptr);
  return noErr;
}

void DisposeGWorld(GWorldPtr offscreenGWorld) {
  if (offscreenGWorld == nullptr) return;
  if (lgCurrentPort == offscreenGWorld) lgCurrentPort = nullptr;
  DisposePtr(offscreenGWorld->ownedPixels);
  delete offscreenGWorld;
  --lgLiveGWorlds;
}

PixMapHandle GetGWorldPixMap(GWorldPtr offscreenGWorld) {
  return offscreenGWorld ? &offscreenGWorld->pixMapPtr : nullptr;
}
Ptr GetPixBaseAddr(PixMapHandle pm) { return pm ? (*pm)->baseAddr : nullptr; }
SInt32 GetPixRowBytes(PixMapHandle pm) { return pm ? (*pm)->rowBytes : 0; }
Boolean LockPixels(PixMapHandle pm) { return pm != nullptr; }
void UnlockPixels(PixMapHandle) {}

Rect* GetPortBounds(CGrafPtr port, Rect* rect) {
  if (rect == nullptr) return nullptr;
  *rect = port ? port->pixMap.bounds : Rect{0, 0, 0, 0};
  return rect;
}

const BitMap* GetPortBitMapForCopyBits(CGrafPtr port) { return port ? &port->pixMap : nullptr; }

void GetGWorld(CGrafPtr* port, GDHandle* gdh) {
  if (port) *port = lgCurrentPort;
  if (gdh) *gdh = lgCurrentDevice;
}

void SetGWorld(CGrafPtr port, GDHandle gdh) {
  lgCurrentPort = port;
  lgCurrentDevice = gdh;
}

void RGBForeColor(const RGBColor* color) {
  if (lgCurrentPort && color) lgCurrentPort->foreColor = *color;
}
void RGBBackColor(const RGBColor* color) {
  if (lgCurrentPort && color) lgCurrentPort->backColor = *color;
}
void GetForeColor(RGBColor* color) {
  if (color) *color = lgCurrentPort ? lgCurrentPort->foreColor : RGBColor{0, 0, 0};
}
void GetBackColor(RGBColor* color) {
  if (color) *color = lgCurrentPort ? lgCurrentPort->backColor : RGBColor{65535, 65535, 65535};
}

void PaintRect(const Rect* r) {
  if (lgCurrentPort) FillRect(r, lgCurrentPort->foreColor);
}

void EraseRect(const Rect* r) {
  if (lgCurrentPort) FillRect(r, lgCurrentPort->backColor);
}

void FrameRect(const Rect* r) {
  if (lgCurrentPort == nullptr || r == nullptr || EmptyRect(r)) return;
  const RGBColor c = lgCurrentPort->foreColor;
  const Rect edges[4] = {{r->top, r->left, SInt16(r->top + 1), r->right},
                         {SInt16(r->bottom - 1), r->left, r->bottom, r->right},
                         {r->top, r->left, r->bottom, SInt16(r->left + 1)},
                         {r->top, SInt16(r->right - 1), r->bottom, r->right}};
  for (const Rect& e : edges) FillRect(&e, c);
}

void FrameOval(const Rect* r) {
  Rect area;
  if (EmptyRect(r) || !DrawableArea(r, area)) return;
  const UInt32 pixel = OpaquePixel(lgCurrentPort->foreColor);
  // The outline: pixels inside the oval with a neighbour outside it.
  for (SInt32 y = area.top; y < area.bottom; ++y)
    for (SInt32 x = area.left; x < area.right; ++x)
      if (InOval(*r, x, y) &&
          (!InOval(*r, x - 1, y) || !InOval(*r, x + 1, y) || !InOval(*r, x, y - 1) || !InOval(*r, x, y + 1)))
        std::memcpy(PixelAt(lgCurrentPort->pixMap, x, y), &pixel, 4);
}

void InvertRect(const Rect* r) {
  Rect area;
  if (!DrawableArea(r, area)) return;
  for (SInt32 y = area.top; y < area.bottom; ++y) {
    UInt8* p = PixelAt(lgCurrentPort->pixMap, area.left, y);
    for (SInt32 x = area.left; x < area.right; ++x, p += 4) p[1] = UInt8(~p[1]), p[2] = UInt8(~p[2]), p[3] = UInt8(~p[3]);
  }
}

void PenMode(SInt16 mode) {
  if (lgCurrentPort) lgCurrentPort->penMode = mode;
}
SInt16 GetPenMode() { return lgCurrentPort ? lgCurrentPort->penMode : SInt16(srcCopy); }
void PenNormal() { PenMode(srcCopy); }

void ClipRect(const Rect* r) {
  if (lgCurrentPort && r) lgCurrentPort->clip = *r;
}
void GetClipRect(Rect* r) {
  if (r) *r = lgCurrentPort ? lgCurrentPort->clip : Rect{0, 0, 0, 0};
}

void CopyBits(const BitMap* srcBits, const BitMap* dstBits, const Rect* srcRect, const Rect* dstRect,
              SInt16, RgnHandle) {
  if (!srcBits || !dstBits || !srcRect || !dstRect || EmptyRect(srcRect) || EmptyRect(dstRect)) return;
  Rect target;
  if (!SectRect(dstRect, &dstBits->bounds, &target)) return;
  if (lgCurrentPort != nullptr && dstBits == &lgCurrentPort->pixMap) {
    if (!SectRect(&target, &lgCurrentPort->clip, &target)) return;
    AddDirty(lgCurrentPort, target);
  }
  const SInt32 srcW = Width(*srcRect), srcH = Height(*srcRect);
  const SInt32 dstW = Width(*dstRect), dstH = Height(*dstRect);
  // Nearest pixel: the source pixel under the centre of each target pixel.
  auto sourceColumn = [&](SInt32 x) {
    return srcRect->left + SInt32((SInt64(2 * (x - dstRect->left) + 1) * srcW) / (2 * SInt64(dstW)));
  };
  auto sourceRow = [&](SInt32 y) {
    return srcRect->top + SInt32((SInt64(2 * (y - dstRect->top) + 1) * srcH) / (2 * SInt64(dstH)));
  };
  const Rect& sb = srcBits->bounds;
  const bool sameSize = srcW == dstW && srcH == dstH;
  std::vector<SInt32> columns;
  if (!sameSize) {
    columns.resize(size_t(target.right - target.left));
    for (SInt32 x = target.left; x < target.right; ++x) columns[size_t(x - target.left)] = sourceColumn(x);
  }
  auto copyRow = [&](SInt32 y) {
    const SInt32 sy = sourceRow(y);
    if (sy < sb.top || sy >= sb.bottom) return;
    UInt8* out = PixelAt(*dstBits, target.left, y);
    if (sameSize) {
      // Equal sizes: whole runs of the row, clipped to the source.
      SInt32 x0 = target.left, x1 = target.right;
      const SInt32 shift = srcRect->left - dstRect->left;
      if (x0 + shift < sb.left) x0 = sb.left - shift;
      if (x1 + shift > sb.right) x1 = sb.right - shift;
      if (x0 < x1)
        std::memmove(PixelAt(*dstBits, x0, y), PixelAt(*srcBits, x0 + shift, sy), 4 * size_t(x1 - x0));
      return;
    }
    const UInt8* row = PixelAt(*srcBits, sb.left, sy);
    for (SInt32 x = target.left; x < target.right; ++x, out += 4) {
      const SInt32 sx = columns[size_t(x - target.left)];
      if (sx >= sb.left && sx < sb.right) std::memcpy(out, row + 4 * (sx - sb.left), 4);
    }
  };
  // A whole frame from one buffer to another is copied in bands over the
  // cores; within one buffer, row by row from the top as ever.
  const SInt32 rows = target.bottom - target.top;
  const bool large = SInt64(rows) * (target.right - target.left) * 4 >= (4 << 20);
  if (large && srcBits->baseAddr != dstBits->baseAddr && bands::Threads() > 1) {
    const int count = bands::Threads() * 2;
    bands::Run(count, [&](int b) {
      const SInt32 from = target.top + SInt32(SInt64(rows) * b / count);
      const SInt32 to = target.top + SInt32(SInt64(rows) * (b + 1) / count);
      for (SInt32 y = from; y < to; ++y) copyRow(y);
    });
    return;
  }
  for (SInt32 y = target.top; y < target.bottom; ++y) copyRow(y);
}

void SetRect(Rect* r, SInt16 left, SInt16 top, SInt16 right, SInt16 bottom) {
  if (r) *r = {top, left, bottom, right};
}

void OffsetRect(Rect* r, SInt16 dh, SInt16 dv) {
  if (r == nullptr) return;
  r->left = SInt16(r->left + dh);
  r->right = SInt16(r->right + dh);
  r->top = SInt16(r->top + dv);
  r->bottom = SInt16(r->bottom + dv);
}

Boolean EmptyRect(const Rect* r) { return r == nullptr || r->left >= r->right || r->top >= r->bottom; }

Boolean SectRect(const Rect* a, const Rect* b, Rect* dst) {
  Rect s = {a->top > b->top ? a->top : b->top, a->left > b->left ? a->left : b->left,
            a->bottom < b->bottom ? a->bottom : b->bottom, a->right < b->right ? a->right : b->right};
  if (EmptyRect(&s)) {
    if (dst) *dst = {0, 0, 0, 0};
    return false;
  }
  if (dst) *dst = s;
  return true;
}

void QDAddRectToDirtyRegion(CGrafPtr port, const Rect* r) {
  Rect inPort;
  if (port != nullptr && r != nullptr && SectRect(r, &port->pixMap.bounds, &inPort)) AddDirty(port, inPort);
}

void QDTakeDirtyRect(CGrafPtr port, Rect* r) {
  if (r == nullptr) return;
  *r = port ? port->dirty : Rect{0, 0, 0, 0};
  if (port) port->dirty = {0, 0, 0, 0};
}

size_t LiveGWorlds() { return lgLiveGWorlds; }
