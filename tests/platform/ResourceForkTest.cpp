// The resource file reader and writer, checked against files laid out by hand
// from the classic format, and against damaged and hostile files.
#include <gtest/gtest.h>

#include <random>

#include "HostileResourceFiles.h"
#include "TestSupport.h"
#include "resources/ResourceFork.h"

namespace {

struct Bytes {
  std::vector<UInt8> v;
  void u8(UInt8 x) { v.push_back(x); }
  void u16(UInt16 x) { u8(UInt8(x >> 8)), u8(UInt8(x)); }
  void u24(UInt32 x) { u8(UInt8(x >> 16)), u16(UInt16(x)); }
  void u32(UInt32 x) { u16(UInt16(x >> 16)), u16(UInt16(x)); }
  void text(const std::string& s) { v.insert(v.end(), s.begin(), s.end()); }
  void set32(size_t at, UInt32 x) {
    for (int k = 0; k < 4; ++k) v[at + k] = UInt8(x >> (24 - 8 * k));
  }
};

// A file with 'Pref' 1 "Config Settings" = "ABC" and 'STR#' 128 (unnamed) = {1, 2},
// data right after the header, map right after the data.
struct HandMadeFile {
  static constexpr size_t kDataOffset = 16;
  static constexpr size_t kMapOffset = 16 + 7 + 6;  // two data entries: 4+3 and 4+2
  static constexpr size_t kTypeList = 28;
  static constexpr size_t kNameList = kTypeList + 2 + 2 * 8 + 2 * 12;
  std::vector<UInt8> bytes;

  HandMadeFile() {
    Bytes data;
    data.u32(3), data.text("ABC");
    data.u32(2), data.u8(1), data.u8(2);
    Bytes map;
    for (int k = 0; k < 16; ++k) map.u8(0);
    map.u32(0), map.u16(0), map.u16(0);  // next map, file ref, attributes
    map.u16(kTypeList), map.u16(kNameList);
    map.u16(1);                                               // two types
    map.u32(0x50726566), map.u16(0), map.u16(2 + 16);         // 'Pref', one, refs
    map.u32(0x53545223), map.u16(0), map.u16(2 + 16 + 12);    // 'STR#', one, refs
    map.u16(1), map.u16(0), map.u8(0), map.u24(0), map.u32(0);       // Pref 1, name 0, data 0
    map.u16(128), map.u16(0xFFFF), map.u8(0x20), map.u24(7), map.u32(0);  // STR# 128
    map.u8(15), map.text("Config Settings");
    Bytes file;
    file.u32(kDataOffset), file.u32(UInt32(kMapOffset)), file.u32(UInt32(data.v.size()));
    file.u32(UInt32(map.v.size()));
    file.v.insert(file.v.end(), data.v.begin(), data.v.end());
    file.v.insert(file.v.end(), map.v.begin(), map.v.end());
    bytes = file.v;
  }
  void put32(size_t at, UInt32 x) {
    Bytes b{bytes};
    b.set32(at, x);
    bytes = b.v;
  }
  void put16(size_t at, UInt16 x) {
    bytes[at] = UInt8(x >> 8);
    bytes[at + 1] = UInt8(x);
  }
  bool parses() const {
    ResourceForkContents c;
    return ParseResourceFork(bytes.data(), bytes.size(), c);
  }
};

TEST(ResourceFork, ReadsAFileLaidOutByHand) {
  HandMadeFile f;
  ResourceForkContents c;
  ASSERT_TRUE(ParseResourceFork(f.bytes.data(), f.bytes.size(), c));
  ASSERT_EQ(c.resources.size(), 2u);
  EXPECT_EQ(c.resources[0].type, FOUR_CHAR_CODE("Pref"));
  EXPECT_EQ(c.resources[0].id, 1);
  EXPECT_TRUE(c.resources[0].hasName);
  EXPECT_EQ(c.resources[0].name, "Config Settings");
  EXPECT_EQ(c.resources[0].data, (std::vector<UInt8>{'A', 'B', 'C'}));
  EXPECT_EQ(c.resources[1].type, FOUR_CHAR_CODE("STR#"));
  EXPECT_EQ(c.resources[1].id, 128);
  EXPECT_FALSE(c.resources[1].hasName);
  EXPECT_EQ(c.resources[1].attributes, 0x20);
  EXPECT_EQ(c.resources[1].data, (std::vector<UInt8>{1, 2}));
}

TEST(ResourceFork, WritesTheClassicLayoutAndReadsItBack) {
  ResourceForkContents c;
  c.resources.push_back({FOUR_CHAR_CODE("Pref"), 1, true, "Config Settings", 0, {9, 8, 7}});
  c.resources.push_back({FOUR_CHAR_CODE("STR#"), -5, false, "", 0, {}});
  c.resources.push_back({FOUR_CHAR_CODE("Pref"), 2, true, "", 0, std::vector<UInt8>(1000, 0x5A)});
  std::vector<UInt8> bytes = ResourceFileBytes(c);

  // Header: data at 256, map right after the data, the map repeating the header.
  auto at32 = [&](size_t k) {
    return UInt32(bytes[k]) << 24 | UInt32(bytes[k + 1]) << 16 | UInt32(bytes[k + 2]) << 8 | bytes[k + 3];
  };
  EXPECT_EQ(at32(0), 256u);
  EXPECT_EQ(at32(4), 256u + at32(8));
  EXPECT_EQ(at32(4) + at32(12), bytes.size());
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + 16, bytes.begin() + at32(4)));
  // The first resource's data: its length, then its bytes.
  EXPECT_EQ(at32(256), 3u);
  EXPECT_EQ(bytes[260], 9);

  ResourceForkContents back;
  ASSERT_TRUE(ParseResourceFork(bytes.data(), bytes.size(), back));
  ASSERT_EQ(back.resources.size(), 3u);
  // Grouped by type: both 'Pref' first, then 'STR#'.
  EXPECT_EQ(back.resources[0].name, "Config Settings");
  EXPECT_EQ(back.resources[1].id, 2);
  EXPECT_TRUE(back.resources[1].hasName);
  EXPECT_EQ(back.resources[1].data.size(), 1000u);
  EXPECT_EQ(back.resources[2].id, -5);
  EXPECT_FALSE(back.resources[2].hasName);
}

