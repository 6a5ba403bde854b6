#include "resources/ResourceFork.h"

#include <algorithm>
#include <set>
#include <utility>

namespace {

constexpr size_t kHeaderSize = 16;
constexpr size_t kMapHeaderSize = 28;
constexpr size_t kTypeEntrySize = 8;
constexpr size_t kRefEntrySize = 12;
// The classic layout leaves 240 bytes for system and application use
// between the header and the data.
constexpr size_t kDataStart = 256;
// Offsets within the data area have 24 bits; within the map, 16.
constexpr size_t kLargestDataOffset = 0xFFFFFF;
constexpr size_t kLargestMapOffset = 0xFFFF;

UInt32 Read32(const UInt8* p) {
  return (UInt32(p[0]) << 24) | (UInt32(p[1]) << 16) | (UInt32(p[2]) << 8) | UInt32(p[3]);
}
UInt32 Read24(const UInt8* p) { return (UInt32(p[0]) << 16) | (UInt32(p[1]) << 8) | UInt32(p[2]); }
UInt16 Read16(const UInt8* p) { return UInt16((p[0] << 8) | p[1]); }

void Put32(std::vector<UInt8>& v, size_t at, UInt32 x) {
  v[at] = UInt8(x >> 24);
  v[at + 1] = UInt8(x >> 16);
  v[at + 2] = UInt8(x >> 8);
  v[at + 3] = UInt8(x);
}
void Put24(std::vector<UInt8>& v, size_t at, UInt32 x) {
  v[at] = UInt8(x >> 16);
  v[at + 1] = UInt8(x >> 8);
  v[at + 2] = UInt8(x);
}
void Put16(std::vector<UInt8>& v, size_t at, UInt16 x) {
  v[at] = UInt8(x >> 8);
  v[at + 1] = UInt8(x);
}

// [offset, offset + size) lies inside [0, limit), without overflow.
bool Fits(size_t offset, size_t size, size_t limit) {
  return offset <= limit && size <= limit - offset;
}

bool Disjoint(size_t a, size_t aLen, size_t b, size_t bLen) { return a + aLen <= b || b + bLen <= a; }

// Byte ranges [first, second) of one area. A file that lays two entries over
// the same bytes (a reference list shared by two types, a data entry or a
// name shared by two resources) makes every reader hand out those bytes once
// per entry: a small file could claim gigabytes. Such a file is damaged.
typedef std::vector<std::pair<size_t, size_t>> Spans;
bool AllDisjoint(Spans& spans) {
  std::sort(spans.begin(), spans.end());
  for (size_t k = 1; k < spans.size(); ++k)
    if (spans[k].first < spans[k - 1].second) return false;
  return true;
}

}  // namespace

bool ParseResourceFork(const UInt8* bytes, size_t length, ResourceForkContents& out) {
  if (bytes == nullptr || length < kHeaderSize || length > kLargestResourceFork) return false;
  const size_t dataOffset = Read32(bytes), mapOffset = Read32(bytes + 4);
  const size_t dataLength = Read32(bytes + 8), mapLength = Read32(bytes + 12);
  if (!Fits(dataOffset, dataLength, length) || !Fits(mapOffset, mapLength, length)) return false;
  if (dataOffset < kHeaderSize || mapOffset < kHeaderSize || mapLength < kMapHeaderSize)
    return false;
  if (!Disjoint(dataOffset, dataLength, mapOffset, mapLength)) return false;

  const UInt8* map = bytes + mapOffset;
  const UInt8* data = bytes + dataOffset;
  const size_t typeListOffset = Read16(map + 24), nameListOffset = Read16(map + 26);
  if (typeListOffset < kMapHeaderSize || !Fits(typeListOffset, 2, mapLength)) return false;
  if (nameListOffset < kMapHeaderSize || nameListOffset > mapLength) return false;
  const UInt8* typeList = map + typeListOffset;
  const size_t typeListLimit = mapLength - typeListOffset;
  // Counts are stored minus one; 0xFFFF in the type count means no types.
  const size_t typeCount = size_t(UInt16(Read16(typeList) + 1));
  if (!Fits(2, typeCount * kTypeEntrySize, typeListLimit)) return false;

  // Where each resource lies; nothing is copied until the whole map is known
  // to be sound, so a refused file costs no more than its own size.
  struct Located {
    ResType type;
    ResID id;
    UInt8 attributes;
    size_t nameAt;  // kNoName when the resource has none
    size_t dataAt;
    size_t size;
  };
  constexpr size_t kNoName = ~size_t(0);
  std::vector<Located> located;
  std::set<std::pair<ResType, ResID>> seen;
  Spans lists{{0, 2 + typeCount * kTypeEntrySize}}, entries, names;
  for (size_t t = 0; t < typeCount; ++t) {
    const UInt8* typeEntry = typeList + 2 + t * kTypeEntrySize;
    const ResType type = Read32(typeEntry);
    const size_t refCount = size_t(Read16(typeEntry + 4)) + 1;
    const size_t refListOffset = Read16(typeEntry + 6);
    if (!Fits(refListOffset, refCount * kRefEntrySize, typeListLimit)) return false;
    lists.push_back({refListOffset, refListOffset + refCount * kRefEntrySize});
    for (size_t r = 0; r < refCount; ++r) {
      const UInt8* ref = typeList + refListOffset + r * kRefEntrySize;
      Located at{type, ResID(Read16(ref)), ref[4], kNoName, Read24(ref + 5), 0};
      if (!seen.insert({type, at.id}).second) return false;
      const UInt16 nameOffset = Read16(ref + 2);
      if (nameOffset != 0xFFFF) {
        at.nameAt = nameListOffset + size_t(nameOffset);
        if (!Fits(at.nameAt, 1, mapLength) || !Fits(at.nameAt + 1, map[at.nameAt], mapLength)) return false;
        names.push_back({at.nameAt, at.nameAt + 1 + map[at.nameAt]});
      }
      if (!Fits(at.dataAt, 4, dataLength)) return false;
      at.size = Read32(data + at.dataAt);
      if (!Fits(at.dataAt + 4, at.size, dataLength)) return false;
      entries.push_back({at.dataAt, at.dataAt + 4 + at.size});
      located.push_back(at);
    }
  }
  if (!AllDisjoint(lists) || !AllDisjoint(entries) || !AllDisjoint(names)) return false;

  ResourceForkContents result;
  result.fileAttributes = Read16(map + 22);
  for (const Located& at : located) {
    ResourceEntry entry;
    entry.type = at.type;
    entry.id = at.id;
    entry.attributes = at.attributes;
    if (at.nameAt != kNoName) {
      entry.hasName = true;
      entry.name.assign(reinterpret_cast<const char*>(map + at.nameAt + 1), map[at.nameAt]);
    }
    entry.data.assign(data + at.dataAt + 4, data + at.dataAt + 4 + at.size);
    result.resources.push_back(std::move(entry));
  }
  out = std::move(result);
  return true;
}

