// The compositor's pixel work, written once for every SIMD target with
// Highway and chosen at run time (SSE4, AVX2, AVX-512 here; a portable
// target everywhere). A lane holds one pixel. The picture is sampled and,
// for the modes where it is exact enough, blended in 16-bit fixed point; the
// other modes take the four channels as vectors of floats from 0 to 1,
// premultiplied.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "cg/CompositorKernels.cpp"
#ifndef HWY_COMPILE_ALL_ATTAINABLE
#define HWY_COMPILE_ALL_ATTAINABLE  // the portable target too, so that it can be tested
#endif
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <algorithm>
#include <cstring>

#include "cg/Compositor.h"

HWY_BEFORE_NAMESPACE();
namespace compositor {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using DF = hn::ScalableTag<float>;
using DI = hn::RebindToSigned<DF>;
using DU = hn::RebindToUnsigned<DF>;
using VF = hn::Vec<DF>;
using VI = hn::Vec<DI>;
using VU = hn::Vec<DU>;

struct Colour {
  VF a, r, g, b;
};

// The buffer's bytes A,R,G,B read as a word of this machine.
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr int kShiftA = 0, kShiftR = 8, kShiftG = 16, kShiftB = 24;
#else
constexpr int kShiftA = 24, kShiftR = 16, kShiftG = 8, kShiftB = 0;
#endif

template <int kShift>
HWY_INLINE VF Channel(VU w) {
  const DF df;
  const DU du;
  const DI di;
  return hn::ConvertTo(df, hn::BitCast(di, hn::And(hn::ShiftRight<kShift>(w), hn::Set(du, 0xFF))));
}


// ---- The blend modes: premultiplied colours in, premultiplied out ----
//
// Separable modes (W3C Compositing, section 9): for each channel
//   c = (1 - ab) cs + (1 - as) cb + as ab B(cs / as, cb / ab)
// and everywhere a = as + ab - as ab. `Weighted` gives as ab B(...), written
// without division where the formula allows.

HWY_INLINE VF SafeDiv(VF n, VF d) { return hn::Div(n, hn::Max(d, hn::Set(DF(), 1e-12f))); }

template <int kMode>
HWY_INLINE VF Weighted(VF cs, VF cb, VF as, VF ab) {
  const DF df;
  const VF one = hn::Set(df, 1.0f), half = hn::Set(df, 0.5f), two = hn::Set(df, 2.0f), asab = hn::Mul(as, ab);
  switch (kMode) {
    case 1:  // multiply: Cs Cb
      return hn::Mul(cs, cb);
    case 2:  // screen: Cs + Cb - Cs Cb
      return hn::Sub(hn::Add(hn::Mul(cs, ab), hn::Mul(cb, as)), hn::Mul(cs, cb));
    case 3:  // overlay: hard light with the roles turned
      return hn::IfThenElse(hn::Le(hn::Mul(two, cb), ab), hn::Mul(two, hn::Mul(cs, cb)),
                            hn::Sub(asab, hn::Mul(two, hn::Mul(hn::Sub(ab, cb), hn::Sub(as, cs)))));
    case 4:  // darken: min(Cs, Cb)
      return hn::Min(hn::Mul(cs, ab), hn::Mul(cb, as));
    case 5:  // lighten: max(Cs, Cb)
      return hn::Max(hn::Mul(cs, ab), hn::Mul(cb, as));
    case 6: {  // colour dodge: 0 for Cb = 0, 1 for Cs = 1, else min(1, Cb / (1 - Cs))
      const VF dodge = hn::Min(asab, SafeDiv(hn::Mul(cb, hn::Mul(as, as)), hn::Sub(as, cs)));
      return hn::IfThenElse(hn::Le(cb, hn::Zero(df)), hn::Zero(df), hn::IfThenElse(hn::Ge(cs, as), asab, dodge));
    }
    case 7: {  // colour burn: 1 for Cb = 1, 0 for Cs = 0, else 1 - min(1, (1 - Cb) / Cs)
      const VF burn = hn::Sub(asab, hn::Min(asab, SafeDiv(hn::Mul(hn::Sub(ab, cb), hn::Mul(as, as)), cs)));
      return hn::IfThenElse(hn::Ge(cb, ab), asab, hn::IfThenElse(hn::Le(cs, hn::Zero(df)), hn::Zero(df), burn));
    }
    case 8: {  // soft light, with D(Cb) = Cb <= 1/4 ? ((16 Cb - 12) Cb + 4) Cb : sqrt(Cb)
      const VF Cs = SafeDiv(cs, as), Cb = SafeDiv(cb, ab);
      const VF d = hn::IfThenElse(
          hn::Le(Cb, hn::Set(df, 0.25f)),
          hn::Mul(hn::MulAdd(hn::MulAdd(hn::Set(df, 16.0f), Cb, hn::Set(df, -12.0f)), Cb, hn::Set(df, 4.0f)), Cb),
          hn::Sqrt(Cb));
      const VF darker = hn::Sub(Cb, hn::Mul(hn::Sub(one, hn::Mul(two, Cs)), hn::Mul(Cb, hn::Sub(one, Cb))));
      const VF lighter = hn::MulAdd(hn::Sub(hn::Mul(two, Cs), one), hn::Sub(d, Cb), Cb);
      return hn::Mul(asab, hn::IfThenElse(hn::Le(Cs, half), darker, lighter));
    }
    case 9:  // hard light: multiply or screen by 2 Cs
      return hn::IfThenElse(hn::Le(hn::Mul(two, cs), as), hn::Mul(two, hn::Mul(cs, cb)),
                            hn::Sub(asab, hn::Mul(two, hn::Mul(hn::Sub(as, cs), hn::Sub(ab, cb)))));
    case 10:  // difference: |Cs - Cb|
      return hn::Abs(hn::Sub(hn::Mul(cs, ab), hn::Mul(cb, as)));
    case 11:  // exclusion: Cs + Cb - 2 Cs Cb
      return hn::Sub(hn::Add(hn::Mul(cs, ab), hn::Mul(cb, as)), hn::Mul(two, hn::Mul(cs, cb)));
    default:  // normal: Cs
      return hn::Mul(cs, ab);
  }
}

template <int kMode>
HWY_INLINE Colour Separable(const Colour& s, const Colour& d) {
  const DF df;
  const VF one = hn::Set(df, 1.0f), sa1 = hn::Sub(one, s.a), da1 = hn::Sub(one, d.a);
  auto channel = [&](VF cs, VF cb) {
    return hn::Add(hn::MulAdd(cs, da1, hn::Mul(cb, sa1)), Weighted<kMode>(cs, cb, s.a, d.a));
  };
  return {hn::Sub(hn::Add(s.a, d.a), hn::Mul(s.a, d.a)), channel(s.r, d.r), channel(s.g, d.g), channel(s.b, d.b)};
}

// Non-separable modes (section 10), on colours without their alpha.
struct Rgb {
  VF r, g, b;
};

HWY_INLINE VF Lum(const Rgb& c) {
  const DF df;
  return hn::MulAdd(hn::Set(df, 0.3f), c.r, hn::MulAdd(hn::Set(df, 0.59f), c.g, hn::Mul(hn::Set(df, 0.11f), c.b)));
}
HWY_INLINE VF Max3(const Rgb& c) { return hn::Max(c.r, hn::Max(c.g, c.b)); }
HWY_INLINE VF Min3(const Rgb& c) { return hn::Min(c.r, hn::Min(c.g, c.b)); }

// ClipColor: the colour brought into 0..1 along the line to its luminosity.
HWY_INLINE Rgb ClipColor(Rgb c) {
  const DF df;
  const VF l = Lum(c), n = Min3(c), x = Max3(c), one = hn::Set(df, 1.0f);
  const auto low = hn::Lt(n, hn::Zero(df)), high = hn::Gt(x, one);
  const VF downScale = SafeDiv(l, hn::Sub(l, n)), upScale = SafeDiv(hn::Sub(one, l), hn::Sub(x, l));
  auto fix = [&](VF v) {
    v = hn::IfThenElse(low, hn::MulAdd(hn::Sub(v, l), downScale, l), v);
    return hn::IfThenElse(high, hn::MulAdd(hn::Sub(v, l), upScale, l), v);
  };
  return {fix(c.r), fix(c.g), fix(c.b)};
}

HWY_INLINE Rgb SetLum(const Rgb& c, VF l) {
  const VF d = hn::Sub(l, Lum(c));
  return ClipColor({hn::Add(c.r, d), hn::Add(c.g, d), hn::Add(c.b, d)});
}

// SetSat: the largest channel becomes s, the smallest 0, the middle one in proportion.
HWY_INLINE Rgb SetSat(const Rgb& c, VF s) {
  const DF df;
  const VF mn = Min3(c), range = hn::Sub(Max3(c), mn);
  const VF scale = hn::IfThenElseZero(hn::Gt(range, hn::Zero(df)), SafeDiv(s, range));
  return {hn::Mul(hn::Sub(c.r, mn), scale), hn::Mul(hn::Sub(c.g, mn), scale), hn::Mul(hn::Sub(c.b, mn), scale)};
}

template <int kMode>
HWY_INLINE Colour NonSeparable(const Colour& s, const Colour& d) {
  const DF df;
  const Rgb cs = {SafeDiv(s.r, s.a), SafeDiv(s.g, s.a), SafeDiv(s.b, s.a)};
  const Rgb cb = {SafeDiv(d.r, d.a), SafeDiv(d.g, d.a), SafeDiv(d.b, d.a)};
  Rgb b;
  switch (kMode) {
    case 12: b = SetLum(SetSat(cs, hn::Sub(Max3(cb), Min3(cb))), Lum(cb)); break;  // hue
    case 13: b = SetLum(SetSat(cb, hn::Sub(Max3(cs), Min3(cs))), Lum(cb)); break;  // saturation
    case 14: b = SetLum(cs, Lum(cb)); break;                                       // colour
    default: b = SetLum(cb, Lum(cs)); break;                                       // luminosity
  }
  const VF one = hn::Set(df, 1.0f), sa1 = hn::Sub(one, s.a), da1 = hn::Sub(one, d.a), asab = hn::Mul(s.a, d.a);
  auto channel = [&](VF c1, VF c2, VF bl) { return hn::MulAdd(asab, bl, hn::MulAdd(c1, da1, hn::Mul(c2, sa1))); };
  return {hn::Sub(hn::Add(s.a, d.a), asab), channel(s.r, d.r, b.r), channel(s.g, d.g, b.g), channel(s.b, d.b, b.b)};
}

template <int kMode>
HWY_INLINE Colour Blend(const Colour& s, const Colour& d) {
  if (kMode == 0) {  // normal: source over
    const VF keep = hn::Sub(hn::Set(DF(), 1.0f), s.a);
    return {hn::MulAdd(d.a, keep, s.a), hn::MulAdd(d.r, keep, s.r), hn::MulAdd(d.g, keep, s.g),
            hn::MulAdd(d.b, keep, s.b)};
  }
  if (kMode >= 12 && kMode <= 15) return NonSeparable<kMode>(s, d);
  return Separable<kMode>(s, d);
}

// ---- 16-bit fixed point ----
//
// A word's four bytes as two vectors of 16-bit fields, two channels to a
// 32-bit lane, each 0 to 255: `low` holds bytes 0 and 2 of the word's value,
// `high` bytes 1 and 3.

struct Fields {
  VU low, high;
};

HWY_INLINE Fields Split(VU w) {
  const VU mask = hn::Set(DU(), 0x00FF00FFu);
  return {hn::And(w, mask), hn::And(hn::ShiftRight<8>(w), mask)};
}

// Picture fields (words 0xAARRGGBB: B and R low, G and A high) to the
// buffer's (bytes A,R,G,B in memory).
HWY_INLINE Fields ToBuffer(const Fields& p) {
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  // The buffer's word is B G R A from the top byte: A and G low, R and B high.
  return {hn::RotateRight<16>(p.high), hn::RotateRight<16>(p.low)};
#else
  return p;
#endif
}

// A lane's value up to 32767 in both of its 16-bit fields.
HWY_INLINE VU Spread(VU v) { return hn::Or(v, hn::ShiftLeft<16>(v)); }

// Arithmetic on each 16-bit field of the lanes.
#if HWY_TARGET == HWY_SCALAR
// One lane of 32 bits: the two fields one after the other.
template <typename Op>
HWY_INLINE VU PerField(VU a, VU b, Op op) {
  const uint32_t x = hn::GetLane(a), y = hn::GetLane(b);
  const uint32_t low = uint32_t(op(int32_t(x & 0xFFFF), int32_t(y & 0xFFFF))) & 0xFFFF;
  const uint32_t high = uint32_t(op(int32_t(x >> 16), int32_t(y >> 16))) & 0xFFFF;
  return hn::Set(DU(), low | high << 16);
}
HWY_INLINE VU Mul16(VU a, VU b) {
  return PerField(a, b, [](int32_t x, int32_t y) { return x * y; });
}
HWY_INLINE VU Add16(VU a, VU b) {
  return PerField(a, b, [](int32_t x, int32_t y) { return std::min(x + y, 0xFFFF); });
}
HWY_INLINE VU Sub16(VU a, VU b) {
  return PerField(a, b, [](int32_t x, int32_t y) { return std::max(x - y, 0); });
}
HWY_INLINE VU Min16(VU a, VU b) {
  return PerField(a, b, [](int32_t x, int32_t y) { return std::min(x, y); });
}
HWY_INLINE VU Max16(VU a, VU b) {
  return PerField(a, b, [](int32_t x, int32_t y) { return std::max(x, y); });
}
template <int kBits>
HWY_INLINE VU Shr16(VU a) {
  return PerField(a, a, [](int32_t x, int32_t) { return x >> kBits; });
}
// round(a b / 32768), for a from -255 to 255 and b from 0 to 32767.
HWY_INLINE VU Mul15(VU a, VU b) {
  return PerField(a, b, [](int32_t x, int32_t y) { return (int32_t(int16_t(x)) * y + 16384) >> 15; });
}
HWY_INLINE VU MulHigh16(VU a, VU b) {
  return PerField(a, b, [](int32_t x, int32_t y) { return (x * y) >> 16; });
}
// 1 where a + b wraps past 16 bits.
HWY_INLINE VU Carry16(VU a, VU b) {
  return PerField(a, b, [](int32_t x, int32_t y) { return (x + y) >> 16; });
}
#else
using DU16 = hn::Repartition<uint16_t, DU>;
using DI16 = hn::Repartition<int16_t, DU>;
HWY_INLINE hn::Vec<DU16> U16(VU v) { return hn::BitCast(DU16(), v); }
HWY_INLINE hn::Vec<DI16> I16(VU v) { return hn::BitCast(DI16(), v); }
template <class V>
HWY_INLINE VU U32(V v) {
  return hn::BitCast(DU(), v);
}
HWY_INLINE VU Mul16(VU a, VU b) { return U32(hn::Mul(U16(a), U16(b))); }
HWY_INLINE VU Add16(VU a, VU b) { return U32(hn::SaturatedAdd(U16(a), U16(b))); }
HWY_INLINE VU Sub16(VU a, VU b) { return U32(hn::SaturatedSub(U16(a), U16(b))); }
HWY_INLINE VU Min16(VU a, VU b) { return U32(hn::Min(U16(a), U16(b))); }
HWY_INLINE VU Max16(VU a, VU b) { return U32(hn::Max(U16(a), U16(b))); }
template <int kBits>
HWY_INLINE VU Shr16(VU a) {
  return U32(hn::ShiftRight<kBits>(U16(a)));
}
HWY_INLINE VU Mul15(VU a, VU b) { return U32(hn::MulFixedPoint15(I16(a), I16(b))); }
HWY_INLINE VU MulHigh16(VU a, VU b) { return U32(hn::MulHigh(U16(a), U16(b))); }
HWY_INLINE VU Carry16(VU a, VU b) {
  const auto low = U16(a);
  return U32(hn::IfThenElseZero(hn::Lt(hn::Add(low, U16(b)), low), hn::Set(DU16(), 1)));
}
#endif


HWY_INLINE VU Join(const Fields& f) {
  const VU most = hn::Set(DU(), 0x00FF00FFu);
  return hn::Or(Min16(f.low, most), hn::ShiftLeft<8>(Min16(f.high, most)));
}

// round(x / 255) per field, for x up to 65535.
HWY_INLINE VU Div255(VU x) {
  const VU r = Add16(x, hn::Set(DU(), 0x00800080u));
  return Shr16<8>(Add16(r, Shr16<8>(r)));
}
HWY_INLINE VU MulDiv255(VU a, VU b) { return Div255(Mul16(a, b)); }
// round(2 x / 255) per field, for x up to 255 * 255: x 514 / 65536, rounded
// by the top bit of the low half.
HWY_INLINE VU TwiceDiv255(VU x) {
  const VU factor = hn::Set(DU(), 0x02020202u);
  return hn::Add(MulHigh16(x, factor), Shr16<15>(Mul16(x, factor)));
}

// ---- Sampling ----

// Where a vector of pixels reads the picture: points in 65536ths of a
// picture pixel, measured from kBias pixels above and left of the first
// pixel's centre so that they stay positive.
struct Walk {
  VU u, v;
  VU stepU, stepV;  // one vector's move
};

HWY_INLINE Walk Start(const Span& s) {
  const DU du;
  const VU lane = hn::Iota(du, 0);
  const uint32_t n = uint32_t(hn::Lanes(du));
  return {hn::Add(hn::Set(du, s.u0), hn::Mul(lane, hn::Set(du, uint32_t(s.du)))),
          hn::Add(hn::Set(du, s.v0), hn::Mul(lane, hn::Set(du, uint32_t(s.dv)))), hn::Set(du, n * uint32_t(s.du)),
          hn::Set(du, n * uint32_t(s.dv))};
}

HWY_INLINE void Step(Walk& w) {
  w.u = hn::Add(w.u, w.stepU);
  w.v = hn::Add(w.v, w.stepV);
}

// Where a lane's four picture pixels lie: the byte offsets of its pair in the
// row above the point and in the row below, and the point's fraction across
// (0 to 65536: the whole at the last column) and down (the low 16 bits of v).
struct Footing {
  VU top, bottom;
  VU across, down;
};

// The edge pixels extended beyond the picture: the point clamped to the
// outermost pixel centres. The picture is at least two pixels wide. kInside:
// every point lies inside the outermost pixel centres, none at the last
// column or row, so nothing needs clamping.
template <bool kInside>
HWY_INLINE Footing FootingOf(const Span& s, const Walk& w) {
  const DU du;
  VU u = w.u, v = w.v, i, below;
  const VU width = hn::Set(du, uint32_t(s.pictureWidth));
  if (kInside) {
    i = hn::ShiftRight<16>(u);
    below = width;
  } else {
    u = hn::Min(hn::Max(u, hn::Set(du, uint32_t(kBias) << 16)), hn::Set(du, uint32_t(kBias + s.pictureWidth - 1) << 16));
    v = hn::Min(hn::Max(v, hn::Set(du, uint32_t(kBias) << 16)), hn::Set(du, uint32_t(kBias + s.pictureHeight - 1) << 16));
    i = hn::Min(hn::ShiftRight<16>(u), hn::Set(du, uint32_t(kBias + s.pictureWidth - 2)));
  }
  const VU j = hn::ShiftRight<16>(v);
  if (!kInside) below = hn::IfThenElseZero(hn::Lt(j, hn::Set(du, uint32_t(kBias + s.pictureHeight - 1))), width);
  const VU origin = hn::Set(du, uint32_t(kBias) * uint32_t(s.pictureWidth + 1));
  const VU top = hn::Sub(hn::Add(hn::Mul(j, width), i), origin);
  const VU across = kInside ? hn::And(u, hn::Set(du, 0xFFFFu)) : hn::Sub(u, hn::ShiftLeft<16>(i));
  return {hn::ShiftLeft<2>(top), hn::ShiftLeft<2>(hn::Add(top, below)), across, hn::And(v, hn::Set(du, 0xFFFFu))};
}

#if HWY_TARGET == HWY_SSSE3 || HWY_TARGET == HWY_SSE4 || HWY_TARGET == HWY_AVX2 || HWY_TARGET == HWY_AVX3 || \
    HWY_TARGET == HWY_AVX3_DL
// On x86 a sample is summed from bytes: each pair of side-by-side pixels is
// weighed across with one byte multiply-add, then the two rows are mixed with
// one 16-bit multiply-add.

using DU8 = hn::Repartition<uint8_t, DU>;
using VU8 = hn::Vec<DU8>;
using DI16 = hn::Repartition<int16_t, DU>;
using VI16 = hn::Vec<DI16>;

// The pairs (i, j) and (i + 1, j) of every lane, 8 bytes each. Each 128-bit
// block q holds the pairs of lanes 4q and 4q + 1 in `first`, of lanes 4q + 2
// and 4q + 3 in `second`: the work on them is done block by block, and this
// order brings the lanes back in their own order at the end. The lanes are
// read one by one into halves of 128-bit registers: the gather instructions
// are slower than that on AMD's processors and no faster on Intel's.
struct Pairs {
  VU8 first, second;
};

// The pairs at byte offsets `at` from `base`, one for each lane.
HWY_INLINE Pairs LoadPairs(const char* base, const uint32_t* at) {
  auto two = [&](int k) {
    const __m128i first = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(base + at[k]));
    return _mm_castpd_si128(_mm_loadh_pd(_mm_castsi128_pd(first), reinterpret_cast<const double*>(base + at[k + 1])));
  };
#if HWY_TARGET == HWY_AVX2
  auto blocks = [&](int k) { return _mm256_inserti128_si256(_mm256_castsi128_si256(two(k)), two(k + 4), 1); };
  return {VU8{blocks(0)}, VU8{blocks(2)}};
#elif HWY_TARGET == HWY_AVX3 || HWY_TARGET == HWY_AVX3_DL
  auto blocks = [&](int k) {
    const __m256i low = _mm256_inserti128_si256(_mm256_castsi128_si256(two(k)), two(k + 4), 1);
    const __m256i high = _mm256_inserti128_si256(_mm256_castsi128_si256(two(k + 8)), two(k + 12), 1);
    return _mm512_inserti64x4(_mm512_castsi256_si512(low), high, 1);
  };
  return {VU8{blocks(0)}, VU8{blocks(2)}};
#else
  return {VU8{two(0)}, VU8{two(2)}};
#endif
}

