// Written once for every SIMD target with Highway and chosen at run time.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "media/ShownColour.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <algorithm>
#include <cstring>

#include "media/ShownColour.h"

#ifndef QUORVEL_SHOWN_COLOUR_ONCE  // this file is compiled once per target
#define QUORVEL_SHOWN_COLOUR_ONCE
namespace shown_colour {
// The inverse matrix's rows, from the colours: Y = oy + y . (R, G, B),
// Cb = 128 + cb . (R, G, B), Cr = 128 + cr . (R, G, B).
struct Inverse {
  float y[3], cb[3], cr[3], oy;
};
}  // namespace shown_colour
#endif

HWY_BEFORE_NAMESPACE();
namespace shown_colour {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using DF = hn::ScalableTag<float>;
using DI = hn::RebindToSigned<DF>;
using DU = hn::RebindToUnsigned<DF>;
using D8 = hn::Rebind<uint8_t, DI>;
using VF = hn::Vec<DF>;
using VU = hn::Vec<DU>;

HWY_INLINE VF Level(const uint8_t* p) { return hn::ConvertTo(DF(), hn::PromoteTo(DI(), hn::LoadU(D8(), p))); }

// The nearest level 0 to 255.
HWY_INLINE hn::Vec<DI> Rounded(VF v) {
  const DF df;
  return hn::NearestInt(hn::Min(hn::Max(v, hn::Zero(df)), hn::Set(df, 255.0f)));
}
HWY_INLINE VU Byte(VF v) { return hn::BitCast(DU(), Rounded(v)); }

// n pixels from y, cb and cr to their words, bytes A,R,G,B in memory.
HWY_INLINE void Pixels(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, const YCbCrMatrix& m, uint32_t* out) {
  const DF df;
  const DU du;
  const VF half = hn::Set(df, 128.0f);
  const VF luma = hn::Mul(hn::Sub(Level(y), hn::Set(df, m.oy)), hn::Set(df, m.cy));
  const VF u = hn::Sub(Level(cb), half), v = hn::Sub(Level(cr), half);
  const VF r = hn::MulAdd(v, hn::Set(df, m.crv), luma);
  const VF g = hn::NegMulAdd(v, hn::Set(df, m.cgv), hn::NegMulAdd(u, hn::Set(df, m.cgu), luma));
  const VF b = hn::MulAdd(u, hn::Set(df, m.cbu), luma);
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  const VU word = hn::Or(hn::Or(hn::Set(du, 0xFFu), hn::ShiftLeft<8>(Byte(r))),
                         hn::Or(hn::ShiftLeft<16>(Byte(g)), hn::ShiftLeft<24>(Byte(b))));
#else
  const VU word = hn::Or(hn::Or(hn::Set(du, 0xFF000000u), hn::ShiftLeft<16>(Byte(r))),
                         hn::Or(hn::ShiftLeft<8>(Byte(g)), Byte(b)));
#endif
  hn::StoreU(word, du, out);
}

void ToArgbImpl(const YCbCrPlanes& p, int width, int height, const YCbCrMatrix& m, uint8_t* argb, int rowBytes) {
  const size_t n = hn::Lanes(DU());
  for (int row = 0; row < height; ++row) {
    const uint8_t* y = p.plane[0] + ptrdiff_t(row) * p.pitch[0];
    const uint8_t* cb = p.plane[1] + ptrdiff_t(row) * p.pitch[1];
    const uint8_t* cr = p.plane[2] + ptrdiff_t(row) * p.pitch[2];
    auto* out = reinterpret_cast<uint32_t*>(argb + ptrdiff_t(row) * rowBytes);
    size_t x = 0;
    for (; x + n <= size_t(width); x += n) Pixels(y + x, cb + x, cr + x, m, out + x);
    if (x == size_t(width)) continue;
    // The last pixels through a full vector of their own, the same arithmetic.
    uint8_t tail[3][64] = {};
    uint32_t words[64];
    const size_t rest = size_t(width) - x;
    std::memcpy(tail[0], y + x, rest);
    std::memcpy(tail[1], cb + x, rest);
    std::memcpy(tail[2], cr + x, rest);
    Pixels(tail[0], tail[1], tail[2], m, words);
    std::memcpy(out + x, words, rest * 4);
  }
}

HWY_INLINE VF Channel(hn::Vec<DU> words, int shift) {
  const DU du;
  return hn::ConvertTo(DF(), hn::BitCast(DI(), hn::And(hn::ShiftRightSame(words, shift), hn::Set(du, 0xFFu))));
}

HWY_INLINE void Store8(VF v, uint8_t* to) { hn::StoreU(hn::DemoteTo(D8(), Rounded(v)), D8(), to); }

HWY_INLINE void Levels(const uint32_t* words, const shown_colour::Inverse& m, uint8_t* y, uint8_t* cb, uint8_t* cr) {
  const DF df;
  const auto w = hn::LoadU(DU(), words);
  constexpr bool kLittle = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;
  const VF r = Channel(w, kLittle ? 8 : 16), g = Channel(w, kLittle ? 16 : 8), b = Channel(w, kLittle ? 24 : 0);
  auto dot = [&](const float* k, float offset) {
    return hn::MulAdd(r, hn::Set(df, k[0]), hn::MulAdd(g, hn::Set(df, k[1]), hn::MulAdd(b, hn::Set(df, k[2]), hn::Set(df, offset))));
  };
  Store8(dot(m.y, m.oy), y);
  Store8(dot(m.cb, 128.0f), cb);
  Store8(dot(m.cr, 128.0f), cr);
}

void ToYCbCrImpl(const uint8_t* argb, int rowBytes, int width, int height, const shown_colour::Inverse& m, const YCbCrOut& p) {
  const size_t n = hn::Lanes(DU());
  for (int row = 0; row < height; ++row) {
    const auto* words = reinterpret_cast<const uint32_t*>(argb + ptrdiff_t(row) * rowBytes);
    uint8_t* y = p.plane[0] + ptrdiff_t(row) * p.pitch[0];
    uint8_t* cb = p.plane[1] + ptrdiff_t(row) * p.pitch[1];
    uint8_t* cr = p.plane[2] + ptrdiff_t(row) * p.pitch[2];
    size_t x = 0;
    for (; x + n <= size_t(width); x += n) Levels(words + x, m, y + x, cb + x, cr + x);
    if (x == size_t(width)) continue;
    uint32_t tail[64] = {};
    uint8_t out[3][64];
    const size_t rest = size_t(width) - x;
    std::memcpy(tail, words + x, rest * 4);
    Levels(tail, m, out[0], out[1], out[2]);
    std::memcpy(y + x, out[0], rest);
    std::memcpy(cb + x, out[1], rest);
    std::memcpy(cr + x, out[2], rest);
  }
}

}  // namespace HWY_NAMESPACE
}  // namespace shown_colour
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace shown_colour {
HWY_EXPORT(ToArgbImpl);
HWY_EXPORT(ToYCbCrImpl);
}

