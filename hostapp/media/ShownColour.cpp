// Written once for every SIMD target with Highway and chosen at run time.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "media/ShownColour.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <algorithm>
#include <cstring>

#include "media/ShownColour.h"

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

HWY_INLINE VU Byte(VF v) {
  const DF df;
  const VF clamped = hn::Min(hn::Max(v, hn::Zero(df)), hn::Set(df, 255.0f));
  return hn::BitCast(DU(), hn::NearestInt(clamped));
}

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

}  // namespace HWY_NAMESPACE
}  // namespace shown_colour
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace shown_colour {
HWY_EXPORT(ToArgbImpl);
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