// The x86 instruction `name` at this target's width.
#undef QUORVEL_X86
#if HWY_TARGET == HWY_AVX2
#define QUORVEL_X86(name) _mm256_##name
#elif HWY_TARGET == HWY_AVX3 || HWY_TARGET == HWY_AVX3_DL
#define QUORVEL_X86(name) _mm512_##name
#else
#define QUORVEL_X86(name) _mm_##name
#endif

// Per 16-bit field: the sum of the two products of adjacent bytes, unsigned
// by signed.
HWY_INLINE VI16 MulAddBytes(VU8 unsignedBytes, VU8 signedBytes) {
  return VI16{QUORVEL_X86(maddubs_epi16)(unsignedBytes.raw, signedBytes.raw)};
}

// Per 32-bit field: the sum of the two products of adjacent 16-bit fields.
HWY_INLINE VI MulAddWords(VI16 a, VI16 b) { return VI{QUORVEL_X86(madd_epi16)(a.raw, b.raw)}; }

// Each block of a, then the same block of b, narrowed to 16 bits, saturated.
HWY_INLINE VI16 Narrowed(VI a, VI b) { return VI16{QUORVEL_X86(packs_epi32)(a.raw, b.raw)}; }

// Words 0, 2 (kOdd false) or 1, 3 (true) of each block of a, then of b.
template <bool kOdd>
HWY_INLINE VU Words(VI16 a, VI16 b) {
  const DF df;
  const VF picked{QUORVEL_X86(shuffle_ps)(hn::BitCast(df, a).raw, hn::BitCast(df, b).raw, kOdd ? 0xDD : 0x88)};
  return hn::BitCast(DU(), picked);
}

