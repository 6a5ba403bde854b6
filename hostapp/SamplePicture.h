// The built-in sample picture: a badge of our own drawing, partly
// transparent, that shows where the effect lays the picture, how it turns
// and how its border and blend look.
#pragma once

#include <string>

// Writes the picture (480 x 320) as a PNG file. False with `error` on failure.
bool WriteSamplePicture(const std::string& path, std::string& error);
