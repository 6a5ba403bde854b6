#pragma once
// The turns between a frei0r host's bytes R,G,B,A and the core's A,R,G,B,
// a row at a time with the widest vectors the processor has.
#include <bit>
#include <cstddef>
#include <cstdint>

// One pixel's R,G,B,A bytes to A,R,G,B bytes, and back.
inline std::uint32_t ToARGB(std::uint32_t v) {
  return std::endian::native == std::endian::little ? std::rotl(v, 8) : std::rotr(v, 8);
}
inline std::uint32_t ToRGBA(std::uint32_t v) {
  return std::endian::native == std::endian::little ? std::rotr(v, 8) : std::rotl(v, 8);
}

// `n` host pixels as the core's, as they are (straight alpha); the bits of
// every word written and-ed together, so that a caller sees whether every
// alpha was 255.
std::uint32_t HostToCore(const std::uint32_t* from, std::uint32_t* to, std::size_t n);
// `n` core pixels of opaque colour back to the host's order.
void CoreToHost(const std::uint32_t* from, std::uint32_t* to, std::size_t n);