YCbCrMatrix MatrixFrom(const int* coefficients, bool fullRange) {
  // The table's chroma factors are for 224 levels of chroma; full-range
  // chroma spans 255. Limited-range luma spans 219 levels from 16.
  const float chroma = fullRange ? 224.0f / 255.0f : 1.0f;
  auto factor = [&](int k) { return float(coefficients[k]) / 65536.0f * chroma; };
  return {fullRange ? 1.0f : 255.0f / 219.0f, fullRange ? 0.0f : 16.0f, factor(0), factor(1), factor(2), factor(3)};
}

void YCbCrToArgb(const YCbCrPlanes& planes, int width, int height, const YCbCrMatrix& matrix, uint8_t* argb,
                 int rowBytes) {
  HWY_DYNAMIC_DISPATCH(shown_colour::ToArgbImpl)(planes, width, height, matrix, argb, rowBytes);
}
#endif

#if HWY_ONCE
void ArgbToYCbCr(const uint8_t* argb, int rowBytes, int width, int height, const YCbCrMatrix& m,
                 const YCbCrOut& planes) {
  // With L = cy (Y - oy): R = L + crv Cr', B = L + cbu Cb' and G = L - cgu Cb'
  // - cgv Cr', so L = (G + cgu / cbu B + cgv / crv R) / (1 + cgu / cbu + cgv / crv).
  const double wb = double(m.cgu) / m.cbu, wr = double(m.cgv) / m.crv, sum = 1.0 + wb + wr;
  const double kr = wr / sum, kg = 1.0 / sum, kb = wb / sum;
  const shown_colour::Inverse inverse = {
      {float(kr / m.cy), float(kg / m.cy), float(kb / m.cy)},
      {float(-kr / m.cbu), float(-kg / m.cbu), float((1.0 - kb) / m.cbu)},
      {float((1.0 - kr) / m.crv), float(-kg / m.crv), float(-kb / m.crv)},
      m.oy};
  HWY_DYNAMIC_DISPATCH(shown_colour::ToYCbCrImpl)(argb, rowBytes, width, height, inverse, planes);
}
#endif
