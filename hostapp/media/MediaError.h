// What the media libraries' error codes say, in their own words.
#pragma once

#include <string>

std::string AvError(int code);
