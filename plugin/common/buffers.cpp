#include "common/commonprocs.h"

Rect GetPortRect(GWorldPtr theGW) {
  Rect bounds;
  GetPortBounds(theGW, &bounds);
  return bounds;
}

void LockGWorld(GWorldPtr theGW) {
  if (theGW == nullptr) return;
  LockPixels(GetGWorldPixMap(theGW));
}

GWorldPtr AllocateRectGWorld(const Rect& theRect) {
  Rect bounds = theRect;
  OffsetRect(&bounds, SInt16(-bounds.left), SInt16(-bounds.top));
  GWorldPtr world = nullptr;
  if (NewGWorld(&world, 32, &bounds, nullptr, nullptr, 0) != noErr) return nullptr;
  LockGWorld(world);
  return world;
}

void Source2Target(GWorldPtr TheSource, GWorldPtr TheTarget) {
  if (TheSource == nullptr || TheTarget == nullptr) return;
  // Black on white makes the plain copy carry the colours unchanged.
  const RGBColor white = {65535, 65535, 65535}, black = {0, 0, 0};
  RGBBackColor(&white);
  RGBForeColor(&black);
  const Rect sourceBounds = GetPortRect(TheSource), targetBounds = GetPortRect(TheTarget);
  CopyBits(GetPortBitMapForCopyBits(TheSource), GetPortBitMapForCopyBits(TheTarget), &sourceBounds,
           &targetBounds, srcCopy, nullptr);
}

RGBColor SetRGBColor(SInt16 R, SInt16 G, SInt16 B) { return {UInt16(R), UInt16(G), UInt16(B)}; }

PixRec Longint2PixRec(SInt32 TheLong) {
  const UInt32 v = UInt32(TheLong);
  return {0, UInt8(v >> 16), UInt8(v >> 8), UInt8(v)};
}

SInt32 PixRec2Longint(const PixRec& ThePixRec) {
  return SInt32(ThePixRec.Red) * 65536 + SInt32(ThePixRec.Green) * 256 + ThePixRec.Blue;
}

SInt32 RGBColor2Longint(const RGBColor& TheColor) {
  return PixRec2Longint({0, UInt8(TheColor.red >> 8), UInt8(TheColor.green >> 8), UInt8(TheColor.blue >> 8)});
}

RGBColor Longint2RGBColor(SInt32 TheLong) {
  const PixRec p = Longint2PixRec(TheLong);
  return SetRGBColor(SInt16(p.Red << 8), SInt16(p.Green << 8), SInt16(p.Blue << 8));
}