// Lane k of each block in all four lanes of the block, as 16-bit fields.
template <int k>
HWY_INLINE VI16 LaneOfBlock(VU v) {
  return hn::BitCast(DI16(), hn::Broadcast<k>(v));
}

// The picture's colour at the walk's points as fields of the buffer's words
// (see ToBuffer): bilinear between the four pixels around each point. Like
// pixman, the weights keep 7 bits of the point's fraction and the weighted
// sum is rounded down. Across, each row's pair is summed with byte
// multiply-adds, exactly in 128ths; down, the two rows' sums with 16-bit
// multiply-adds, exactly in 16384ths.
template <bool kInside>
HWY_INLINE Fields Sample(const Span& s, const Walk& w) {
  const DU du;
  const DU8 d8;
  const DI16 d16;
  const Footing f = FootingOf<kInside>(s, w);
  // The offsets unsigned, so that each is used as it comes out of its lane;
  // inside, the row below is one picture row further on.
  HWY_ALIGN uint32_t at[hn::MaxLanes(du)], below[hn::MaxLanes(du)];
  hn::Store(f.top, du, at);
  const char* picture = reinterpret_cast<const char*>(s.picture);
  const Pairs top = LoadPairs(picture, at);
  if (!kInside) hn::Store(f.bottom, du, below);
  const Pairs bottom = kInside ? LoadPairs(picture + size_t(s.pictureWidth) * 4, at) : LoadPairs(picture, below);
  // Each pair's bytes (B, G, R, A of each pixel) as (left, right) per
  // channel, in the order A, G, R, B, so that the sums come out as the
  // buffer's fields. Less 128, they are signed bytes; every sum is then
  // short by 128 times the sum of its weights, which is put back at the end.
  alignas(16) static constexpr uint8_t kOrder[16] = {3, 7, 1, 5, 2, 6, 0, 4, 11, 15, 9, 13, 10, 14, 8, 12};
  const VU8 order = hn::LoadDup128(d8, kOrder), bias = hn::Set(d8, 0x80);
  auto arranged = [&](VU8 pairs) { return hn::Xor(hn::TableLookupBytes(pairs, order), bias); };
  // Across: bytes 128 - t and t, t the fraction in 128ths, four times a lane.
  const VU t = hn::ShiftRight<9>(f.across);
  const VU across = Spread(hn::Add(hn::Sub(hn::ShiftLeft<8>(t), t), hn::Set(du, 128)));
  const VU8 acrossFirst = hn::BitCast(d8, hn::InterleaveLower(du, across, across));
  const VU8 acrossSecond = hn::BitCast(d8, hn::InterleaveUpper(du, across, across));
  // Down: the fields 128 - t and t, t the fraction in 128ths.
  const VU tDown = hn::ShiftRight<9>(f.down);
  const VU down = hn::Add(hn::Sub(hn::ShiftLeft<16>(tDown), tDown), hn::Set(du, 128));
  // The four channels of lanes 4q + k and 4q + k + 1 of each block q.
  auto mixed = [&](VU8 upper, VU8 lower, VU8 weights, VI16 downLeft, VI16 downRight) {
    const VI16 a = MulAddBytes(weights, arranged(upper)), b = MulAddBytes(weights, arranged(lower));
    const VI left = hn::ShiftRight<14>(MulAddWords(hn::InterleaveLower(d16, a, b), downLeft));
    const VI right = hn::ShiftRight<14>(MulAddWords(hn::InterleaveUpper(d16, a, b), downRight));
    return Narrowed(left, right);
  };
  const VI16 first = mixed(top.first, bottom.first, acrossFirst, LaneOfBlock<0>(down), LaneOfBlock<1>(down));
  const VI16 second = mixed(top.second, bottom.second, acrossSecond, LaneOfBlock<2>(down), LaneOfBlock<3>(down));
  const hn::Repartition<uint16_t, DU> du16;
  const auto unbias = hn::Set(du16, 128);
  return {hn::BitCast(du, hn::Add(hn::BitCast(du16, Words<false>(first, second)), unbias)),
          hn::BitCast(du, hn::Add(hn::BitCast(du16, Words<true>(first, second)), unbias))};
}

