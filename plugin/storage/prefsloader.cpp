#include "storage/prefsloader.h"

#include <cmath>
#include <cstring>
#include <string>

#include "effect/DataHandling.h"
#include "effect/PluginDefines.h"
#include "files/Files.h"
#include "memory/MacMemory.h"
#include "resources/Resources.h"
#include "text/PascalString.h"

namespace {

// Field access in the machine's byte order, at a byte offset of the record.
template <typename T>
void PutField(Handle h, size_t offset, const T& value) {
  std::memcpy(*h + offset, &value, sizeof(T));
}
template <typename T>
T GetField(Handle h, size_t offset) {
  T value;
  std::memcpy(&value, *h + offset, sizeof(T));
  return value;
}

void PutRelRect(Handle h, size_t offset, const RelRect& r) {
  PutField(h, offset, r.Left);
  PutField(h, offset + 8, r.Right);
  PutField(h, offset + 16, r.Top);
  PutField(h, offset + 24, r.Bottom);
}
RelRect GetRelRect(Handle h, size_t offset) {
  return {GetField<Float64>(h, offset), GetField<Float64>(h, offset + 8),
          GetField<Float64>(h, offset + 16), GetField<Float64>(h, offset + 24)};
}

void PutColor(Handle h, size_t offset, const RGBColor& c) {
  PutField(h, offset, c.red);
  PutField(h, offset + 2, c.green);
  PutField(h, offset + 4, c.blue);
}
RGBColor GetColor(Handle h, size_t offset) {
  return {GetField<UInt16>(h, offset), GetField<UInt16>(h, offset + 2),
          GetField<UInt16>(h, offset + 4)};
}

// The settings file's FSSpec. noErr only when the file exists.
OSErr SettingsFileSpec(FSSpec& spec) {
  SInt16 vRefNum;
  SInt32 dirID;
  OSErr err = FindFolder(kOnSystemDisk, kPreferencesFolderType, kDontCreateFolder, &vRefNum, &dirID);
  if (err != noErr) return err;
  std::string name = std::string(cProductCode) + "-Prefs";
  return FSMakeFSSpec(vRefNum, dirID, PStr(name.c_str()), &spec);
}

// Opens the existing settings file and makes it current; -1 on failure.
SInt16 OpenSettingsFile() {
  FSSpec spec;
  if (SettingsFileSpec(spec) != noErr) return -1;
  SInt16 ref = FSpOpenResFile(&spec, fsCurPerm);
  if (ref == -1 || ResError() != noErr) return -1;
  UseResFile(ref);
  return ResError() == noErr ? ref : -1;
}

// Keeps a damaged file for the user under a name that says so.
bool MoveDamagedAside(const FSSpec& spec) {
  std::string base = PascalBytes(spec.name) + ".damaged";
  for (int n = 1; n <= 100; ++n) {
    std::string name = n == 1 ? base : base + "-" + std::to_string(n);
    OSErr err = FSpRename(&spec, PStr(name.c_str()));
    if (err == noErr) return true;
    if (err != dupFNErr) return false;
  }
  return false;
}

}  // namespace

bool Config2Save(const PluginDataRec* TheConfig, ConfigSaveH TheSaveConfig) {
  if (TheSaveConfig == nullptr || TheConfig == nullptr) return false;
  if (UInt32(GetHandleSize(TheSaveConfig)) < kConfigSaveSize) return false;
  PutField(TheSaveConfig, kSaveSizeInBytes, kConfigSaveSize);
  PutField(TheSaveConfig, kSaveVersion, kConfigSaveVersion);
  PutRelRect(TheSaveConfig, kSaveStartRel, TheConfig->StartRel);
  PutRelRect(TheSaveConfig, kSaveEndRel, TheConfig->EndRel);
  for (int k = 1; k <= 6; ++k) PutColor(TheSaveConfig, kSaveColors + 6 * (k - 1), TheConfig->Colors[k]);
  for (int k = 1; k <= 6; ++k) PutField(TheSaveConfig, kSaveSliders + 2 * (k - 1), TheConfig->Sliders[k]);
  PutColor(TheSaveConfig, kSaveFrameStartColor, TheConfig->FrameStartColor);
  PutColor(TheSaveConfig, kSaveFrameEndColor, TheConfig->FrameEndColor);
  PutField(TheSaveConfig, kSaveMediaType, TheConfig->MediaType);
  PutField(TheSaveConfig, kSaveKeepProps, UInt8(TheConfig->KeepProps ? 1 : 0));
  PutField(TheSaveConfig, kSaveBlendMode, TheConfig->BlendMode);
  Str255 misc;
  CopyCStringToPascal(kConfigSaveMiscString, misc);
  std::memcpy(*TheSaveConfig + kSaveMiscString, misc, size_t(misc[0]) + 1);
  return true;
}

