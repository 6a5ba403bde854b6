// CoreFoundation URL stand-in: a file URL is an absolute path underneath.
#pragma once

#include <string>

#include "corefoundation/CFBase.h"
#include "files/Files.h"

struct __CFURL;
typedef const __CFURL* CFURLRef;

// Nil when the reference is empty (all zero).
CFURLRef CFURLCreateFromFSRef(CFAllocatorRef allocator, const FSRef* fsRef);
CFURLRef CFURLCreateWithFileSystemPath(CFAllocatorRef allocator, const std::string& path);
std::string CFURLPath(CFURLRef url);
// The file reference of an existing file's URL; false when there is no such file.
Boolean CFURLGetFSRef(CFURLRef url, FSRef* fsRef);