#else
// Two picture pixels side by side, (i, j) and (i + 1, j).
struct Pair {
  VU left, right;
};

HWY_INLINE Pair PairAt(const UInt32* picture, VU offsets) {
  const DU du;
  HWY_ALIGN uint32_t at[hn::MaxLanes(du)], left[hn::MaxLanes(du)], right[hn::MaxLanes(du)];
  hn::Store(offsets, du, at);
  for (size_t k = 0; k < hn::Lanes(du); ++k) {
    left[k] = picture[at[k] / 4];
    right[k] = picture[at[k] / 4 + 1];
  }
  return {hn::Load(du, left), hn::Load(du, right)};
}

// One column of a bilinear sample: a (1 - t) + b t per field, with t and
// 1 - t in 256ths; exact, up to 255 * 256.
HWY_INLINE Fields Column(const Fields& a, const Fields& b, VU t, VU rest) {
  return {hn::Add(Mul16(a.low, rest), Mul16(b.low, t)), hn::Add(Mul16(a.high, rest), Mul16(b.high, t))};
}

// The picture's colour at the walk's points as fields of the buffer's words
// (see ToBuffer): bilinear between the four pixels around each point. Like
// pixman, the weights keep 7 bits of the point's fraction and the weighted
// sum is rounded down.
template <bool kInside>
HWY_INLINE Fields Sample(const Span& s, const Walk& w) {
  const DU du;
  const Footing f = FootingOf<kInside>(s, w);
  // The weights in 256ths, even: at the last column, the whole 256.
  const VU whole = hn::Set(du, 0x01000100u);
  const VU tx = Spread(hn::ShiftLeft<1>(hn::ShiftRight<9>(f.across)));
  const VU ty = Spread(hn::ShiftLeft<1>(hn::ShiftRight<9>(f.down)));
  const Pair a = PairAt(s.picture, f.top), b = PairAt(s.picture, f.bottom);
  const VU restY = hn::Sub(whole, ty), restX = hn::Sub(whole, tx);
  const Fields left = Column(Split(a.left), Split(b.left), ty, restY);
  const Fields right = Column(Split(a.right), Split(b.right), ty, restY);
  auto across = [&](VU l, VU r) {
    // The carry out of the two products' low halves makes the sum exact.
    return hn::Add(hn::Add(MulHigh16(l, restX), MulHigh16(r, tx)), Carry16(Mul16(l, restX), Mul16(r, tx)));
  };
  return ToBuffer({across(left.low, right.low), across(left.high, right.high)});
}
#endif

