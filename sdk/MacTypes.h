// Base types of the platform the effect was written for, in which the host
// interface is written too: fixed-width integers under their platform names,
// the records every module passes around (Rect, Point, RGBColor),
// length-prefixed strings, four-character codes and the error codes the
// stand-ins report.
#pragma once

#include <cstdint>

typedef uint8_t UInt8;
typedef int8_t SInt8;
typedef uint16_t UInt16;
typedef int16_t SInt16;
typedef uint32_t UInt32;
typedef int32_t SInt32;
typedef int64_t SInt64;
typedef uint64_t UInt64;
typedef float Float32;
typedef double Float64;

typedef unsigned char Boolean;  // one byte, 0 false, 1 true
typedef SInt16 OSErr;
typedef SInt32 OSStatus;
typedef UInt32 FourCharCode;
typedef FourCharCode OSType;
typedef FourCharCode ResType;
typedef SInt16 ResID;

typedef char* Ptr;
typedef Ptr* Handle;

// Windows and controls, opaque to everything but the toolbox stand-in that
// makes them: a record may hold them without knowing the toolbox.
struct OpaqueWindowPtr;
typedef OpaqueWindowPtr* WindowRef;
struct OpaqueControlRef;
typedef OpaqueControlRef* ControlRef;

// A length byte followed by up to 255 Mac Roman characters.
typedef unsigned char Str255[256];
typedef unsigned char Str63[64];
typedef unsigned char* StringPtr;
typedef const unsigned char* ConstStringPtr;
typedef const unsigned char* ConstStr255Param;

struct Rect {
  SInt16 top;
  SInt16 left;
  SInt16 bottom;
  SInt16 right;
};

struct Point {
  SInt16 v;
  SInt16 h;
};

struct RGBColor {
  UInt16 red;
  UInt16 green;
  UInt16 blue;
};

// 'abcd' as the platform spells it: the first character in the most
// significant byte, whatever the machine's byte order.
constexpr FourCharCode FOUR_CHAR_CODE(const char (&s)[5]) {
  return (FourCharCode(UInt8(s[0])) << 24) | (FourCharCode(UInt8(s[1])) << 16) |
         (FourCharCode(UInt8(s[2])) << 8) | FourCharCode(UInt8(s[3]));
}

enum : OSErr {
  noErr = 0,
  paramErr = -50,
  dskFulErr = -34,
  ioErr = -36,
  eofErr = -39,
  fnfErr = -43,
  fLckdErr = -45,
  dupFNErr = -48,
  permErr = -54,
  wrPermErr = -61,
  memFullErr = -108,
  nilHandleErr = -109,
  dirNFErr = -120,
  resNotFound = -192,
  resFNotFound = -193,
  addResFailed = -194,
  rmvResFailed = -196,
  mapReadErr = -199,
};
