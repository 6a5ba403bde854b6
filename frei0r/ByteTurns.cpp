// Written once for every SIMD target with Highway and chosen at run time.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "ByteTurns.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "ByteTurns.h"

HWY_BEFORE_NAMESPACE();
namespace byte_turns {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using DU = hn::ScalableTag<std::uint32_t>;

// ToARGB and ToRGBA on a vector: R,G,B,A in memory to A,R,G,B is the word
// turned a byte towards its top on a little-endian machine, towards its
// bottom on a big-endian one.
constexpr bool kLittle = std::endian::native == std::endian::little;

template <bool kToCore>
HWY_INLINE hn::Vec<DU> Turn(hn::Vec<DU> v) {
  return kToCore == kLittle ? hn::Or(hn::ShiftLeft<8>(v), hn::ShiftRight<24>(v))
                            : hn::Or(hn::ShiftRight<8>(v), hn::ShiftLeft<24>(v));
}

std::uint32_t HostToCoreImpl(const std::uint32_t* from, std::uint32_t* to, std::size_t n) {
  const DU du;
  const std::size_t lanes = hn::Lanes(du);
  auto all = hn::Set(du, ~0u);
  std::size_t x = 0;
  for (; x + lanes <= n; x += lanes) {
    const auto v = Turn<true>(hn::LoadU(du, from + x));
    all = hn::And(all, v);
    hn::StoreU(v, du, to + x);
  }
  HWY_ALIGN std::uint32_t words[hn::MaxLanes(du)];
  hn::Store(all, du, words);
  std::uint32_t result = ~0u;
  for (std::size_t k = 0; k < lanes; ++k) result &= words[k];
  for (; x < n; ++x) result &= to[x] = ToARGB(from[x]);
  return result;
}

void CoreToHostImpl(const std::uint32_t* from, std::uint32_t* to, std::size_t n) {
  const DU du;
  const std::size_t lanes = hn::Lanes(du);
  std::size_t x = 0;
  for (; x + lanes <= n; x += lanes) hn::StoreU(Turn<false>(hn::LoadU(du, from + x)), du, to + x);
  for (; x < n; ++x) to[x] = ToRGBA(from[x]);
}

}  // namespace HWY_NAMESPACE
}  // namespace byte_turns
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace byte_turns {
HWY_EXPORT(HostToCoreImpl);
HWY_EXPORT(CoreToHostImpl);
}  // namespace byte_turns

std::uint32_t HostToCore(const std::uint32_t* from, std::uint32_t* to, std::size_t n) {
  return HWY_DYNAMIC_DISPATCH(byte_turns::HostToCoreImpl)(from, to, n);
}
void CoreToHost(const std::uint32_t* from, std::uint32_t* to, std::size_t n) {
  HWY_DYNAMIC_DISPATCH(byte_turns::CoreToHostImpl)(from, to, n);
}
#endif