// The picture's pixels (column0 + k, row) for a whole-pixel move, as fields
// of the buffer's words.
HWY_INLINE Fields Direct(const Span& s, size_t k) {
  const DI di;
  const DU du;
  const size_t n = hn::Lanes(du);
  const int first = s.column0 + int(k);
  const UInt32* row = s.picture + size_t(s.row) * size_t(s.pictureWidth);
  if (first >= 0 && first + int(n) <= s.pictureWidth) return ToBuffer(Split(hn::LoadU(du, row + first)));
  const VI columns = hn::Min(hn::Max(hn::Add(hn::Iota(di, 0), hn::Set(di, first)), hn::Zero(di)),
                             hn::Set(di, s.pictureWidth - 1));
  return ToBuffer(Split(hn::GatherIndex(du, row, columns)));
}

// The buffer's alpha in both fields of each lane.
HWY_INLINE VU AlphaOf(const Fields& f) {
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  return Spread(hn::And(f.low, hn::Set(DU(), 0xFFFFu)));
#else
  return Spread(hn::ShiftRight<16>(f.high));
#endif
}

// ---- The modes exact enough in 16-bit fixed point ----

constexpr bool IsFixedPoint(int mode) {
  return mode == 0 || mode == 1 || mode == 2 || mode == 4 || mode == 5 || mode == 10 || mode == 11;
}

