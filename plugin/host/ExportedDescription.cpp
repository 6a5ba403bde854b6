// A third, optional entry of the bundle's library: the master configuration
// as JSON, so that a host can report what the dialog left.
#include <cstring>

#include "host/HostEntry.h"
#include "storage/ConfigDescription.h"

// Copies the description (zero-terminated, cut to fit) into `out`; answers
// its full length, 0 before the plug-in has started.
extern "C" __attribute__((visibility("default"))) size_t QuorvelDescribeConfiguration(char* out, size_t size) {
  if (gPascalData == nullptr) return 0;
  const std::string text = DescribeConfiguration(*gPascalData);
  if (out != nullptr && size > 0) {
    const size_t n = text.size() < size - 1 ? text.size() : size - 1;
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
  }
  return text.size();
}
