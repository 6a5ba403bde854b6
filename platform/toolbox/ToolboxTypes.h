// Window and control references of the toolkit stand-in (the base types
// declare them, so that records can hold them).
#pragma once

#include "MacTypes.h"