// One field pair of the premultiplied result (the formulas above, in 0 to
// 255): s and d the colours, sa and da their alphas in both fields.
template <int kMode>
HWY_INLINE VU FixedPoint(VU s, VU d, VU sa, VU da) {
  const VU full = hn::Set(DU(), 0x00FF00FFu);
  switch (kMode) {
    case 1:  // multiply: s (1 - da) + d (1 - sa) + s d
      return Div255(Add16(Add16(Mul16(s, hn::Sub(full, da)), Mul16(d, hn::Sub(full, sa))), Mul16(s, d)));
    case 2:  // screen: s + d - s d
      return Sub16(Add16(s, d), MulDiv255(s, d));
    case 4:  // darken: s + d - max(s da, d sa)
      return Sub16(Add16(s, d), Max16(MulDiv255(s, da), MulDiv255(d, sa)));
    case 5:  // lighten: s + d - min(s da, d sa)
      return Sub16(Add16(s, d), Min16(MulDiv255(s, da), MulDiv255(d, sa)));
    case 10:  // difference: s + d - 2 min(s da, d sa)
      return Sub16(Add16(s, d), TwiceDiv255(Min16(Mul16(s, da), Mul16(d, sa))));
    case 11:  // exclusion: s + d - 2 s d
      return Sub16(Add16(s, d), TwiceDiv255(Mul16(s, d)));
    default: {  // normal: s + d (1 - sa), 1 - sa in 32768ths
      const VU keep = Shr16<1>(Mul16(hn::Sub(full, sa), hn::Set(DU(), 0x01010101u)));
      return Add16(s, Mul15(d, keep));
    }
  }
}

