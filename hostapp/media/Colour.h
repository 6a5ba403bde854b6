// How the host turns a clip's pictures into A,R,G,B and back: the clip's own
// matrix and range, read and written alike, so that a frame the effect does
// not touch keeps its colours.
#pragma once

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

struct SwsContext;

// The matrix a picture of `height` lines was made with: its own when it says,
// else BT.709 for HD and BT.601 below.
int SwsMatrix(AVColorSpace matrix, int height);
// The format without JPEG's full-range naming (yuvj420p is yuv420p in full
// range); others as they are.
AVPixelFormat PlainFormat(AVPixelFormat format);
// Whether the format holds Y'CbCr (as opposed to R'G'B' or grey).
bool IsYCbCr(AVPixelFormat format);
// The 8-bit planar Y'CbCr formats whose colours the host converts itself
// (media/ShownColour), their chroma scaled by the scaler.
bool IsPlanarYCbCr8(AVPixelFormat format);
// The chroma planes (1 and 2) of `from`, `fromRows` rows each, scaled into
// those of `to` by a grey-picture scaler made for the two sizes; false when
// a plane comes out other than `toRows` rows.
bool ScaleChromaPlanes(SwsContext* scaler, const AVFrame* from, int fromRows, AVFrame* to, int toRows);
// A cached converter between two formats of one size, with the clip's matrix
// on the Y'CbCr side and each side's range (R'G'B' is always full range).
SwsContext* ColourConverter(SwsContext* cached, int width, int height, AVPixelFormat from, bool fromFull,
                            AVPixelFormat to, bool toFull, int swsMatrix, int flags);
