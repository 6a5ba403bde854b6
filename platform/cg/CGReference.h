// The drawing calls as pixman makes them: the reference the compositor is
// tested against, and the path of the blend modes it does not take (the
// Porter-Duff ones after luminosity).
#pragma once

#include "cg/CGContext.h"

void CGContextClearRectWithPixman(CGContextRef c, CGRect rect);
void CGContextDrawImageWithPixman(CGContextRef c, CGRect rect, CGImageRef image);

// Sends every CGContextDrawImage and CGContextClearRect through pixman (on)
// or through the compositor (off, as it starts): for the benchmarks, which
// time the two paths side by side.
void CGUsePixmanForDrawing(bool on);