template <int kMode>
HWY_INLINE Fields FixedPoint(const Fields& s, const Fields& d) {
  const VU sa = AlphaOf(s), da = AlphaOf(d);
  Fields r = {FixedPoint<kMode>(s.low, d.low, sa, da), FixedPoint<kMode>(s.high, d.high, sa, da)};
  if (kMode == 10 || kMode == 11) {
    // Their formulas do not hold for alpha, which is always sa + da - sa da.
    const VU a = hn::And(Sub16(Add16(sa, da), MulDiv255(sa, da)), hn::Set(DU(), 0xFFFFu));
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    r.low = hn::Or(hn::And(r.low, hn::Set(DU(), 0xFFFF0000u)), a);
#else
    r.high = hn::Or(hn::And(r.high, hn::Set(DU(), 0xFFFFu)), hn::ShiftLeft<16>(a));
#endif
  }
  return r;
}

// ---- Spans ----

HWY_INLINE VU ToByte(VF v) {
  const DF df;
  const DI di;
  const DU du;
  const VF clamped = hn::Min(hn::Max(hn::MulAdd(v, hn::Set(df, 255.0f), hn::Set(df, 0.5f)), hn::Zero(df)),
                             hn::Set(df, 255.0f));
  return hn::BitCast(du, hn::ConvertTo(di, clamped));
}

// A buffer word's four channels, each times `scale`.
HWY_INLINE Colour ColourOf(VU words, VF scale) {
  return {hn::Mul(Channel<kShiftA>(words), scale), hn::Mul(Channel<kShiftR>(words), scale),
          hn::Mul(Channel<kShiftG>(words), scale), hn::Mul(Channel<kShiftB>(words), scale)};
}

// The same from a word's fields: the byte at kShift is in `low` (bytes 0
// and 2) or `high` (1 and 3), in the field's lower or upper half.
template <int kShift>
HWY_INLINE VF FieldChannel(const Fields& f) {
  const VU field = (kShift / 8) % 2 ? f.high : f.low;
  const VU half = kShift >= 16 ? hn::ShiftRight<16>(field) : hn::And(field, hn::Set(DU(), 0xFFFFu));
  return hn::ConvertTo(DF(), hn::BitCast(DI(), half));
}
HWY_INLINE Colour ColourOf(const Fields& f, VF scale) {
  return {hn::Mul(FieldChannel<kShiftA>(f), scale), hn::Mul(FieldChannel<kShiftR>(f), scale),
          hn::Mul(FieldChannel<kShiftG>(f), scale), hn::Mul(FieldChannel<kShiftB>(f), scale)};
}

// A fraction 0 to 1 in 32768ths, in both fields.
HWY_INLINE VU To15(VF f) {
  const DF df;
  return Spread(hn::BitCast(DU(), hn::NearestInt(hn::Mul(f, hn::Set(df, 32767.0f)))));
}

template <int kMode, bool kInside>
HWY_INLINE void Lanes(const Span& s, const Walk& walk, size_t k, UInt32* dest, const float* coverage) {
  const DF df;
  const DU du;
  // Cleared wholly where the coverage is whole.
  if (kMode == kClear && coverage == nullptr) return hn::StoreU(hn::Zero(du), du, dest);
  const VU words = hn::LoadU(du, dest);
  if (kMode == kClear) {
    const VU keep = To15(hn::Sub(hn::Set(df, 1.0f), hn::LoadU(df, coverage)));
    const Fields d = Split(words);
    hn::StoreU(Join({Mul15(d.low, keep), Mul15(d.high, keep)}), du, dest);
    return;
  }
  const Fields p = !kInside && s.direct ? Direct(s, k) : Sample<kInside>(s, walk);
  if constexpr (IsFixedPoint(kMode)) {
    // The picture laid on by its coverage and the global alpha.
    const VU weight = coverage ? To15(hn::Mul(hn::LoadU(df, coverage), hn::Set(df, s.alpha)))
                               : hn::Set(du, s.weight);
    const Fields source = {Mul15(p.low, weight), Mul15(p.high, weight)};
    hn::StoreU(Join(FixedPoint<kMode>(source, Split(words))), du, dest);
  } else {
    const Colour d = ColourOf(words, hn::Set(df, 1.0f / 255.0f));
    const VF scale = hn::Mul(coverage ? hn::LoadU(df, coverage) : hn::Set(df, 1.0f), hn::Set(df, s.alpha / 255.0f));
    const Colour source = ColourOf(p, scale);
    const Colour r = Blend<kMode>(source, d);
    const VU out = hn::Or(hn::Or(hn::ShiftLeft<kShiftA>(ToByte(r.a)), hn::ShiftLeft<kShiftR>(ToByte(r.r))),
                          hn::Or(hn::ShiftLeft<kShiftG>(ToByte(r.g)), hn::ShiftLeft<kShiftB>(ToByte(r.b))));
    hn::StoreU(out, du, dest);
  }
}

