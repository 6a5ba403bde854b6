// The plug-in's names, version and fixed choices.
#pragma once

#include "MacTypes.h"

constexpr const char* cMyPluginName = "quor-m";
constexpr const char* cMyClearName = "Quorvel (moving)";
constexpr const char* cMyBundleID = "net.quorvel.moving";
constexpr const char* cProductCode = "kwz41";

#if defined(__x86_64__)
#define QUORVEL_ARCH "x86_64"
#elif defined(__aarch64__)
#define QUORVEL_ARCH "arm64"
#elif defined(__i386__)
#define QUORVEL_ARCH "i386"
#elif defined(__powerpc64__)
#define QUORVEL_ARCH "ppc64"
#else
#define QUORVEL_ARCH "unknown"
#endif
constexpr const char* cPlugVersion = "3.0.0 (" QUORVEL_ARCH " Linux)";

constexpr SInt16 cUsesColor1 = 1, cUsesColor2 = 0, cUsesColor3 = 0, cUsesColor4 = 0,
                 cUsesColor5 = 0, cUsesColor6 = 0;
constexpr SInt16 cUsesSlider1 = 1, cUsesSlider2 = 1, cUsesSlider3 = 1, cUsesSlider4 = 0,
                 cUsesSlider5 = 0, cUsesSlider6 = 0;
constexpr SInt16 cUsedNumberOfRects = 2;
constexpr SInt16 cHandleSize = 6;
constexpr SInt16 cUseDisposeGWinSlider = 1;
