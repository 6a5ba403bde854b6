// pascalFX's start of a record: the defaults, then the remembered settings.
#include "common/commonprocs.h"
#include "effect/DataHandling.h"
#include "effect/pascalFX.h"
#include "storage/prefsloader.h"
#include "text/PascalString.h"

void InitPluginData(PluginDataPtr theConfig) {
  Assert(theConfig, PStr("Nil theConfig on InitPluginData"));
  ResetConfig(theConfig, true);
  // Persistence failures are silent: without a saved record the defaults stay.
  EnsureSettingsFile();
  ReadConfig(theConfig);
  SaveConfig(theConfig);
}