// kInside: some vectors lie wholly inside the span's inside part. The
// vectors before it, inside it and after it each have a loop of their own.
template <int kMode, bool kInside>
void Run(const Span& s) {
  const DU du;
  const size_t n = hn::Lanes(du);
  UInt32* dest = reinterpret_cast<UInt32*>(s.dest);
  Walk walk = Start(s);
  size_t k = 0;
  // A vector wholly within the span's wholly covered part is drawn as one
  // with no coverage; one across either end of that part gets its own.
  const size_t wholeFrom = size_t(s.wholeFrom), wholeTo = size_t(s.wholeTo);
  float mixed[64];
  // The vector at pixel `at`'s coverage, its entries read from `from`, 1
  // where the pixels are wholly covered.
  auto mixedAt = [&](size_t at, const float* from) {
    const DF df;
    const DI di;
    const auto index = hn::Iota(di, int(at));
    const auto whole = hn::AndNot(hn::Lt(index, hn::Set(di, int(wholeFrom))), hn::Lt(index, hn::Set(di, int(wholeTo))));
    hn::StoreU(hn::IfThenElse(hn::RebindMask(df, whole), hn::Set(df, 1.0f), hn::LoadU(df, from)), df, mixed);
    return mixed;
  };
  auto coverageAt = [&](size_t at) -> const float* {
    if (s.coverage == nullptr || (at >= wholeFrom && at + n <= wholeTo)) return nullptr;
    if (at + n <= wholeFrom || at >= wholeTo) return s.coverage + at;
    return mixedAt(at, s.coverage + at);
  };
  if (kInside) {
    const size_t from = (size_t(s.insideFrom) + n - 1) / n * n;  // the first vector wholly inside
    for (; k < from && k + n <= size_t(s.count); k += n, Step(walk))
      Lanes<kMode, false>(s, walk, k, dest + k, coverageAt(k));
    for (; k + n <= size_t(s.insideTo); k += n, Step(walk)) Lanes<kMode, true>(s, walk, k, dest + k, coverageAt(k));
  }
  for (; k + n <= size_t(s.count); k += n, Step(walk)) Lanes<kMode, false>(s, walk, k, dest + k, coverageAt(k));
  if (k == size_t(s.count)) return;
  // The last pixels go through a full vector of their own.
  UInt32 tail[64];
  float tailCoverage[64];
  const size_t rest = size_t(s.count) - k;
  std::memcpy(tail, dest + k, rest * 4);
  std::memset(tail + rest, 0, (n - rest) * 4);
  if (s.coverage) {
    std::memcpy(tailCoverage, s.coverage + k, rest * sizeof(float));
    std::fill(tailCoverage + rest, tailCoverage + n, 0.0f);
  }
  // The lanes past the end read the picture like the others, clamped.
  Lanes<kMode, false>(s, walk, k, tail, s.coverage ? mixedAt(k, tailCoverage) : nullptr);
  std::memcpy(dest + k, tail, rest * 4);
}

template <int kMode>
void SpanOf(const Span& s) {
  // Spans with no pixel inside, or that do not sample, keep to the one kind of vector.
  if (s.insideTo - s.insideFrom >= 16 && !s.direct && kMode != kClear) return Run<kMode, true>(s);
  Run<kMode, false>(s);
}

void CompositeSpanImpl(const Span& s) {
  switch (s.mode) {
    case 0: return SpanOf<0>(s);
    case 1: return SpanOf<1>(s);
    case 2: return SpanOf<2>(s);
    case 3: return SpanOf<3>(s);
    case 4: return SpanOf<4>(s);
    case 5: return SpanOf<5>(s);
    case 6: return SpanOf<6>(s);
    case 7: return SpanOf<7>(s);
    case 8: return SpanOf<8>(s);
    case 9: return SpanOf<9>(s);
    case 10: return SpanOf<10>(s);
    case 11: return SpanOf<11>(s);
    case 12: return SpanOf<12>(s);
    case 13: return SpanOf<13>(s);
    case 14: return SpanOf<14>(s);
    case 15: return SpanOf<15>(s);
    default: return SpanOf<kClear>(s);
  }
}

}  // namespace HWY_NAMESPACE
}  // namespace compositor
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace compositor {
HWY_EXPORT(CompositeSpanImpl);
void CompositeSpan(const Span& span) { HWY_DYNAMIC_DISPATCH(CompositeSpanImpl)(span); }
}  // namespace compositor
#endif