bool SerializeResourceFork(const ResourceForkContents& contents, std::vector<UInt8>& out) {
  // What the format cannot hold is refused rather than written as a file
  // that reads back differently: offsets beyond their 16 or 24 bits, names
  // beyond 255 bytes, a type and ID twice, a file the reader would refuse.
  std::set<std::pair<ResType, ResID>> seen;
  for (const ResourceEntry& e : contents.resources)
    if (e.name.size() > 255 || (!e.hasName && !e.name.empty()) || !seen.insert({e.type, e.id}).second) return false;
  // Group resources by type, keeping the order of first appearance.
  std::vector<ResType> types;
  for (const ResourceEntry& e : contents.resources) {
    bool known = false;
    for (ResType t : types) known = known || t == e.type;
    if (!known) types.push_back(e.type);
  }

  std::vector<UInt8> dataArea;
  std::vector<UInt32> dataOffsets(contents.resources.size());
  for (size_t k = 0; k < contents.resources.size(); ++k) {
    const std::vector<UInt8>& d = contents.resources[k].data;
    if (dataArea.size() > kLargestDataOffset || d.size() > kLargestResourceFork) return false;
    dataOffsets[k] = UInt32(dataArea.size());
    dataArea.resize(dataArea.size() + 4);
    Put32(dataArea, dataOffsets[k], UInt32(d.size()));
    dataArea.insert(dataArea.end(), d.begin(), d.end());
  }

  const size_t typeListOffset = kMapHeaderSize;
  size_t refListsSize = 0;
  for (size_t k = 0; k < contents.resources.size(); ++k) refListsSize += kRefEntrySize;
  const size_t nameListOffset = typeListOffset + 2 + types.size() * kTypeEntrySize + refListsSize;
  if (nameListOffset > kLargestMapOffset) return false;  // also bounds the counts of types and references
  std::vector<UInt8> map(nameListOffset, 0);
  std::vector<UInt8> names;
  Put16(map, 22, contents.fileAttributes);
  Put16(map, 24, UInt16(typeListOffset));
  Put16(map, 26, UInt16(nameListOffset));
  Put16(map, typeListOffset, UInt16(types.size() - 1));  // 0xFFFF for no types

  size_t refAt = 2 + types.size() * kTypeEntrySize;  // relative to the type list
  for (size_t t = 0; t < types.size(); ++t) {
    const size_t typeEntry = typeListOffset + 2 + t * kTypeEntrySize;
    size_t count = 0;
    const size_t firstRef = refAt;
    for (size_t k = 0; k < contents.resources.size(); ++k) {
      const ResourceEntry& e = contents.resources[k];
      if (e.type != types[t]) continue;
      const size_t ref = typeListOffset + refAt;
      Put16(map, ref, UInt16(e.id));
      if (e.hasName) {
        if (names.size() >= kLargestMapOffset) return false;  // 0xFFFF means no name
        Put16(map, ref + 2, UInt16(names.size()));
        names.push_back(UInt8(e.name.size()));
        names.insert(names.end(), e.name.begin(), e.name.end());
      } else {
        Put16(map, ref + 2, 0xFFFF);
      }
      map[ref + 4] = e.attributes;
      Put24(map, ref + 5, dataOffsets[k]);
      refAt += kRefEntrySize;
      ++count;
    }
    Put32(map, typeEntry, types[t]);
    Put16(map, typeEntry + 4, UInt16(count - 1));
    Put16(map, typeEntry + 6, UInt16(firstRef));
  }
  map.insert(map.end(), names.begin(), names.end());

  const size_t mapOffset = kDataStart + dataArea.size();
  std::vector<UInt8> file(kDataStart, 0);
  Put32(file, 0, UInt32(kDataStart));
  Put32(file, 4, UInt32(mapOffset));
  Put32(file, 8, UInt32(dataArea.size()));
  Put32(file, 12, UInt32(map.size()));
  for (size_t k = 0; k < 16; ++k) map[k] = file[k];  // the map repeats the header
  file.insert(file.end(), dataArea.begin(), dataArea.end());
  file.insert(file.end(), map.begin(), map.end());
  if (file.size() > kLargestResourceFork) return false;
  out = std::move(file);
  return true;
}
