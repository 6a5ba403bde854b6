// The bridge from QuickDraw ports and rectangles (top-left origin, y down)
// to CoreGraphics drawing (bottom-left origin, y up).
#pragma once

#include "cg/CGContext.h"
#include "quickdraw/QuickDraw.h"

CGRect QDRectToGCRect(const Rect& TheRect, const Rect& TheFrame);
// Draws the image stretched into TargetRect, turned by TheRadiants
// (counterclockwise on screen) about the rectangle's centre.
void DrawRotatedImageInCGRect(CGContextRef TheContext, CGImageRef TheImage, CGRect TargetRect,
                              Float32 TheRadiants, bool ClearFirst);
void DrawCGImageInQDRect(GWorldPtr TheGW, CGImageRef TheImage, const Rect& QDTargetRect,
                         Float32 TheRadiants, bool ClearFirst);
// As DrawCGImageInQDRect, with a global alpha (applied when 0 or more) and a blend mode.
void DrawCGImageInQDRectWithAlpha(GWorldPtr TheGW, CGImageRef TheImage, const Rect& QDTargetRect,
                                  Float32 TheRadiants, bool ClearFirst, Float64 Alpha,
                                  SInt16 BlendMode);
// As DrawCGImageInQDRectWithAlpha, into a rectangle of fractional pixels
// of the port (top-left origin, y down): the picture's edges land where the
// numbers put them, with their exact coverage.
void DrawCGImageInFrameRectWithAlpha(GWorldPtr TheGW, CGImageRef TheImage, Float64 left, Float64 top, Float64 right,
                                     Float64 bottom, Float32 TheRadiants, Float64 Alpha, SInt16 BlendMode);
Rect CalcProportionalImageForFrame(CGImageRef TheImage, const Rect& TheFrame);
// A new image holding a copy of the buffer's pixels; the caller owns it.
CGImageRef GWorld2CGImage(GWorldPtr TheGW);
void GetImageDims(CGImageRef TheImage, SInt32& Wid, SInt32& Hig);