TEST(ResourceFork, AnEmptyFileHasNoTypes) {
  std::vector<UInt8> bytes = ResourceFileBytes(ResourceForkContents{});
  ResourceForkContents back;
  ASSERT_TRUE(ParseResourceFork(bytes.data(), bytes.size(), back));
  EXPECT_TRUE(back.resources.empty());
}

TEST(ResourceFork, RefusesEveryTruncation) {
  HandMadeFile f;
  ASSERT_TRUE(f.parses());
  for (size_t n = 0; n < f.bytes.size(); ++n) {
    std::vector<UInt8> cut(f.bytes.begin(), f.bytes.begin() + long(n));
    ResourceForkContents c;
    EXPECT_FALSE(ParseResourceFork(cut.data(), cut.size(), c)) << "prefix of " << n << " bytes";
  }
}

TEST(ResourceFork, RefusesHostileOffsetsAndCounts) {
  struct Case {
    const char* what;
    void (*damage)(HandMadeFile&);
  };
  const Case cases[] = {
      {"data offset past the end", [](HandMadeFile& f) { f.put32(0, 0x7FFFFFF0); }},
      {"map offset past the end", [](HandMadeFile& f) { f.put32(4, 0xFFFFFFFF); }},
      {"data length wraps around", [](HandMadeFile& f) { f.put32(8, 0xFFFFFFFF); }},
      {"map overlapping the header", [](HandMadeFile& f) { f.put32(4, 0); }},
      {"data overlapping the map", [](HandMadeFile& f) { f.put32(8, 20); }},
      {"map too short for its header", [](HandMadeFile& f) { f.put32(12, 10); }},
      {"type list outside the map", [](HandMadeFile& f) { f.put16(HandMadeFile::kMapOffset + 24, 0xFFF0); }},
      {"name list outside the map", [](HandMadeFile& f) { f.put16(HandMadeFile::kMapOffset + 26, 0xFFF0); }},
      {"huge type count", [](HandMadeFile& f) { f.put16(HandMadeFile::kMapOffset + 28, 0xFFFE); }},
      {"huge reference count",
       [](HandMadeFile& f) { f.put16(HandMadeFile::kMapOffset + 28 + 2 + 4, 0xFFFF); }},
      {"reference list outside the map",
       [](HandMadeFile& f) { f.put16(HandMadeFile::kMapOffset + 28 + 2 + 6, 0xFFF0); }},
      {"data entry outside the data",
       [](HandMadeFile& f) { f.bytes[HandMadeFile::kMapOffset + 28 + 2 + 16 + 7] = 200; }},
      {"resource size past the data", [](HandMadeFile& f) { f.put32(16, 1000); }},
      {"name running past the end",
       [](HandMadeFile& f) { f.bytes[HandMadeFile::kMapOffset + HandMadeFile::kNameList] = 200; }},
      {"name offset outside the map",
       [](HandMadeFile& f) { f.put16(HandMadeFile::kMapOffset + 28 + 2 + 16 + 2, 0x4000); }},
      // Entries laid over the same bytes would be handed out once per entry.
      {"two types sharing one reference list",
       [](HandMadeFile& f) { f.put16(HandMadeFile::kMapOffset + 28 + 2 + 8 + 6, 2 + 16); }},
      {"a reference list over the type list",
       [](HandMadeFile& f) { f.put16(HandMadeFile::kMapOffset + 28 + 2 + 8 + 6, 2); }},
      {"two resources sharing one data entry",
       [](HandMadeFile& f) { f.bytes[HandMadeFile::kMapOffset + 28 + 2 + 16 + 12 + 7] = 0; }},
      {"data entries overlapping", [](HandMadeFile& f) { f.put32(16, 7); }},
      {"two resources sharing one name",
       [](HandMadeFile& f) { f.put16(HandMadeFile::kMapOffset + 28 + 2 + 16 + 12 + 2, 0); }},
      {"two resources with one type and ID",
       [](HandMadeFile& f) {
         f.put32(HandMadeFile::kMapOffset + 28 + 2 + 8, FOUR_CHAR_CODE("Pref"));
         f.put16(HandMadeFile::kMapOffset + 28 + 2 + 16 + 12, 1);
       }},
  };
  for (const Case& c : cases) {
    HandMadeFile f;
    c.damage(f);
    EXPECT_FALSE(f.parses()) << c.what;
  }
}

