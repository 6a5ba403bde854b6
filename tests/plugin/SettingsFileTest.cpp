// The settings file "kwz41-Prefs": its record byte for byte, what survives a
// start, and what damaged, foreign or unwritable files get.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <random>

#include "TestSupport.h"
#include "effect/DataHandling.h"
#include "effect/pascalFX.h"
#include "memory/MacMemory.h"
#include "resources/ResourceFork.h"
#include "resources/Resources.h"
#include "storage/ConfigDescription.h"
#include "storage/prefsloader.h"
#include "text/PascalString.h"

namespace {

// A little-endian record laid out from the file format's table.
struct RecordBytes {
  std::vector<UInt8> b = std::vector<UInt8>(396, 0);
  template <typename T>
  void put(size_t at, T v) {
    std::memcpy(b.data() + at, &v, sizeof v);
  }
  template <typename T>
  T get(size_t at) const {
    T v;
    std::memcpy(&v, b.data() + at, sizeof v);
    return v;
  }
  void rel(size_t at, double l, double r, double t, double bo) {
    put(at, l), put(at + 8, r), put(at + 16, t), put(at + 24, bo);
  }
  void color(size_t at, UInt16 r, UInt16 g, UInt16 bl) { put(at, r), put(at + 2, g), put(at + 4, bl); }
};

RecordBytes DefaultRecord() {
  RecordBytes r;
  r.put<UInt32>(0, 396);
  r.put<UInt32>(4, 3);
  r.rel(8, 0, 1, 0, 1);
  r.rel(40, 0, 1, 0, 1);
  r.color(72, 65535, 65535, 65535);
  r.color(78, 65535, 65535, 65535);
  const SInt16 sliders[6] = {0, 50, 0, 0, 0, 0};
  for (int k = 0; k < 6; ++k) r.put<SInt16>(108 + 2 * k, sliders[k]);
  r.color(120, 0, 65535, 0);
  r.color(126, 65535, 0, 0);
  r.put<SInt16>(132, 1);
  r.put<UInt8>(134, 0);
  r.put<SInt16>(136, 1);
  const char misc[] = "Config save for Tarvik iMovie plug-in";
  r.b[138] = UInt8(std::strlen(misc));
  std::memcpy(r.b.data() + 139, misc, std::strlen(misc));
  return r;
}

void WriteSettings(const ScopedPreferences& prefs, const std::vector<UInt8>& record,
                   const std::string& name = "Config Settings") {
  ResourceForkContents c;
  c.resources.push_back({FOUR_CHAR_CODE("Pref"), 1, true, name, 0, record});
  c.resources.push_back({FOUR_CHAR_CODE("othr"), 7, false, "", 0, {1, 2, 3}});
  WriteFileBytes(prefs.settingsFile(), ResourceFileBytes(c));
}

// The resources of the settings file; fails the test when it is not valid.
ResourceForkContents SettingsContents(const ScopedPreferences& prefs) {
  std::vector<UInt8> bytes = ReadFileBytes(prefs.settingsFile());
  ResourceForkContents c;
  EXPECT_TRUE(ParseResourceFork(bytes.data(), bytes.size(), c)) << "not a valid resource file";
  return c;
}

std::vector<const ResourceEntry*> PrefRecords(const ResourceForkContents& c) {
  std::vector<const ResourceEntry*> found;
  for (const ResourceEntry& e : c.resources)
    if (e.type == FOUR_CHAR_CODE("Pref") && e.id == 1) found.push_back(&e);
  return found;
}

struct Record {
  PluginDataPtr p = reinterpret_cast<PluginDataPtr>(NewPtrClear(sizeof(PluginDataRec)));
  Record() { ResetConfig(p, true); }
  ~Record() { DisposePtr(reinterpret_cast<Ptr>(p)); }
};

class SettingsFile : public ::testing::Test {
 protected:
  ScopedPreferences prefs;
};

TEST_F(SettingsFile, WithoutAFileNothingIsReadOrWrittenOrCreated) {
  Record r;
  r.p->Sliders[1] = 42;
  EXPECT_FALSE(ReadConfig(r.p));
  EXPECT_FALSE(SaveConfig(r.p));
  EXPECT_FALSE(PathExists(prefs.settingsFile()));
  EXPECT_EQ(r.p->Sliders[1], 42);
  EXPECT_FALSE(ReadConfig(nullptr));
  EXPECT_FALSE(SaveConfig(nullptr));
}

TEST_F(SettingsFile, AFirstStartWritesTheDefaultRecordAtItsOffsets) {
  Record r;
  InitPluginData(r.p);
  ResourceForkContents c = SettingsContents(prefs);
  auto records = PrefRecords(c);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0]->name, "Config Settings");
  EXPECT_EQ(records[0]->data, DefaultRecord().b);

  FSSpec spec;
  FSMakeFSSpec(kOnSystemDisk, DirIDForPath(prefs.folder()), PStr("kwz41-Prefs"), &spec);
  FInfo info;
  ASSERT_EQ(FSpGetFInfo(&spec, &info), noErr);
  if (info.fdType != 0) {
    EXPECT_EQ(info.fdType, FOUR_CHAR_CODE("Pref"));
    EXPECT_EQ(info.fdCreator, FOUR_CHAR_CODE("trv "));
  }
}

