// Where the host's results go, and what it may never touch: an output is
// written beside its final name and put in place only when complete; it
// never lands on the clip it was made from, and it replaces an existing file
// or folder only when the user asked for that.
#pragma once

#include <string>

// A name beside `output` for the work in progress, so that putting it in
// place stays on one file system.
std::string TemporaryBeside(const std::string& output);

// Checks `output` before anything is read or written. False with a one-line
// `error` when it is the same file as `source` (through symlinks, hard links
// or another spelling of the path), when it exists and `overwrite` is false,
// when it is a folder and a file is to replace it (`folderOutput` false), or
// when its folder cannot take it.
bool OutputAllowed(const std::string& source, const std::string& output, bool overwrite, bool folderOutput,
                   std::string& error);

// Puts the finished `temp` (a file or a folder) at `output`. Without
// `overwrite` an output that appeared meanwhile is kept and this fails; with
// it the old output is replaced, and removed only once the new one is in
// place. `temp` is gone afterwards either way.
bool PlaceOutput(const std::string& temp, const std::string& output, bool overwrite, std::string& error);

// Removes a file, or a folder with everything in it (symlinks are removed,
// never followed).
void RemoveOutput(const std::string& path);
