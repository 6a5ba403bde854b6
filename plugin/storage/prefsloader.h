// The settings file "kwz41-Prefs" in the Preferences folder: a resource file
// whose resource 'Pref' 1 "Config Settings" holds the last accepted
// configuration as a ConfigSaveRec. Failures are silent: the routines answer
// false and callers carry on with what they have.
#pragma once

#include <string>

#include "MacTypes.h"
#include "effect/PluginData.h"

// ConfigSaveRec, byte for byte. Multi-byte fields are in the writing
// machine's byte order; the record is read and written field by field at
// these offsets, never as a memory image of a structure.
enum ConfigSaveOffset : size_t {
  kSaveSizeInBytes = 0,
  kSaveVersion = 4,
  kSaveStartRel = 8,
  kSaveEndRel = 40,
  kSaveColors = 72,
  kSaveSliders = 108,
  kSaveFrameStartColor = 120,
  kSaveFrameEndColor = 126,
  kSaveMediaType = 132,
  kSaveKeepProps = 134,
  kSaveBlendMode = 136,
  kSaveMiscString = 138,
};
constexpr UInt32 kConfigSaveVersion = 3;
// A big-endian build's record ends after MiscString; a little-endian build
// pads it to a multiple of four.
constexpr UInt32 kConfigSaveSizeBigEndian = 394;
constexpr UInt32 kConfigSaveSizeLittleEndian = 396;
constexpr UInt32 kConfigSaveSize =
    __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__ ? kConfigSaveSizeBigEndian : kConfigSaveSizeLittleEndian;
constexpr const char* kConfigSaveMiscString = "Config save for Tarvik iMovie plug-in";
constexpr const char* kConfigResourceName = "Config Settings";
constexpr ResType kConfigResourceType = FOUR_CHAR_CODE("Pref");
constexpr ResID kConfigResourceID = 1;
constexpr OSType kSettingsFileCreator = FOUR_CHAR_CODE("trv ");
constexpr OSType kSettingsFileType = FOUR_CHAR_CODE("Pref");

// The second resource, 'Motn' 1 "Motion Settings": the motion beyond the
// glide, beside a 'Pref' 1 that keeps its layout, so that builds before it
// read the file as they did. Byte for byte, in the writing machine's order.
enum MotionSaveOffset : size_t {
  kMotionSizeInBytes = 0,
  kMotionVersion = 4,
  kMotionSmooth = 8,
  kMotionEasing = 10,
  kMotionSpin = 12,
  kMotionBlur = 20,
};
constexpr UInt32 kMotionSaveSize = 28;
constexpr UInt32 kMotionSaveVersion = 1;
constexpr const char* kMotionResourceName = "Motion Settings";
constexpr ResType kMotionResourceType = FOUR_CHAR_CODE("Motn");
constexpr ResID kMotionResourceID = 1;

typedef Handle ConfigSaveH;

bool Config2Save(const PluginDataRec* TheConfig, ConfigSaveH TheSaveConfig);
bool Save2Config(PluginDataRec* TheConfig, ConfigSaveH TheSaveConfig);
// The motion fields into and out of a 'Motn' record; out of one, a field
// the effect cannot hold reads as its default.
bool Motion2Save(const PluginDataRec* TheConfig, Handle TheSaveMotion);
bool Save2Motion(PluginDataRec* TheConfig, Handle TheSaveMotion);
bool SaveConfig(const PluginDataRec* TheConfig);
// Reads 'Pref' 1, then 'Motn' 1; without a sound 'Motn' 1 the motion
// fields are their defaults. The answer is whether 'Pref' 1 was read.
bool ReadConfig(PluginDataRec* TheConfig);
// Creates the settings file when it is missing. A file that is not a valid
// resource file is moved aside under a name saying it is damaged
// ("kwz41-Prefs.damaged", "kwz41-Prefs.damaged-2", …) and a fresh one made.
bool EnsureSettingsFile();
// Where the settings file is (or would be); empty without a Preferences folder.
std::string SettingsFilePath();