TEST_F(SettingsFile, ARememberedRecordSurvivesAStartUnchanged) {
  RecordBytes saved = DefaultRecord();
  saved.rel(8, 0.125, 0.5, -0.25, 0.75);
  saved.rel(40, 0.5, 1.5, 0.25, 1);
  saved.color(72, 1, 2, 3);
  saved.put<SInt16>(108, 12);
  saved.put<SInt16>(110, 80);
  saved.put<SInt16>(112, -25);
  saved.color(120, 10, 20, 30);
  saved.put<SInt16>(132, 3);
  saved.put<UInt8>(134, 1);
  saved.put<SInt16>(136, 14);
  WriteSettings(prefs, saved.b);

  Record r;
  InitPluginData(r.p);
  EXPECT_EQ(r.p->StartRel.Left, 0.125);
  EXPECT_EQ(r.p->StartRel.Top, -0.25);
  EXPECT_EQ(r.p->EndRel.Right, 1.5);
  EXPECT_EQ(r.p->Colors[1].red, 1);
  EXPECT_EQ(r.p->Colors[1].blue, 3);
  EXPECT_EQ(r.p->Sliders[1], 12);
  EXPECT_EQ(r.p->Sliders[2], 80);
  EXPECT_EQ(r.p->Sliders[3], -25);
  EXPECT_EQ(r.p->FrameStartColor.green, 20);
  EXPECT_EQ(r.p->MediaType, 3);
  EXPECT_TRUE(r.p->KeepProps);
  EXPECT_EQ(r.p->BlendMode, 14);
  EXPECT_TRUE(r.p->Outside);  // not part of the record

  ResourceForkContents c = SettingsContents(prefs);
  ASSERT_EQ(PrefRecords(c).size(), 1u);
  EXPECT_EQ(PrefRecords(c)[0]->data, saved.b);
  // Other resources of the file are left alone; the motion's is added.
  ASSERT_EQ(c.resources.size(), 3u);
}

// JSON has no NaN or infinity; the description writes null for them.
TEST(ConfigurationDescription, WritesNoNaNOrInfinity) {
  Record r;
  r.p->StartRel.Left = std::nan("");
  r.p->EndRel.Bottom = -INFINITY;
  const std::string json = DescribeConfiguration(*r.p);
  EXPECT_NE(json.find("\"StartRel\": {\"Left\": null, \"Right\": 1"), std::string::npos) << json;
  EXPECT_NE(json.find("\"Bottom\": null}"), std::string::npos) << json;
  for (const char* bad : {": nan", ": -nan", ": inf", ": -inf"}) EXPECT_EQ(json.find(bad), std::string::npos) << json;
}

