// The entry point as the host finds it: the symbol "main" of the bundle's
// library. Only the library build compiles this file.
#include "host/HostEntry.h"

extern "C" __attribute__((visibility("default"))) SInt32 QuorvelExportedEntry(
    SInt16 which, HYPluginParams* params) __asm__("main");

SInt32 QuorvelExportedEntry(SInt16 which, HYPluginParams* params) {
  return PluginMain(which, params);
}
