// Launch Services stand-in: a document opened with the system's default
// application for its kind (Qt's desktop services). Without a display
// nothing can be shown: the document's path is printed on standard error
// instead, for the person to open. Tests install an opener of their own.
#pragma once

#include <string>

#include "MacTypes.h"
#include "files/Files.h"

enum : OSStatus { kLSApplicationNotFoundErr = -10814 };

// noErr when the document was handed to an application.
OSStatus LSOpenFSRef(const FSRef* inRef, FSRef* outLaunchedRef);

// Opens the document at `path`, answering a status as LSOpenFSRef does.
typedef OSStatus (*DocumentOpener)(const std::string& path);
// Installs an opener; nil restores the standard one. Answers the one before.
DocumentOpener SetDocumentOpener(DocumentOpener opener);
