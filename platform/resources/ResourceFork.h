// The classic resource file format, read and written as a whole.
//
// Layout (all numbers big-endian): a 16-byte header (data offset, map offset,
// data length, map length); the data area, one 4-byte length and the bytes per
// resource; the map: a copy of the header, 4 + 2 reserved bytes, the file's
// attributes, the offsets of the type list and of the name list, the type
// list (count − 1, then type, count − 1 and reference-list offset per type),
// the reference lists (ID, name offset or −1, attributes, 24-bit data offset,
// 4 reserved bytes per resource) and the name list (length-prefixed names).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "MacTypes.h"

struct ResourceEntry {
  ResType type = 0;
  ResID id = 0;
  bool hasName = false;
  std::string name;  // Mac Roman bytes, at most 255
  UInt8 attributes = 0;
  std::vector<UInt8> data;
};

struct ResourceForkContents {
  UInt16 fileAttributes = 0;
  std::vector<ResourceEntry> resources;
};

// Files larger than this are not resource files we read: data offsets are
// 24-bit, so no valid data area reaches past 16 MiB.
constexpr size_t kLargestResourceFork = (size_t(1) << 24) + (size_t(1) << 20);

// Validates and decodes a whole resource file. False for anything that is not
// a well-formed file: truncated areas, offsets outside their area, areas that
// overlap, names running past the map, duplicate type and ID pairs. Never
// reads outside [bytes, bytes + length). Entries that share or overlap bytes
// (reference lists, data, names) are refused too, so the contents never take
// more memory than a small multiple of the file's size.
bool ParseResourceFork(const UInt8* bytes, size_t length, ResourceForkContents& out);

// Encodes the contents into `out`; ParseResourceFork of the result gives them
// back. False, and `out` untouched, for contents the format cannot hold: a
// data area past 16 MiB (its offsets have 24 bits), a map past 64 KiB, a
// name over 255 bytes, a type and ID twice.
bool SerializeResourceFork(const ResourceForkContents& contents, std::vector<UInt8>& out);
