#include "effect/relrects.h"

#include "common/commonprocs.h"

void InitRelRect(RelRect& theRel) {
  theRel.Left = 0;
  theRel.Right = 1;
  theRel.Top = 0;
  theRel.Bottom = 1;
}

Rect Rel2Rect(const RelRect& theRel, const Rect& theFrame) {
  const SInt16 wid = SInt16(theFrame.right - theFrame.left);
  const SInt16 hig = SInt16(theFrame.bottom - theFrame.top);
  Rect r;
  r.left = SInt16(theFrame.left + TruncToLong(wid * theRel.Left));
  r.right = SInt16(theFrame.left + TruncToLong(wid * theRel.Right));
  r.top = SInt16(theFrame.top + TruncToLong(hig * theRel.Top));
  r.bottom = SInt16(theFrame.top + TruncToLong(hig * theRel.Bottom));
  return r;
}

RelRect Rect2Rel(const Rect& theRect, const Rect& theFrame) {
  Rect rect = theRect, frame = theFrame;
  OffsetRect(&rect, SInt16(-theFrame.left), SInt16(-theFrame.top));
  OffsetRect(&frame, SInt16(-theFrame.left), SInt16(-theFrame.top));
  const double wid = frame.right - frame.left, hig = frame.bottom - frame.top;
  return {rect.left / wid, rect.right / wid, rect.top / hig, rect.bottom / hig};
}
