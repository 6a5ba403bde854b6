// quorvel-rescomp: compiles a text source of string lists into a resource
// file at build time.
//
// Source format (UTF-8, converted to Mac Roman):
//   # a comment
//   STR# 128 Optional list name
//   - first item
//   - second item
//   -                  (an empty item)
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "resources/ResourceFork.h"
#include "text/PascalString.h"

namespace {

bool Fail(const std::string& where, const std::string& what) {
  std::cerr << where << ": " << what << "\n";
  return false;
}

bool Compile(const std::string& sourcePath, ResourceForkContents& out) {
  std::ifstream in(sourcePath);
  if (!in) return Fail(sourcePath, "cannot be read");
  std::string line;
  int lineNumber = 0;
  ResourceEntry* list = nullptr;
  while (std::getline(in, line)) {
    ++lineNumber;
    std::string where = sourcePath + ":" + std::to_string(lineNumber);
    if (line.empty() || line[0] == '#') continue;
    if (line.compare(0, 5, "STR# ") == 0) {
      size_t end = 0;
      long id = 0;
      try {
        id = std::stol(line.substr(5), &end);
      } catch (...) {
        return Fail(where, "STR# needs a resource ID");
      }
      if (id < -32768 || id > 32767) return Fail(where, "resource ID out of range");
      for (const ResourceEntry& e : out.resources)
        if (e.type == FOUR_CHAR_CODE("STR#") && e.id == id) return Fail(where, "duplicate STR# ID");
      std::string name = line.substr(5 + end);
      size_t first = name.find_first_not_of(' ');
      ResourceEntry entry;
      entry.type = FOUR_CHAR_CODE("STR#");
      entry.id = ResID(id);
      if (first != std::string::npos) {
        Str255 mac;
        UTF8ToMacRoman(name.substr(first), mac);
        entry.hasName = true;
        entry.name = PascalBytes(mac);
      }
      entry.data = {0, 0};
      out.resources.push_back(entry);
      list = &out.resources.back();
      continue;
    }
    if (line[0] == '-') {
      if (list == nullptr) return Fail(where, "item before any STR# line");
      std::string text = line.size() > 2 ? line.substr(2) : std::string();
      Str255 mac;
      UTF8ToMacRoman(text, mac);
      if (mac[0] == 255) return Fail(where, "item longer than 255 characters");
      unsigned count = (unsigned(list->data[0]) << 8 | list->data[1]) + 1;
      list->data[0] = UInt8(count >> 8);
      list->data[1] = UInt8(count);
      list->data.insert(list->data.end(), mac, mac + mac[0] + 1);
      continue;
    }
    return Fail(where, "expected a STR# line, an item starting with '-', or a comment");
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: quorvel-rescomp SOURCE OUTPUT\n";
    return 2;
  }
  ResourceForkContents contents;
  if (!Compile(argv[1], contents)) return 1;
  std::vector<UInt8> bytes;
  if (!SerializeResourceFork(contents, bytes)) {
    std::cerr << argv[1] << ": more than a resource file can hold\n";
    return 1;
  }
  std::string temp = std::string(argv[2]) + ".tmp";
  std::ofstream out(temp, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  out.close();
  if (!out || std::rename(temp.c_str(), argv[2]) != 0) {
    std::remove(temp.c_str());
    std::cerr << argv[2] << ": cannot be written\n";
    return 1;
  }
  return 0;
}
