// The picture's motion beyond the glide: the eased fraction of the way, a
// spin over the effect, the exact fractional rectangle, and motion blur.
// The bundle, the dialog's preview and the frei0r filter all draw through
// DrawPictureInMotion, so each draws the same frames.
#pragma once

#include <vector>

#include "cg/CGImage.h"
#include "effect/PluginData.h"
#include "quickdraw/QuickDraw.h"

enum : SInt16 { cEaseLinear = 1, cEaseIn = 2, cEaseOut = 3, cEaseInOut = 4 };
constexpr int cEasingCount = 4;
// The easings' names, in the order of their numbers.
extern const char* const cEasingNames[cEasingCount];
// 1 to 4 for an easing's name, 0 for anything else.
SInt16 EasingNumber(const char* name);

// The eased fraction of the way for t from 0 to 1 (held at the ends outside).
Float64 EasedFraction(SInt16 easing, Float64 t);

// Where the picture stands: its rectangle in frame fractions and its turn.
struct PicturePlace {
  RelRect rel;
  Float64 turns;  // counterclockwise
};

// A drawing of the picture at one moment of the effect. Positions count
// from 0 (the first frame of the glide) to `span` (its last); a frame lasts
// `frameTime` positions, the shutter's unit.
struct MotionDrawing {
  CGImageRef picture;
  RelRect from, to;
  Float64 position, span, frameTime;
  Float64 turn;      // turns before any spin
  Float64 opacity;   // 0 to 1
  SInt16 blendMode;  // 0-based, as the drawing bridge takes it
  Boolean smooth;
  SInt16 easing;
  Float64 spin, shutter;
};

// The place at `position`: before 0 the start, past `span` the end.
// Linear at whole positions, it is CalcTweenRel's rectangle.
PicturePlace PlaceAt(const MotionDrawing& m, Float64 position);
// Whether the record asks for nothing beyond the described glide: not
// smooth, no easing (an unknown easing is linear), no spin, no blur.
bool PlainGlide(const PluginDataRec& config);
// The record's drawing at frame `position` of an effect of `span` frames.
MotionDrawing MotionOfConfig(const PluginDataRec& config, SInt32 position, SInt32 span);
// How many positions motion blur draws: from 1 (still, or no shutter) to
// 16, by how many pixels the picture's corners travel in the shutter.
int BlurPositions(const MotionDrawing& m, const Rect& frame);
// Draws the picture over what `dest` holds: at its exact place when smooth
// (or blurred), else on the truncated rectangle; with motion blur the
// average of the drawings over the shutter, worked only where the picture
// passes.
void DrawPictureInMotion(GWorldPtr dest, const MotionDrawing& m);
// The pixels of `frame` that DrawPictureInMotion can read or change, with a
// pixel to spare on each side; empty when it touches none.
Rect MotionBox(const MotionDrawing& m, const Rect& frame);
// The columns [from, to) of one row; from == to when there are none.
struct RowColumns {
  SInt16 from, to;
};
// For each row of `box` (MotionBox's), top to bottom, the columns of it that
// DrawPictureInMotion can read or change, with pixels to spare on each side.
// A turned picture's box is about twice the pixels these columns hold.
std::vector<RowColumns> MotionRowColumns(const MotionDrawing& m, const Rect& frame, const Rect& box);
