// Defaults of the configuration record and access to the rectangle the
// dialog edits.
#pragma once

#include "effect/PluginData.h"

// Sets the defaults. With fullInit false the pictures and the media type
// survive (the dialog's reset); with fullInit true they are dropped without
// release, for a fresh record.
void ResetConfig(PluginDataPtr theConfig, bool fullInit);
RelRect GetCurrentRel();
void PutCurrentRel(const RelRect& theRel);