TEST(ResourceFork, AFileWhoseEntriesShareOneDataEntryIsRefused) {
  // 908 KB that a copying reader would turn into 900 MB.
  for (SharedBytes sharing : {SharedBytes::ReferenceList, SharedBytes::DataEntry}) {
    const std::vector<UInt8> bytes = AmplifyingResourceFile(1000, 900 * 1000, sharing);
    ResourceForkContents c;
    EXPECT_FALSE(ParseResourceFork(bytes.data(), bytes.size(), c)) << int(sharing);
  }
  // The same layout with one type is an ordinary file.
  const std::vector<UInt8> one = AmplifyingResourceFile(1, 1000, SharedBytes::DataEntry);
  ResourceForkContents c;
  ASSERT_TRUE(ParseResourceFork(one.data(), one.size(), c));
  EXPECT_EQ(c.resources.at(0).data.size(), 1000u);
}

TEST(ResourceFork, TheWriterRefusesWhatTheFormatCannotHold) {
  // The second resource's data would start past 16 MiB, beyond its 24-bit offset.
  ResourceForkContents far;
  far.resources.push_back({FOUR_CHAR_CODE("big "), 1, false, "", 0, std::vector<UInt8>((size_t(1) << 24) + 8)});
  far.resources.push_back({FOUR_CHAR_CODE("big "), 2, false, "", 0, {1}});
  std::vector<UInt8> out = {7};
  EXPECT_FALSE(SerializeResourceFork(far, out));
  EXPECT_EQ(out, std::vector<UInt8>{7});  // untouched

  ResourceForkContents longName, twice, manyNames;
  longName.resources.push_back({FOUR_CHAR_CODE("name"), 1, true, std::string(256, 'n'), 0, {}});
  EXPECT_FALSE(SerializeResourceFork(longName, out));
  twice.resources.push_back({FOUR_CHAR_CODE("twic"), 1, false, "", 0, {1}});
  twice.resources.push_back({FOUR_CHAR_CODE("twic"), 1, false, "", 0, {2}});
  EXPECT_FALSE(SerializeResourceFork(twice, out));
  // Names past the 16-bit name offsets.
  for (int k = 0; k < 300; ++k) manyNames.resources.push_back({FOUR_CHAR_CODE("many"), SInt16(k), true, std::string(255, 'x'), 0, {}});
  EXPECT_FALSE(SerializeResourceFork(manyNames, out));
  // Just inside: a data area of 16 MiB less a little still reads back.
  ResourceForkContents near;
  near.resources.push_back({FOUR_CHAR_CODE("big "), 1, false, "", 0, std::vector<UInt8>((size_t(1) << 24) - 64)});
  near.resources.push_back({FOUR_CHAR_CODE("big "), 2, false, "", 0, {1, 2}});
  ASSERT_TRUE(SerializeResourceFork(near, out));
  ResourceForkContents back;
  ASSERT_TRUE(ParseResourceFork(out.data(), out.size(), back));
  EXPECT_EQ(back.resources.at(1).data, (std::vector<UInt8>{1, 2}));
}

TEST(ResourceFork, RandomBytesNeverCrashAndAreAlmostAlwaysRefused) {
  std::mt19937 rng(12345);
  int accepted = 0;
  for (int trial = 0; trial < 2000; ++trial) {
    std::vector<UInt8> junk(rng() % 600);
    for (UInt8& b : junk) b = UInt8(rng());
    ResourceForkContents c;
    accepted += ParseResourceFork(junk.data(), junk.size(), c);
  }
  EXPECT_LT(accepted, 5);
}

}  // namespace