// A sound file can still hold values the effect cannot draw: each such
// field is read as its default, the others as they are, and the file is kept.
TEST_F(SettingsFile, FieldsOutOfTheirRangeAreReadAsTheirDefaults) {
  const double nan = std::nan(""), inf = INFINITY;
  struct Case {
    const char* what;
    std::function<void(RecordBytes&)> put;
    std::function<bool(const PluginDataRec&, const PluginDataRec&)> defaulted;  // read, defaults
  };
  const Case cases[] = {
      {"blend mode 99", [](RecordBytes& b) { b.put<SInt16>(136, 99); },
       [](const PluginDataRec& r, const PluginDataRec& d) { return r.BlendMode == d.BlendMode; }},
      {"blend mode 0", [](RecordBytes& b) { b.put<SInt16>(136, 0); },
       [](const PluginDataRec& r, const PluginDataRec& d) { return r.BlendMode == d.BlendMode; }},
      {"media type 7", [](RecordBytes& b) { b.put<SInt16>(132, 7); },
       [](const PluginDataRec& r, const PluginDataRec& d) { return r.MediaType == d.MediaType; }},
      {"a start rectangle that is not a number", [&](RecordBytes& b) { b.rel(8, 0.1, nan, 0.1, 0.5); },
       [](const PluginDataRec& r, const PluginDataRec& d) { return std::memcmp(&r.StartRel, &d.StartRel, sizeof d.StartRel) == 0; }},
      {"an infinite end rectangle", [&](RecordBytes& b) { b.rel(40, 0.1, 0.5, -inf, 0.5); },
       [](const PluginDataRec& r, const PluginDataRec& d) { return std::memcmp(&r.EndRel, &d.EndRel, sizeof d.EndRel) == 0; }},
      {"a border of 101", [](RecordBytes& b) { b.put<SInt16>(108, 101); },
       [](const PluginDataRec& r, const PluginDataRec& d) { return r.Sliders[1] == d.Sliders[1]; }},
      {"an opacity of -1", [](RecordBytes& b) { b.put<SInt16>(110, -1); },
       [](const PluginDataRec& r, const PluginDataRec& d) { return r.Sliders[2] == d.Sliders[2]; }},
      {"a turn of -101", [](RecordBytes& b) { b.put<SInt16>(112, -101); },
       [](const PluginDataRec& r, const PluginDataRec& d) { return r.Sliders[3] == d.Sliders[3]; }},
  };
  for (const Case& c : cases) {
    RecordBytes saved = DefaultRecord();
    saved.put<SInt16>(110, 80);  // a sound field beside it, kept
    c.put(saved);
    WriteSettings(prefs, saved.b);
    Record r, d;
    r.p->Sliders[2] = 7;
    ASSERT_TRUE(ReadConfig(r.p)) << c.what;
    EXPECT_TRUE(c.defaulted(*r.p, *d.p)) << c.what;
    if (std::string(c.what) != "an opacity of -1") {
      EXPECT_EQ(r.p->Sliders[2], 80) << c.what;
    }
  }
}

