// The host interface shared by quorvel-host and the plug-ins it loads: the
// parameter block passed with every call, the selectors, the results, the
// callback table and the description records.
//
// A plug-in is a bundle whose library exports its entry point under the
// symbol "main" with the signature HYPluginEntry. The host fills the
// parameter block, calls the entry with a selector, and keeps `clientData`
// for the plug-in between calls.
#pragma once

#include "MacTypes.h"

// A frame that crosses the interface: one the host lends (GetFrame, the
// parameter block's `frame`) or one the plug-in hands to Blit. 32 bits a
// pixel, the bytes A, R, G, B in memory on every processor. The pixel at
// column x, row y of `bounds` lies at
//   baseAddress + (y - bounds.top) * rowBytes + 4 * (x - bounds.left),
// and rowBytes is at least 4 * width. The memory stays where it is, and
// alive, until its owner takes the frame back.
enum : UInt32 { kHYPixelFormatARGB32 = 0x41524742 };  // 'ARGB'
struct HYFrame {
  Ptr baseAddress;
  SInt32 rowBytes;
  Rect bounds;
  UInt32 pixelFormat;  // kHYPixelFormatARGB32, the only one
};

// Whether a frame is one either side can draw on, as described above.
inline bool HYFrameIsUsable(const HYFrame* f) {
  const SInt32 width = f ? SInt32(f->bounds.right) - f->bounds.left : 0;
  return f != nullptr && f->baseAddress != nullptr && f->pixelFormat == kHYPixelFormatARGB32 && width > 0 &&
         f->bounds.bottom > f->bounds.top && f->rowBytes >= 4 * width;
}

typedef SInt32 HYPluginResult;
enum : HYPluginResult {
  kPluginOK = 0,
  kPluginCancel = 1,
  kPluginFinished = 2,
  kPluginBadParams = 3,
  kPluginOutOfMemory = 4,
  kPluginOutOfDiskSpace = 5,
  kPluginFailed = 6,
  kPluginCantGetNeededFrame = 7,
  kPluginUnimplemented = 8,
  kPluginTryAgainLater = 9,
  kPluginAppIsTooOld = 10,
  kPluginAppIsTooNew = 11,
};

typedef UInt8 HYPluginSelector;
enum : HYPluginSelector {
  kPlugGetInfo = 1,
  kPlugInitialize = 2,
  kPlugDrawIcon = 3,
  kPlugDrawThumbNail = 4,
  kPlugFilePlaceHolder = 5,
  kPlugDoFrame = 6,
  kPlugCallOnceWithInitAndTerminate = 7,
  kPlugTerminate = 8,
  kPlugCustomButtonClick = 9,
};

// The interface version this host offers; plug-ins refuse 3 and lower.
enum : SInt16 { kHostInterfaceVersion = 4 };

typedef SInt16 HYRefDVQuality;
enum : HYRefDVQuality { kDVLowQuality = 0, kDVHighQuality = 1 };

enum : SInt32 { kPluginFilterType = 105 };  // 'i'

constexpr int kHYLabelSize = 128;        // 127 characters and the terminating zero
constexpr int kHYButtonTitleSize = 32;   // 31 characters and the terminating zero
constexpr int kHYFilterSliderCount = 3;

struct HYPluginGetInfo {
  SInt32 pluginType;
  SInt32 framesToBeRendered;
  SInt32 takeFromClipBefore;
  SInt32 takeFromClipAfter;
  SInt32 minSpeedFrames;
  SInt32 maxSpeedFrames;
  Boolean mustTakeFromSingleClips;
  UInt32 pluginFlags;
  SInt32 bestThumbOffset;  // the frame a placeholder render shows
};

struct HYPluginFilterSliderInfo {
  Float32 defaultValue;
  char label[kHYLabelSize];
  char minLabel[kHYLabelSize];
  char maxLabel[kHYLabelSize];
};

struct HY2PluginGetInfo {
  SInt32 baseMemoryNeeded;
  SInt32 selectedFrames;  // filled in by the host before kPlugGetInfo
  char group[kHYLabelSize];
  SInt32 sliderCount;
  HYPluginFilterSliderInfo filterSliders[kHYFilterSliderCount];
};

struct HY3PluginGetInfo {
  char buttonTitle[kHYButtonTitleSize];
};

struct HYPluginFilterInfo {
  Float32 sliderValues[kHYFilterSliderCount];
  SInt32 fadeInFrames;
  SInt32 fadeOutFrames;
};

// Callbacks. `instance` is the parameter block's instance, handed back
// unchanged. A block from NewPtrClear goes back through DisposePtr, and its
// size is asked with GetPtrSize: the byte count it was asked with, or -1 for
// a pointer this allocator did not hand out.
struct HYProcs {
  Ptr (*NewPtrClear)(SInt32 byteCount);
  void (*DisposePtr)(Ptr block);
  HYPluginResult (*GetFrame)(void* instance, SInt32 frameNumber, HYFrame** outFrame, SInt16 width,
                             SInt16 height, HYRefDVQuality quality, Float32* outVolume,
                             void** outCookie);
  HYPluginResult (*ReleaseFrame)(void* instance, void* cookie);
  HYPluginResult (*Blit)(const HYFrame* source, HYFrame* destination, const Rect* sourceRect,
                         const Rect* destinationRect, SInt16 opacity);
  HYPluginResult (*MixAudio)(void* instance, void* cookie, SInt32 level);
  HYPluginResult (*GetFilterInfo)(void* instance, HYPluginFilterInfo** outInfo);
  HYPluginResult (*ReleaseFilterInfo)(void* instance, HYPluginFilterInfo* info);
  SInt32 (*GetPtrSize)(Ptr block);
};

struct _PluginParams {
  SInt16 interfaceVersion;
  void* instance;
  HYPluginSelector selector;
  HYProcs* procs;
  HYPluginGetInfo getInfo;
  SInt32 startFrame;   // first frame of the effect in the clip (0 for a custom button click)
  SInt32 renderFrame;  // position of the requested frame within the effect; for a
                       // custom button click, the position the click was made at
  SInt32 frameCount;   // number of frames of the effect
  Boolean proxyOnly;
  Rect frameRect;      // where the rendered frame goes in `frame`
  HYFrame* frame;      // the host's output frame
  void* clientData;    // kept by the host for the plug-in between calls
  HY2PluginGetInfo getInfo2;
  HY3PluginGetInfo getInfo3;
};
typedef _PluginParams HYPluginParams;

typedef SInt32 (*HYPluginEntry)(SInt16 which, HYPluginParams* params);
constexpr const char* kHYPluginEntrySymbol = "main";
