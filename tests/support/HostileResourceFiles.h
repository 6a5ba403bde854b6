// Well-formed resource files whose entries share bytes, so that a reader that
// copies each entry's data would hand out far more than the file holds.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "MacTypes.h"

enum class SharedBytes {
  ReferenceList,  // every type names the same reference list
  DataEntry,      // every type has its own reference, all to the same data
};

// `types` types ('T000', 'T001', …) of one resource each, all reaching one
// data entry of `dataSize` bytes.
inline std::vector<UInt8> AmplifyingResourceFile(int types, size_t dataSize, SharedBytes sharing) {
  std::vector<UInt8> v;
  auto u8 = [&](UInt8 x) { v.push_back(x); };
  auto u16 = [&](UInt16 x) { u8(UInt8(x >> 8)), u8(UInt8(x)); };
  auto u32 = [&](UInt32 x) { u16(UInt16(x >> 16)), u16(UInt16(x)); };
  const size_t refs = sharing == SharedBytes::ReferenceList ? 1 : size_t(types);
  const size_t typeListEnd = 2 + size_t(types) * 8;
  const size_t mapLength = 28 + typeListEnd + refs * 12;
  const size_t dataLength = 4 + dataSize;
  const UInt32 header[4] = {16, UInt32(16 + dataLength), UInt32(dataLength), UInt32(mapLength)};
  for (UInt32 h : header) u32(h);
  u32(UInt32(dataSize));
  v.resize(v.size() + dataSize, 0x5A);
  for (UInt32 h : header) u32(h);
  u32(0), u16(0), u16(0);                   // next map, file ref, attributes
  u16(28), u16(UInt16(28 + typeListEnd + refs * 12));  // type list, name list (empty)
  u16(UInt16(types - 1));
  for (int t = 0; t < types; ++t) {
    char code[5];
    std::snprintf(code, sizeof code, "T%03d", t % 1000);
    u32(FOUR_CHAR_CODE({code[0], code[1], code[2], code[3], 0}));
    u16(0);  // one resource
    u16(UInt16(typeListEnd + (sharing == SharedBytes::ReferenceList ? 0 : size_t(t) * 12)));
  }
  for (size_t r = 0; r < refs; ++r) u16(1), u16(0xFFFF), u8(0), u8(0), u16(0), u32(0);
  return v;
}