// The motion lives in 'Motn' 1 beside the record: 'Pref' 1 is the same
// byte for byte whatever the motion, so that builds before it read the file
// as they did; a file without it, or with fields out of range, reads as
// the defaults, field by field.
TEST_F(SettingsFile, TheMotionIsASecondResourceAndTheRecordIsUnchanged) {
  Record r;
  InitPluginData(r.p);
  r.p->Smooth = true, r.p->Easing = 4, r.p->Spin = -2.25, r.p->MotionBlur = 0.5;
  ASSERT_TRUE(SaveConfig(r.p));
  ResourceForkContents c = SettingsContents(prefs);
  ASSERT_EQ(PrefRecords(c).size(), 1u);
  EXPECT_EQ(PrefRecords(c)[0]->data, DefaultRecord().b);
  const ResourceEntry* motion = nullptr;
  for (const ResourceEntry& e : c.resources)
    if (e.type == FOUR_CHAR_CODE("Motn") && e.id == 1) motion = &e;
  ASSERT_NE(motion, nullptr);
  EXPECT_EQ(motion->name, "Motion Settings");
  RecordBytes m;
  m.b = motion->data;
  ASSERT_EQ(m.b.size(), 28u);
  EXPECT_EQ(m.get<UInt32>(0), 28u);
  EXPECT_EQ(m.get<UInt32>(4), 1u);
  EXPECT_EQ(m.get<UInt8>(8), 1);
  EXPECT_EQ(m.get<SInt16>(10), 4);
  EXPECT_EQ(m.get<double>(12), -2.25);
  EXPECT_EQ(m.get<double>(20), 0.5);
  Record back;
  back.p->Spin = 3;  // what a read without the resource must not keep
  ASSERT_TRUE(ReadConfig(back.p));
  EXPECT_TRUE(back.p->Smooth);
  EXPECT_EQ(back.p->Easing, 4);
  EXPECT_EQ(back.p->Spin, -2.25);
  EXPECT_EQ(back.p->MotionBlur, 0.5);

  // An older file, without the resource: the motion's defaults.
  WriteSettings(prefs, DefaultRecord().b);
  ASSERT_TRUE(ReadConfig(back.p));
  EXPECT_FALSE(back.p->Smooth);
  EXPECT_EQ(back.p->Easing, 1);
  EXPECT_EQ(back.p->Spin, 0);
  EXPECT_EQ(back.p->MotionBlur, 0);

  // Fields the effect cannot hold read as their defaults; the others are kept.
  struct Case {
    const char* what;
    std::function<void(RecordBytes&)> spoil;
    std::function<bool(const PluginDataRec&)> defaulted;
  } cases[] = {
      {"smooth 2", [](RecordBytes& b) { b.put<UInt8>(8, 2); }, [](const PluginDataRec& p) { return !p.Smooth; }},
      {"easing 0", [](RecordBytes& b) { b.put<SInt16>(10, 0); }, [](const PluginDataRec& p) { return p.Easing == 1; }},
      {"easing 5", [](RecordBytes& b) { b.put<SInt16>(10, 5); }, [](const PluginDataRec& p) { return p.Easing == 1; }},
      {"spin 9", [](RecordBytes& b) { b.put<double>(12, 9); }, [](const PluginDataRec& p) { return p.Spin == 0; }},
      {"spin NaN", [](RecordBytes& b) { b.put<double>(12, std::nan("")); }, [](const PluginDataRec& p) { return p.Spin == 0; }},
      {"blur -0.1", [](RecordBytes& b) { b.put<double>(20, -0.1); }, [](const PluginDataRec& p) { return p.MotionBlur == 0; }},
      {"blur infinite", [](RecordBytes& b) { b.put<double>(20, INFINITY); }, [](const PluginDataRec& p) { return p.MotionBlur == 0; }},
  };
  for (const Case& k : cases) {
    RecordBytes sound;
    sound.b = motion->data;
    sound.put<SInt16>(10, 3), sound.put<double>(12, 1.5), sound.put<double>(20, 0.25), sound.put<UInt8>(8, 1);
    k.spoil(sound);
    ResourceForkContents file;
    file.resources.push_back({FOUR_CHAR_CODE("Pref"), 1, true, "Config Settings", 0, DefaultRecord().b});
    file.resources.push_back({FOUR_CHAR_CODE("Motn"), 1, true, "Motion Settings", 0, sound.b});
    WriteFileBytes(prefs.settingsFile(), ResourceFileBytes(file));
    Record read;
    ASSERT_TRUE(ReadConfig(read.p)) << k.what;
    EXPECT_TRUE(k.defaulted(*read.p)) << k.what;
    const int kept = (read.p->Smooth ? 1 : 0) + (read.p->Easing == 3) + (read.p->Spin == 1.5) + (read.p->MotionBlur == 0.25);
    EXPECT_EQ(kept, 3) << k.what;
  }
}

