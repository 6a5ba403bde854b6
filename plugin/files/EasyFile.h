// The user's image file as a picture: FSSpec, file reference,
// URL, image, each a thin step to the next. Every failure gives nil.
#pragma once

#include <string>

#include "cg/CGImage.h"
#include "corefoundation/CFURL.h"
#include "files/Files.h"

// The first image of the file at its own size, or nil. The caller owns it.
CGImageRef GetCGImageFromFSSUsingCG(const FSSpec& TheFSS);
CGImageRef GetCGImageFromFSRefUsingCG(const FSRef& TheFSRef);
CGImageRef GetCGImageFromURLUsingCG(CFURLRef TheURL);
// The file and why the latest import gave no picture ("PATH: reason");
// empty after one that gave a picture.
std::string PictureImportFailure();
