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

typedef Handle ConfigSaveH;

bool Config2Save(const PluginDataRec* TheConfig, ConfigSaveH TheSaveConfig);
bool Save2Config(PluginDataRec* TheConfig, ConfigSaveH TheSaveConfig);
bool SaveConfig(const PluginDataRec* TheConfig);
bool ReadConfig(PluginDataRec* TheConfig);
// Creates the settings file when it is missing. A file that is not a valid
// resource file is moved aside under a name saying it is damaged
// ("kwz41-Prefs.damaged", "kwz41-Prefs.damaged-2", …) and a fresh one made.
bool EnsureSettingsFile();
// Where the settings file is (or would be); empty without a Preferences folder.
std::string SettingsFilePath();