TEST_F(SettingsFile, RecordsOfAnotherBuildOrVersionAreReplacedByDefaults) {
  RecordBytes bigEndian = DefaultRecord();
  bigEndian.b.resize(394);
  bigEndian.put<UInt32>(0, 0x8A010000);  // 394 as a big-endian build writes it, read here
  RecordBytes version2 = DefaultRecord();
  version2.put<UInt32>(4, 2);
  RecordBytes claims396ButShort = DefaultRecord();
  claims396ButShort.b.resize(200);
  RecordBytes longer = DefaultRecord();
  longer.b.resize(400);
  for (const RecordBytes* rejected : {&bigEndian, &version2, &claims396ButShort, &longer}) {
    RecordBytes withValues = *rejected;
    withValues.put<SInt16>(110, 99);
    WriteSettings(prefs, withValues.b);
    Record r;
    EXPECT_FALSE(ReadConfig(r.p));
    EXPECT_EQ(r.p->Sliders[2], 50);
    InitPluginData(r.p);
    EXPECT_EQ(r.p->Sliders[2], 50);
    ResourceForkContents contents = SettingsContents(prefs);
    auto records = PrefRecords(contents);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0]->data, DefaultRecord().b);
  }
}

TEST_F(SettingsFile, SavingTwiceKeepsOneRecordAndNoPicture) {
  Record r;
  InitPluginData(r.p);
  const UInt8 pixel[4] = {255, 1, 2, 3};
  r.p->TheOriginalImage = CGImageCreateFromARGB(1, 1, pixel, 4);
  r.p->Sliders[1] = 33;
  EXPECT_TRUE(SaveConfig(r.p));
  r.p->Sliders[1] = 34;
  EXPECT_TRUE(SaveConfig(r.p));
  ASSERT_EQ(PrefRecords(SettingsContents(prefs)).size(), 1u);

  Record fresh;
  EXPECT_TRUE(ReadConfig(fresh.p));
  EXPECT_EQ(fresh.p->Sliders[1], 34);
  EXPECT_EQ(fresh.p->TheOriginalImage, nullptr);
  EXPECT_EQ(fresh.p->TheRendered, nullptr);
  CGImageRelease(r.p->TheOriginalImage);
}

TEST_F(SettingsFile, ADamagedFileIsKeptAsideAndAFreshOneStarted) {
  std::vector<UInt8> junk = {'j', 'u', 'n', 'k', 0, 0, 0, 9, 0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3, 4, 5, 6};
  WriteFileBytes(prefs.settingsFile(), junk);
  Record r;
  InitPluginData(r.p);
  EXPECT_EQ(ReadFileBytes(prefs.settingsFile() + ".damaged"), junk);
  ASSERT_EQ(PrefRecords(SettingsContents(prefs)).size(), 1u);

  // A second damaged file does not overwrite the first one kept.
  WriteFileBytes(prefs.settingsFile(), {});
  InitPluginData(r.p);
  EXPECT_EQ(ReadFileBytes(prefs.settingsFile() + ".damaged"), junk);
  EXPECT_TRUE(PathExists(prefs.settingsFile() + ".damaged-2"));
  EXPECT_EQ(PrefRecords(SettingsContents(prefs)).size(), 1u);
}

TEST_F(SettingsFile, HostileFilesAreRefusedAndTheDefaultsKept) {
  std::vector<UInt8> valid = ResourceFileBytes([] {
    ResourceForkContents c;
    c.resources.push_back({FOUR_CHAR_CODE("Pref"), 1, true, "Config Settings", 0, DefaultRecord().b});
    return c;
  }());
  std::mt19937 rng(7);
  for (int trial = 0; trial < 300; ++trial) {
    std::vector<UInt8> damaged = valid;
    // Flip bytes in the header and the map, where offsets and counts live.
    for (int k = 0; k < 3; ++k) {
      size_t at = rng() % 2 ? rng() % 16 : valid.size() - 1 - rng() % 80;
      damaged[at] = UInt8(rng());
    }
    if (rng() % 4 == 0) damaged.resize(rng() % damaged.size());
    WriteFileBytes(prefs.settingsFile(), damaged);
    Record r;
    r.p->Sliders[2] = 77;
    bool read = ReadConfig(r.p);
    if (!read) {
      EXPECT_EQ(r.p->Sliders[2], 77) << "trial " << trial;
    }
  }
}

