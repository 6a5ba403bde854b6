#pragma once
// The colours of 8-bit Y'CbCr 4:4:4 planes as the host's A,R,G,B bytes and
// back, by the clip's matrix and range: each channel the formula's value
// rounded to the nearest level. This is the exact conversion the scaler's
// accurate mode gives, at the cost of touching each pixel once.
#include <cstdint>

// R = cy (Y - oy) + crv Cr', G = cy (Y - oy) - cgu Cb' - cgv Cr',
// B = cy (Y - oy) + cbu Cb', with Cb' = Cb - 128 and Cr' = Cr - 128.
struct YCbCrMatrix {
  float cy, oy, crv, cbu, cgu, cgv;
};

// The matrix from the scaler's coefficient table (crv, cbu, cgu, cgv in
// 65536ths, for limited-range chroma) and the clip's range.
YCbCrMatrix MatrixFrom(const int* coefficients, bool fullRange);

struct YCbCrPlanes {
  const uint8_t* plane[3];  // Y, Cb, Cr
  int pitch[3];
};

// Alpha comes out 255.
void YCbCrToArgb(const YCbCrPlanes& planes, int width, int height, const YCbCrMatrix& matrix, uint8_t* argb,
                 int rowBytes);

struct YCbCrOut {
  uint8_t* plane[3];  // Y, Cb, Cr, each of every pixel
  int pitch[3];
};
// The inverse: the colours of opaque A,R,G,B pixels (alpha not read) as
// Y'CbCr at every pixel.
void ArgbToYCbCr(const uint8_t* argb, int rowBytes, int width, int height, const YCbCrMatrix& matrix,
                 const YCbCrOut& planes);
