// libFuzzer target: any bytes given to the resource file reader. A file it
// accepts must survive writing and reading back unchanged, and what it hands
// out must stay within a small multiple of the file's own size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "resources/ResourceFork.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ResourceForkContents contents;
  if (!ParseResourceFork(data, size, contents)) return 0;
  size_t handedOut = 0;
  for (const ResourceEntry& e : contents.resources) handedOut += sizeof e + e.data.size() + e.name.size();
  // Each 12-byte reference gives one entry; the data and names are the file's own bytes.
  if (handedOut > 8 * size + 4096) std::abort();
  // A file may lay out more than the writer's compact layout can address
  // (a reference list reaching past 64 KiB of map); refusing that is right.
  std::vector<UInt8> again;
  if (!SerializeResourceFork(contents, again)) return 0;
  if (again.size() > 4 * size + 4096) std::abort();
  ResourceForkContents back;
  if (!ParseResourceFork(again.data(), again.size(), back)) std::abort();
  if (back.resources.size() != contents.resources.size()) std::abort();
  for (size_t k = 0; k < back.resources.size(); ++k) {
    if (back.resources[k].data != contents.resources[k].data) std::abort();
    if (back.resources[k].name != contents.resources[k].name) std::abort();
  }
  return 0;
}
