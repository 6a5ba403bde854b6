// Values written as JSON text, the one way every JSON the project prints
// (the host's description of an effect, the plug-in's of its configuration)
// writes them.
#pragma once

#include <string>

// The text in quotes, with quotes, backslashes and control characters escaped.
std::string JsonString(const std::string& text);
// The number with all its digits; JSON has no NaN or infinity, so those are null.
std::string JsonNumber(double value);
