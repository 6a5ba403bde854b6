// libFuzzer target: any bytes given to the resource file reader. A file it
// accepts must survive writing and reading back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "resources/ResourceFork.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ResourceForkContents contents;
  if (!ParseResourceFork(data, size, contents)) return 0;
  std::vector<UInt8> again = SerializeResourceFork(contents);
  ResourceForkContents back;
  if (!ParseResourceFork(again.data(), again.size(), back)) std::abort();
  if (back.resources.size() != contents.resources.size()) std::abort();
  for (size_t k = 0; k < back.resources.size(); ++k) {
    if (back.resources[k].data != contents.resources[k].data) std::abort();
    if (back.resources[k].name != contents.resources[k].name) std::abort();
  }
  return 0;
}
