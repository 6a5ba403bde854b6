// Geometry and drawing of the clip preview: handle hit tests, moving and
// resizing the active rectangle, fitting it to the picture's proportions,
// and drawing the preview with both rectangles.
#pragma once

#include "effect/PluginData.h"
#include "quickdraw/QuickDraw.h"

// Handle numbers: no hit, the four corners, the inside.
enum : SInt16 { kNoHandle = 0, kTopLeft = 1, kTopRight = 2, kBottomLeft = 3, kBottomRight = 4, kInside = 5 };

// The corner whose zone (cHandleSize on every side of it) holds theLoc, the
// lower number first; else kInside when theRect holds it; else kNoHandle.
// Zones and rectangles hold their top and left edges, not their bottom and right.
SInt16 IsHandleHit(const Rect& theRect, Point theLoc);
// Rings at the four corners, black, white and black, whatever theColor.
void DrawHandles(const Rect& theRect, const RGBColor& theColor);
// The preview frame scaled into destRect, the start and end rectangles over
// it, the active one's handles, and a black border.
void DrawFrameContents(WindowRef theWindow, const Rect& destRect);
// Moves theRect by the mouse's displacement; it may leave the frame.
void DragRect(Rect& theRect, Point oldLoc, Point newLoc, UInt32 modifiers);
// Resizes theRect by corner theHandle: about its centre with the option key,
// keeping the proportions of origRel (in theFrame) with the shift key, and
// to the picture's proportions when keep-proportions is on.
void DragCorner(SInt16 theHandle, Rect& theRect, Point oldLoc, Point newLoc, UInt32 modifiers, const Rect& theFrame,
                const RelRect& origRel);
// Fits theRect to the picture's proportions when keep-proportions is on.
void KeepImageProps(Rect& theRect);
// KeepImageProps on the active rectangle of the record.
void CalcAndKeepImageProps();
