// QuickDraw stand-in: 32-bit offscreen buffers (GWorlds) whose pixels are
// A,R,G,B in memory on every processor, a process-wide current port with
// per-port colours, rectangle painting and CopyBits with nearest-pixel
// scaling. Pixel memory never moves, so locking keeps its contract by
// doing nothing.
//
// The pixel at column x, row y (counted from the bounds' top-left) lies at
// y * rowBytes + 4 * x from the base address; rowBytes may exceed 4 * width.
#pragma once

#include <cstddef>

#include "MacTypes.h"

struct OpaqueGWorld;
typedef OpaqueGWorld* GWorldPtr;
struct PixMap {
  Ptr baseAddr;
  SInt32 rowBytes;
  Rect bounds;
  SInt16 pixelSize;  // always 32
};
typedef PixMap BitMap;
typedef PixMap* PixMapPtr;
typedef PixMapPtr* PixMapHandle;

typedef GWorldPtr CGrafPtr;
typedef GWorldPtr GrafPtr;
struct OpaqueGDHandle;
typedef OpaqueGDHandle* GDHandle;
typedef void* CTabHandle;
typedef void* RgnHandle;
typedef UInt32 GWorldFlags;
typedef OSErr QDErr;

// One pixel as it lies in memory.
struct PixRec {
  UInt8 Alpha;
  UInt8 Red;
  UInt8 Green;
  UInt8 Blue;
};
typedef PixRec* PixRecPtr;

// Transfer modes. With a solid pen, srcOr draws the pen's pixels in the fore
// colour and leaves every other pixel alone, as colour QuickDraw does: for
// the shapes drawn here it paints exactly what srcCopy paints.
enum : SInt16 { srcCopy = 0, srcOr = 1 };

// Allocates a buffer of `boundsRect` (depth 32, or 0 meaning 32). Pixels start
// transparent black. memFullErr when the memory cannot be had, paramErr for
// an empty rectangle or another depth.
QDErr NewGWorld(GWorldPtr* offscreenGWorld, SInt16 pixelDepth, const Rect* boundsRect,
                CTabHandle cTable, GDHandle aGDevice, GWorldFlags flags);
// A buffer over memory the caller owns and keeps alive while the buffer lives.
QDErr NewGWorldFromPtr(GWorldPtr* offscreenGWorld, SInt16 pixelDepth, const Rect* boundsRect,
                       CTabHandle cTable, GDHandle aGDevice, GWorldFlags flags, Ptr buffer,
                       SInt32 rowBytes);
void DisposeGWorld(GWorldPtr offscreenGWorld);

PixMapHandle GetGWorldPixMap(GWorldPtr offscreenGWorld);
Ptr GetPixBaseAddr(PixMapHandle pm);
SInt32 GetPixRowBytes(PixMapHandle pm);
Boolean LockPixels(PixMapHandle pm);
void UnlockPixels(PixMapHandle pm);
Rect* GetPortBounds(CGrafPtr port, Rect* rect);
const BitMap* GetPortBitMapForCopyBits(CGrafPtr port);

void GetGWorld(CGrafPtr* port, GDHandle* gdh);
void SetGWorld(CGrafPtr port, GDHandle gdh);

// Colours and painting act on the current port.
void RGBForeColor(const RGBColor* color);
void RGBBackColor(const RGBColor* color);
void GetForeColor(RGBColor* color);
void GetBackColor(RGBColor* color);
// Fills the rectangle (clipped to the port) with the foreground colour, opaque.
void PaintRect(const Rect* r);
// Fills the rectangle with the background colour, opaque.
void EraseRect(const Rect* r);
// Draws the rectangle's one-pixel outline inside its edges in the foreground colour.
void FrameRect(const Rect* r);
// Draws the one-pixel outline of the oval inscribed in the rectangle.
void FrameOval(const Rect* r);
// Inverts the colour of every pixel of the rectangle (alpha stays).
void InvertRect(const Rect* r);
// The current port's pen: its transfer mode, and back to srcCopy.
void PenMode(SInt16 mode);
SInt16 GetPenMode();
void PenNormal();
// Limits drawing in the current port (painting, framing, inverting, and
// CopyBits into it) to the rectangle; the port's bounds lift the limit.
void ClipRect(const Rect* r);
void GetClipRect(Rect* r);

// Copies srcRect of src onto dstRect of dst, scaling by repeating or dropping
// whole pixels; all four bytes of a pixel are copied. Rectangles are in each
// bitmap's own coordinates; the copy is clipped to both bitmaps, and to the
// clip rectangle when dst is the current port's.
void CopyBits(const BitMap* srcBits, const BitMap* dstBits, const Rect* srcRect,
              const Rect* dstRect, SInt16 mode, RgnHandle maskRgn);

void SetRect(Rect* r, SInt16 left, SInt16 top, SInt16 right, SInt16 bottom);
void OffsetRect(Rect* r, SInt16 dh, SInt16 dv);
Boolean EmptyRect(const Rect* r);
// The intersection; false (and an empty rectangle) when they do not meet.
Boolean SectRect(const Rect* a, const Rect* b, Rect* dst);

// What has been drawn into a port since it was last shown: the toolkit
// takes it (and empties it) to bring a window's screen up to date. Drawing
// into the current port and image drawing contexts add to it.
void QDAddRectToDirtyRegion(CGrafPtr port, const Rect* r);
void QDTakeDirtyRect(CGrafPtr port, Rect* r);

// Buffers allocated and not yet disposed of.
size_t LiveGWorlds();