bool Save2Config(PluginDataRec* TheConfig, ConfigSaveH TheSaveConfig) {
  if (TheSaveConfig == nullptr || TheConfig == nullptr) return false;
  // The resource must be exactly a record of this build before any field is read.
  if (UInt32(GetHandleSize(TheSaveConfig)) != kConfigSaveSize) return false;
  if (GetField<UInt32>(TheSaveConfig, kSaveSizeInBytes) != kConfigSaveSize) return false;
  if (GetField<UInt32>(TheSaveConfig, kSaveVersion) != kConfigSaveVersion) return false;
  // A field whose value the effect cannot hold (a rectangle that is not a
  // number, a slider past its range, a media type or blend mode that does
  // not exist) is read as its default, and the rest of the record still is.
  PluginDataRec defaults{};
  ResetConfig(&defaults, true);
  auto finite = [](const RelRect& r) {
    return std::isfinite(r.Left) && std::isfinite(r.Right) && std::isfinite(r.Top) && std::isfinite(r.Bottom);
  };
  const RelRect start = GetRelRect(TheSaveConfig, kSaveStartRel), end = GetRelRect(TheSaveConfig, kSaveEndRel);
  TheConfig->StartRel = finite(start) ? start : defaults.StartRel;
  TheConfig->EndRel = finite(end) ? end : defaults.EndRel;
  for (int k = 1; k <= 6; ++k) TheConfig->Colors[k] = GetColor(TheSaveConfig, kSaveColors + 6 * (k - 1));
  for (int k = 1; k <= 6; ++k) {
    const SInt16 v = GetField<SInt16>(TheSaveConfig, kSaveSliders + 2 * (k - 1));
    const SInt16 low = k == 3 ? -100 : 0;  // the turn goes both ways
    TheConfig->Sliders[k] = v >= low && v <= 100 ? v : defaults.Sliders[k];
  }
  TheConfig->FrameStartColor = GetColor(TheSaveConfig, kSaveFrameStartColor);
  TheConfig->FrameEndColor = GetColor(TheSaveConfig, kSaveFrameEndColor);
  const SInt16 media = GetField<SInt16>(TheSaveConfig, kSaveMediaType);
  TheConfig->MediaType = media >= 1 && media <= 3 ? media : defaults.MediaType;
  TheConfig->KeepProps = GetField<UInt8>(TheSaveConfig, kSaveKeepProps) != 0;
  const SInt16 blend = GetField<SInt16>(TheSaveConfig, kSaveBlendMode);
  TheConfig->BlendMode = blend >= 1 && blend <= 16 ? blend : defaults.BlendMode;
  return true;
}

bool Motion2Save(const PluginDataRec* TheConfig, Handle TheSaveMotion) {
  if (TheSaveMotion == nullptr || TheConfig == nullptr) return false;
  if (UInt32(GetHandleSize(TheSaveMotion)) < kMotionSaveSize) return false;
  PutField(TheSaveMotion, kMotionSizeInBytes, kMotionSaveSize);
  PutField(TheSaveMotion, kMotionVersion, kMotionSaveVersion);
  PutField(TheSaveMotion, kMotionSmooth, UInt8(TheConfig->Smooth ? 1 : 0));
  PutField(TheSaveMotion, kMotionEasing, TheConfig->Easing);
  PutField(TheSaveMotion, kMotionSpin, TheConfig->Spin);
  PutField(TheSaveMotion, kMotionBlur, TheConfig->MotionBlur);
  return true;
}

bool Save2Motion(PluginDataRec* TheConfig, Handle TheSaveMotion) {
  if (TheSaveMotion == nullptr || TheConfig == nullptr) return false;
  if (UInt32(GetHandleSize(TheSaveMotion)) != kMotionSaveSize) return false;
  if (GetField<UInt32>(TheSaveMotion, kMotionSizeInBytes) != kMotionSaveSize) return false;
  if (GetField<UInt32>(TheSaveMotion, kMotionVersion) != kMotionSaveVersion) return false;
  PluginDataRec defaults{};
  ResetConfig(&defaults, true);
  const UInt8 smooth = GetField<UInt8>(TheSaveMotion, kMotionSmooth);
  TheConfig->Smooth = smooth <= 1 ? smooth == 1 : defaults.Smooth;
  const SInt16 easing = GetField<SInt16>(TheSaveMotion, kMotionEasing);
  TheConfig->Easing = easing >= 1 && easing <= 4 ? easing : defaults.Easing;
  const Float64 spin = GetField<Float64>(TheSaveMotion, kMotionSpin);
  TheConfig->Spin = spin >= -8 && spin <= 8 ? spin : defaults.Spin;  // NaN fails both
  const Float64 blur = GetField<Float64>(TheSaveMotion, kMotionBlur);
  TheConfig->MotionBlur = blur >= 0 && blur <= 1 ? blur : defaults.MotionBlur;
  return true;
}

