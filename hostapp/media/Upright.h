// Turning a clip's frames upright, as players show them: a phone stores its
// frames as the sensor sees them and says in the container how they are to
// be turned (the display matrix). The host hands every frame on upright, so
// the dialog, the effect and the output all see the frame a player shows.
#pragma once

#include <cstdint>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

struct SwsContext;

// A quarter-turn orientation: stored pixel (p, q) shows at
// (a p + c q, b p + d q), on screen axes (x right, y down), moved back into
// the frame. Entries are -1, 0 or 1.
struct Orientation {
  int a = 1, b = 0, c = 0, d = 1;
  bool Turned() const { return !(a == 1 && b == 0 && c == 0 && d == 1); }
  bool SwapsAxes() const { return a == 0; }
  bool Mirrored() const { return a * d - b * c < 0; }
  // How far a player turns the stored frame clockwise, after any mirroring
  // of the stored frame left to right: 0, 90, 180 or 270.
  int ClockwiseDegrees() const;
};

// The orientation a display matrix names; upright (no turn) when there is
// none. False when it is no quarter turn or flip (a free angle, a scaling),
// which the host does not apply.
bool OrientationOf(const int32_t* displayMatrix, Orientation& orientation);

// The format a frame of `format` is turned in: itself where its planes can
// be turned as they are, else one that keeps its depth and kind (4:4:4
// Y'CbCr or planar R'G'B') for the cases they cannot (4:2:2 across a
// quarter turn, packed Y'CbCr, bitstreams, palettes).
AVPixelFormat TurnableFormat(AVPixelFormat format, const Orientation& orientation);

// `upright` made into `stored` turned by `orientation`: its own buffers, the
// stored frame's properties, width and height swapped for a quarter turn.
// `converter` caches the conversion to the turnable format. False when out
// of memory or the conversion cannot be had.
bool TurnUpright(const AVFrame* stored, const Orientation& orientation, AVFrame* upright, SwsContext*& converter);
