#include "resources/ResourceFork.h"

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

  ResourceForkContents result;
  result.fileAttributes = Read16(map + 22);
  std::set<std::pair<ResType, ResID>> seen;
  for (size_t t = 0; t < typeCount; ++t) {
    const UInt8* typeEntry = typeList + 2 + t * kTypeEntrySize;
    const ResType type = Read32(typeEntry);
    const size_t refCount = size_t(Read16(typeEntry + 4)) + 1;
    const size_t refListOffset = Read16(typeEntry + 6);
    if (!Fits(refListOffset, refCount * kRefEntrySize, typeListLimit)) return false;
    for (size_t r = 0; r < refCount; ++r) {
      const UInt8* ref = typeList + refListOffset + r * kRefEntrySize;
      ResourceEntry entry;
      entry.type = type;
      entry.id = ResID(Read16(ref));
      if (!seen.insert({type, entry.id}).second) return false;
      const UInt16 nameOffset = Read16(ref + 2);
      entry.attributes = ref[4];
      const size_t dataAt = Read24(ref + 5);
      if (nameOffset != 0xFFFF) {
        const size_t nameAt = nameListOffset + size_t(nameOffset);
        if (!Fits(nameAt, 1, mapLength) || !Fits(nameAt + 1, map[nameAt], mapLength)) return false;
        entry.hasName = true;
        entry.name.assign(reinterpret_cast<const char*>(map + nameAt + 1), map[nameAt]);
      }
      if (!Fits(dataAt, 4, dataLength)) return false;
      const size_t size = Read32(data + dataAt);
      if (!Fits(dataAt + 4, size, dataLength)) return false;
      entry.data.assign(data + dataAt + 4, data + dataAt + 4 + size);
      result.resources.push_back(std::move(entry));
    }
  }
  out = std::move(result);
  return true;
}

std::vector<UInt8> SerializeResourceFork(const ResourceForkContents& contents) {
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
    dataOffsets[k] = UInt32(dataArea.size());
    dataArea.resize(dataArea.size() + 4);
    Put32(dataArea, dataOffsets[k], UInt32(d.size()));
    dataArea.insert(dataArea.end(), d.begin(), d.end());
  }

  const size_t typeListOffset = kMapHeaderSize;
  size_t refListsSize = 0;
  for (size_t k = 0; k < contents.resources.size(); ++k) refListsSize += kRefEntrySize;
  const size_t nameListOffset = typeListOffset + 2 + types.size() * kTypeEntrySize + refListsSize;
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
        Put16(map, ref + 2, UInt16(names.size()));
        const size_t len = e.name.size() < 255 ? e.name.size() : 255;
        names.push_back(UInt8(len));
        names.insert(names.end(), e.name.begin(), e.name.begin() + long(len));
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
  return file;
}
