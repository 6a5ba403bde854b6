// CoreFoundation string stand-in: immutable, reference-counted texts held as
// UTF-8. Made from Str255s in the Mac Roman encoding, released with CFRelease.
#pragma once

#include <cstddef>
#include <string>

#include "MacTypes.h"
#include "corefoundation/CFBase.h"

struct __CFString;
typedef const __CFString* CFStringRef;
typedef UInt32 CFStringEncoding;

constexpr CFStringEncoding kCFStringEncodingMacRoman = 0;
constexpr CFStringEncoding kCFStringEncodingUTF8 = 0x08000100;

CFStringRef CFStringCreateWithPascalString(CFAllocatorRef alloc, ConstStr255Param pStr,
                                           CFStringEncoding encoding);
// Returns nil for text that is not valid in the encoding.
CFStringRef CFStringCreateWithCString(CFAllocatorRef alloc, const char* cStr,
                                      CFStringEncoding encoding);
// The text as UTF-8 (the stand-in's way of handing it to the toolkit).
std::string CFStringUTF8(CFStringRef s);
