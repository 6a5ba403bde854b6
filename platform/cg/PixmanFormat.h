// Our buffers hold A,R,G,B in memory order on every machine; pixman names its
// formats by the bits of a 32-bit word, so the name depends on the byte order.
#pragma once

#include <pixman.h>

constexpr pixman_format_code_t PixmanFormatForARGBBytes(bool bigEndian) {
  // Little-endian: the word's low byte is A, its high byte B.
  return bigEndian ? PIXMAN_a8r8g8b8 : PIXMAN_b8g8r8a8;
}
