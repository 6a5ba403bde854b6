// CoreFoundation object stand-in: every CF object (string, URL, image
// source) is reference counted and released with CFRelease.
#pragma once

#include <cstddef>

#include "MacTypes.h"

typedef const void* CFTypeRef;
typedef const void* CFAllocatorRef;
typedef const struct __CFDictionary* CFDictionaryRef;
constexpr CFAllocatorRef kCFAllocatorDefault = nullptr;

// The base of the stand-in's CF objects.
struct CFObject {
  int refCount = 1;
  CFObject();
  virtual ~CFObject();
};

CFTypeRef CFRetain(CFTypeRef cf);
void CFRelease(CFTypeRef cf);

// CF objects created and not yet released; tests use it to check balance.
size_t LiveCFObjects();
