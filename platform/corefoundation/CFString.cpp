#include "corefoundation/CFString.h"

#include "text/PascalString.h"

struct __CFString : CFObject {
  explicit __CFString(std::string text) : utf8(std::move(text)) {}
  std::string utf8;
};

namespace {

CFStringRef MakeString(std::string utf8) { return new __CFString(std::move(utf8)); }

bool IsValidUTF8(const char* s) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(s);
  while (*p) {
    int extra = *p < 0x80 ? 0 : (*p >> 5) == 6 ? 1 : (*p >> 4) == 14 ? 2 : (*p >> 3) == 30 ? 3 : -1;
    if (extra < 0) return false;
    ++p;
    for (int k = 0; k < extra; ++k, ++p)
      if ((*p & 0xC0) != 0x80) return false;
  }
  return true;
}

}  // namespace

CFStringRef CFStringCreateWithPascalString(CFAllocatorRef, ConstStr255Param pStr,
                                           CFStringEncoding encoding) {
  if (pStr == nullptr) return nullptr;
  if (encoding == kCFStringEncodingMacRoman) return MakeString(MacRomanToUTF8(pStr));
  if (encoding == kCFStringEncodingUTF8) {
    std::string bytes = PascalBytes(pStr);
    return IsValidUTF8(bytes.c_str()) ? MakeString(bytes) : nullptr;
  }
  return nullptr;
}

CFStringRef CFStringCreateWithCString(CFAllocatorRef, const char* cStr, CFStringEncoding encoding) {
  if (cStr == nullptr) return nullptr;
  if (encoding == kCFStringEncodingUTF8) return IsValidUTF8(cStr) ? MakeString(cStr) : nullptr;
  if (encoding == kCFStringEncodingMacRoman) {
    Str255 p;
    CopyCStringToPascal(cStr, p);
    return MakeString(MacRomanToUTF8(p));
  }
  return nullptr;
}

std::string CFStringUTF8(CFStringRef s) { return s ? s->utf8 : std::string(); }
