// Bundle stand-in. A bundle is a folder:
//   Name.bundle/Contents/Manifest          "Identifier: ..." and "Executable: ..." lines
//   Name.bundle/Contents/Linux/<library>   the shared library
//   Name.bundle/Contents/Resources/        resource file "Resources.rsrc", nib folders, manual
// The plug-in finds its own bundle from the location of its own library.
#pragma once

#include <string>

#include "MacTypes.h"
#include "corefoundation/CFString.h"
#include "corefoundation/CFURL.h"

struct BundleManifest {
  std::string identifier;
  std::string executable;  // relative to Contents/
};

constexpr const char* kBundleManifestName = "Manifest";
constexpr const char* kBundleResourceFileName = "Resources.rsrc";

// Reads Contents/Manifest of the bundle folder. On failure `error` says why.
bool ReadBundleManifest(const std::string& bundlePath, BundleManifest& out, std::string& error);

// The bundle folder that holds the code calling this (empty when that code
// is not inside a bundle, as in unit tests).
std::string OwnBundlePath();
// Tests that link the plug-in's code directly name the bundle to use.
void SetOwnBundlePath(const std::string& bundlePath);

struct __CFBundle;
typedef __CFBundle* CFBundleRef;
// The own bundle when its manifest carries this identifier, else nil.
CFBundleRef CFBundleGetBundleWithIdentifier(CFStringRef bundleID);
std::string CFBundlePath(CFBundleRef bundle);
// The URL of Contents/Resources/<name>.<type> (or in `subfolder` there) when
// the bundle holds that file; nil otherwise. The caller releases it.
CFURLRef CFBundleCopyResourceURL(CFBundleRef bundle, CFStringRef name, CFStringRef type, CFStringRef subfolder);

// Item `index` (1-based) of the bundle's 'STR#' list `listID`; an empty
// string when the list or the item is missing. The current resource file is
// left as it was.
void GetIndString(Str255 theString, SInt16 listID, SInt16 index);
