#include <cmath>
#include <limits>

#include "common/commonprocs.h"

SInt32 TruncToLong(double value) {
  if (std::isnan(value)) return 0;
  if (value >= double(std::numeric_limits<SInt32>::max())) return std::numeric_limits<SInt32>::max();
  if (value <= double(std::numeric_limits<SInt32>::min())) return std::numeric_limits<SInt32>::min();
  return SInt32(value);  // toward zero
}

void GetDims(const Rect& theRect, SInt32& wid, SInt32& hig) {
  wid = SInt32(theRect.right) - theRect.left;
  hig = SInt32(theRect.bottom) - theRect.top;
}

void CenterRectInRect(Rect& theRect, const Rect& theBounds) {
  SInt32 bw, bh, rw, rh;
  GetDims(theBounds, bw, bh);
  GetDims(theRect, rw, rh);
  const SInt32 cx = theBounds.left + bw / 2, cy = theBounds.top + bh / 2;
  const SInt32 rx = theRect.left + rw / 2, ry = theRect.top + rh / 2;
  OffsetRect(&theRect, SInt16(-(rx - cx)), SInt16(-(ry - cy)));
}

Rect KeepPropsWithFixedHorizontal(const Rect& inOriginal, const Rect& inNewSize) {
  SInt32 w, h, newW, newH;
  GetDims(inOriginal, w, h);
  GetDims(inNewSize, newW, newH);
  if (w == 0) return inNewSize;
  const double prop = double(w) / double(h);
  const double newY = double(newW) / prop;
  Rect result = inNewSize;
  result.bottom = SInt16(result.top + TruncToLong(newY + 0.5));
  return result;
}

Rect KeepPropsWithFixedVertical(const Rect& inOriginal, const Rect& inNewSize) {
  SInt32 w, h, newW, newH;
  GetDims(inOriginal, w, h);
  GetDims(inNewSize, newW, newH);
  if (h == 0) return inNewSize;
  const double prop = double(w) / double(h);
  const double newX = prop * double(newH);
  Rect result = inNewSize;
  result.right = SInt16(result.left + TruncToLong(newX + 0.5));
  return result;
}

Rect CalcProportionalRectForFrame(const Rect& inRect, const Rect& inFrame) {
  SInt32 iWid, iHig, wid, hig;
  GetDims(inRect, iWid, iHig);
  const Rect imageBounds = {0, 0, SInt16(iHig), SInt16(iWid)};
  GetDims(inFrame, wid, hig);
  const Rect theNewBounds = {0, 0, SInt16(hig), SInt16(wid)};
  if (wid > hig)
    return iWid > iHig ? KeepPropsWithFixedHorizontal(imageBounds, theNewBounds)
                       : KeepPropsWithFixedVertical(imageBounds, theNewBounds);
  return iHig > iWid ? KeepPropsWithFixedVertical(imageBounds, theNewBounds)
                     : KeepPropsWithFixedHorizontal(imageBounds, theNewBounds);
}
