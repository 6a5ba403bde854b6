#include "dialog/dlgUtils.h"

#include <algorithm>

#include "common/commonprocs.h"
#include "dialog/carbonmacros.h"
#include "effect/DataHandling.h"
#include "effect/PluginDefines.h"
#include "effect/relrects.h"
#include "render/CGglue.h"
#include "toolbox/Toolbox.h"

namespace {

// QuickDraw's point-in-rectangle: top and left edges in, bottom and right out.
bool PtInRect(Point p, const Rect& r) { return p.h >= r.left && p.h < r.right && p.v >= r.top && p.v < r.bottom; }

// The square of cHandleSize on every side of a point.
Rect HandleZone(SInt16 h, SInt16 v) {
  return {SInt16(v - cHandleSize), SInt16(h - cHandleSize), SInt16(v + cHandleSize), SInt16(h + cHandleSize)};
}

// The smallest rectangle spanned by two points.
Rect Pt2Rect(Point a, Point b) {
  return {std::min(a.v, b.v), std::min(a.h, b.h), std::max(a.v, b.v), std::max(a.h, b.h)};
}

void InsetRect(Rect& r, SInt16 d) {
  r.left = SInt16(r.left + d), r.top = SInt16(r.top + d), r.right = SInt16(r.right - d), r.bottom = SInt16(r.bottom - d);
}

}  // namespace

SInt16 IsHandleHit(const Rect& theRect, Point theLoc) {
  const Point corners[4] = {{theRect.top, theRect.left}, {theRect.top, theRect.right},
                            {theRect.bottom, theRect.left}, {theRect.bottom, theRect.right}};
  for (SInt16 k = 0; k < 4; ++k)
    if (PtInRect(theLoc, HandleZone(corners[k].h, corners[k].v))) return SInt16(kTopLeft + k);
  return PtInRect(theLoc, theRect) ? kInside : kNoHandle;
}

void DrawHandles(const Rect& theRect, const RGBColor&) {
  const RGBColor black = {0, 0, 0}, white = {65535, 65535, 65535};
  PenMode(srcOr);
  const Point corners[4] = {{theRect.top, theRect.left}, {theRect.top, theRect.right},
                            {theRect.bottom, theRect.left}, {theRect.bottom, theRect.right}};
  for (const Point& c : corners) {
    Rect ring = HandleZone(c.h, c.v);
    for (const RGBColor* colour : {&black, &white, &black}) {
      RGBForeColor(colour);
      FrameOval(&ring);
      InsetRect(ring, 1);
    }
  }
  PenNormal();
}

void DrawFrameContents(WindowRef theWindow, const Rect& destRect) {
  const PluginDataPtr config = gConfigWorkSpace.TheConfig;
  const RGBColor white = {65535, 65535, 65535}, black = {0, 0, 0};
  CGrafPtr port = GetWindowPort(theWindow);
  RGBBackColor(&white);
  RGBForeColor(&black);
  const Rect source = GetPortRect(gConfigWorkSpace.TheFXClip);
  CopyBits(GetPortBitMapForCopyBits(gConfigWorkSpace.TheFXClip), GetPortBitMapForCopyBits(port), &source, &destRect,
           srcCopy, nullptr);
  ClipRect(&destRect);
  RGBForeColor(&config->FrameStartColor);
  const Rect start = Rel2Rect(config->StartRel, destRect);
  FrameRect(&start);
  if (gConfigWorkSpace.ActiveRel == 1) DrawHandles(start, config->FrameStartColor);
  RGBForeColor(&config->FrameEndColor);
  const Rect end = Rel2Rect(config->EndRel, destRect);
  FrameRect(&end);
  if (gConfigWorkSpace.ActiveRel == 2) DrawHandles(end, config->FrameEndColor);
  const Rect whole = GetPortRect(port);
  ClipRect(&whole);
  RGBForeColor(&black);
  FrameRect(&destRect);
}

void DragRect(Rect& theRect, Point oldLoc, Point newLoc, UInt32) {
  OffsetRect(&theRect, SInt16(newLoc.h - oldLoc.h), SInt16(newLoc.v - oldLoc.v));
}

void DragCorner(SInt16 theHandle, Rect& theRect, Point oldLoc, Point newLoc, UInt32 modifiers, const Rect& theFrame,
                const RelRect& origRel) {
  Point moving, fixed;
  switch (theHandle) {
    case kTopLeft: moving = {theRect.top, theRect.left}, fixed = {theRect.bottom, theRect.right}; break;
    case kTopRight: moving = {theRect.top, theRect.right}, fixed = {theRect.bottom, theRect.left}; break;
    case kBottomLeft: moving = {theRect.bottom, theRect.left}, fixed = {theRect.top, theRect.right}; break;
    case kBottomRight: moving = {theRect.bottom, theRect.right}, fixed = {theRect.top, theRect.left}; break;
    default: return;
  }
  const SInt16 dx = SInt16(newLoc.h - oldLoc.h), dy = SInt16(newLoc.v - oldLoc.v);
  moving.h = SInt16(moving.h + dx), moving.v = SInt16(moving.v + dy);
  if (modifiers & optionKey) fixed.h = SInt16(fixed.h - dx), fixed.v = SInt16(fixed.v - dy);
  theRect = Pt2Rect(moving, fixed);
  if (modifiers & shiftKey) {
    const Rect propRect = Rel2Rect(origRel, theFrame);
    SInt32 w, h;
    GetDims(propRect, w, h);
    theRect = w > h ? KeepPropsWithFixedHorizontal(propRect, theRect) : KeepPropsWithFixedVertical(propRect, theRect);
  }
  KeepImageProps(theRect);
}

void KeepImageProps(Rect& theRect) {
  const PluginDataPtr config = gConfigWorkSpace.TheConfig;
  if (!config->KeepProps || config->TheOriginalImage == nullptr) return;
  SInt32 w, h;
  GetImageDims(config->TheOriginalImage, w, h);
  const Rect picture = {0, 0, SInt16(h), SInt16(w)};
  theRect = w > h ? KeepPropsWithFixedHorizontal(picture, theRect) : KeepPropsWithFixedVertical(picture, theRect);
}

void CalcAndKeepImageProps() {
  const Rect box = GetControlBox(gConfigWorkSpace.TheFrameCtrl);
  Rect rect = Rel2Rect(GetCurrentRel(), box);
  KeepImageProps(rect);
  PutCurrentRel(Rect2Rel(rect, box));
}
