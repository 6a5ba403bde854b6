#include "cfstring/CFString.h"

#include "text/PascalString.h"

struct __CFString {
  int refCount;
  std::string utf8;
};

namespace {

size_t lgLiveStrings = 0;

CFStringRef MakeString(std::string utf8) {
  ++lgLiveStrings;
  return new __CFString{1, std::move(utf8)};
}

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

CFTypeRef CFRetain(CFTypeRef cf) {
  if (cf != nullptr) ++const_cast<__CFString*>(static_cast<const __CFString*>(cf))->refCount;
  return cf;
}

void CFRelease(CFTypeRef cf) {
  if (cf == nullptr) return;
  __CFString* s = const_cast<__CFString*>(static_cast<const __CFString*>(cf));
  if (--s->refCount == 0) {
    delete s;
    --lgLiveStrings;
  }
}

std::string CFStringUTF8(CFStringRef s) { return s ? s->utf8 : std::string(); }

size_t LiveCFStrings() { return lgLiveStrings; }