TEST_F(SettingsFile, AFolderInThePlaceOfTheFileIsLeftAlone) {
  ASSERT_EQ(::mkdir(prefs.settingsFile().c_str(), 0700), 0);
  Record r;
  InitPluginData(r.p);
  EXPECT_FALSE(SaveConfig(r.p));
  EXPECT_FALSE(ReadConfig(r.p));
  struct stat st;
  ASSERT_EQ(::stat(prefs.settingsFile().c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(r.p->Sliders[2], 50);
}

TEST_F(SettingsFile, AFullDiskKeepsTheOldRecord) {
  Record r;
  InitPluginData(r.p);
  std::vector<UInt8> before = ReadFileBytes(prefs.settingsFile());
  r.p->Sliders[1] = 60;
  struct rlimit saved;
  ::getrlimit(RLIMIT_FSIZE, &saved);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = {100, saved.rlim_max};
  ::setrlimit(RLIMIT_FSIZE, &small);
  bool written = SaveConfig(r.p);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(written);
  EXPECT_EQ(ReadFileBytes(prefs.settingsFile()), before);
  EXPECT_EQ(FolderEntries(prefs.folder()).size(), 1u);
}

TEST_F(SettingsFile, OutOfMemoryWhileSavingKeepsTheOldRecord) {
  Record r;
  r.p->Sliders[1] = 20;
  InitPluginData(r.p);
  r.p->Sliders[1] = 21;
  EXPECT_TRUE(SaveConfig(r.p));
  std::vector<UInt8> before = ReadFileBytes(prefs.settingsFile());
  r.p->Sliders[1] = 22;
  for (int failAt = 0; failAt < 12; ++failAt) {
    SetAllocationFailureCountdown(failAt);
    SaveConfig(r.p);
    SetAllocationFailureCountdown(-1);
    Record check;
    ASSERT_TRUE(ReadConfig(check.p)) << "the record was lost when allocation " << failAt << " failed";
    EXPECT_TRUE(check.p->Sliders[1] == 21 || check.p->Sliders[1] == 22);
    WriteFileBytes(prefs.settingsFile(), before);
  }
}

TEST_F(SettingsFile, AReadOnlyPreferencesFolderKeepsTheOldFile) {
  Record r;
  InitPluginData(r.p);
  std::vector<UInt8> before = ReadFileBytes(prefs.settingsFile());
  std::string folder = prefs.folder();
  EXPECT_EXIT(
      {
        BecomeUnprivilegedOwnerOf(folder);
        ::chmod(folder.c_str(), 0500);
        Record changed;
        changed.p->Sliders[1] = 61;
        bool written = SaveConfig(changed.p);
        InitPluginData(changed.p);  // a start in a read-only folder must not fail either
        bool kept = ReadFileBytes(folder + "/kwz41-Prefs") == before;
        ::chmod(folder.c_str(), 0700);
        std::_Exit(!written && kept ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(SettingsFolder, IsCreatedPrivateWhenMissing) {
  TempDir base;
  std::string folder = base / "nested/config";
  const char* old = std::getenv("XDG_CONFIG_HOME");
  std::string previous = old ? old : "";
  ::setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
  Record r;
  InitPluginData(r.p);
  struct stat st;
  EXPECT_EQ(::stat(folder.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_TRUE(PathExists(folder + "/kwz41-Prefs"));
  if (old)
    ::setenv("XDG_CONFIG_HOME", previous.c_str(), 1);
  else
    ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
