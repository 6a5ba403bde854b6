// Writes hostile resource files as seeds for the resource file fuzz target:
// small files whose types share one reference list or one data entry.
#include <fstream>
#include <string>

#include "HostileResourceFiles.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string folder = argv[1];
  const struct {
    const char* name;
    SharedBytes sharing;
  } seeds[] = {{"shared-reference-list.rsrc", SharedBytes::ReferenceList},
               {"shared-data-entry.rsrc", SharedBytes::DataEntry}};
  for (const auto& seed : seeds) {
    const std::vector<UInt8> bytes = AmplifyingResourceFile(40, 2000, seed.sharing);
    std::ofstream out(folder + "/" + seed.name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out) return 1;
  }
  return 0;
}
