#include "effect/relrects.h"

void InitRelRect(RelRect& theRel) {
  theRel.Left = 0;
  theRel.Right = 1;
  theRel.Top = 0;
  theRel.Bottom = 1;
}