namespace {

// Puts `record` in place of the resource of that type and ID in the open
// file; false, with the old one kept, when it cannot be added.
bool ReplaceResource(Handle record, ResType type, ResID id, const char* name) {
  Handle old = Get1Resource(type, id);
  if (old != nullptr) RemoveResource(old);
  AddResource(record, type, id, PStr(name));
  const bool added = ResError() == noErr;
  if (!added) {
    DisposeHandle(record);
    if (old != nullptr) AddResource(old, type, id, PStr(name));
  } else if (old != nullptr) {
    DisposeHandle(old);
  }
  return added;
}

// The resource of that type and ID, detached from the open file; nil when there is none.
Handle DetachedResource(ResType type, ResID id) {
  Handle record = Get1Resource(type, id);
  if (record != nullptr) DetachResource(record);
  return record;
}

}  // namespace

// The new records are complete before the old ones are touched, and the file
// is rewritten as a whole (temporary, flush, rename): it holds either the old
// records or the new ones, never neither.
bool SaveConfig(const PluginDataRec* TheConfig) {
  if (TheConfig == nullptr) return false;
  ConfigSaveH record = NewHandleClear(Size(kConfigSaveSize));
  Handle motion = NewHandleClear(Size(kMotionSaveSize));
  SInt16 ref = record && motion ? OpenSettingsFile() : -1;
  if (ref == -1) {
    DisposeHandle(record);
    DisposeHandle(motion);
    return false;
  }
  Config2Save(TheConfig, record);
  Motion2Save(TheConfig, motion);
  const bool added = ReplaceResource(record, kConfigResourceType, kConfigResourceID, kConfigResourceName);
  const bool addedMotion = ReplaceResource(motion, kMotionResourceType, kMotionResourceID, kMotionResourceName);
  UpdateResFile(ref);
  const bool written = added && addedMotion && ResError() == noErr;
  if (added) ReleaseResource(record);
  if (addedMotion) ReleaseResource(motion);
  CloseResFile(ref);
  return written;
}

bool ReadConfig(PluginDataRec* TheConfig) {
  if (TheConfig == nullptr) return false;
  SInt16 ref = OpenSettingsFile();
  if (ref == -1) return false;
  Handle record = DetachedResource(kConfigResourceType, kConfigResourceID);
  Handle motion = DetachedResource(kMotionResourceType, kMotionResourceID);
  CloseResFile(ref);
  const bool accepted = record != nullptr && Save2Config(TheConfig, record);
  if (!Save2Motion(TheConfig, motion)) {
    PluginDataRec defaults{};
    ResetConfig(&defaults, true);
    TheConfig->Smooth = defaults.Smooth;
    TheConfig->Easing = defaults.Easing;
    TheConfig->Spin = defaults.Spin;
    TheConfig->MotionBlur = defaults.MotionBlur;
  }
  DisposeHandle(record);
  DisposeHandle(motion);
  return accepted;
}

bool EnsureSettingsFile() {
  FSSpec spec;
  OSErr err = SettingsFileSpec(spec);
  if (err == noErr) {
    SInt16 saved = CurResFile();
    SInt16 ref = FSpOpenResFile(&spec, fsRdPerm);
    if (ref != -1) {
      CloseResFile(ref);
      UseResFile(saved);
      return true;
    }
    // Only a file that is there but not a resource file is set aside; a
    // folder or an unreadable file is left alone.
    if (ResError() != mapReadErr || !MoveDamagedAside(spec)) return false;
    err = fnfErr;
  }
  if (err != fnfErr) return false;
  FSpCreateResFile(&spec, kSettingsFileCreator, kSettingsFileType, smSystemScript);
  return ResError() == noErr;
}

std::string SettingsFilePath() {
  FSSpec spec;
  const OSErr err = SettingsFileSpec(spec);
  return err == noErr || err == fnfErr ? FSSpecPath(spec) : std::string();
}
