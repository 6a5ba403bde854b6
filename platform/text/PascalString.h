// Length-prefixed strings (Str255) and the Mac Roman character set.
#pragma once

#include <string>

#include "MacTypes.h"

// Copies a C string into a Str255, cut at 255 characters.
void CopyCStringToPascal(const char* src, Str255 dst);
// Copies a Str255 (length byte and characters).
void CopyPascalString(ConstStr255Param src, Str255 dst);
// The characters of a Str255 as bytes, without conversion.
std::string PascalBytes(ConstStr255Param s);
// The characters of a Str255 converted from Mac Roman to UTF-8.
std::string MacRomanToUTF8(ConstStr255Param s);
// UTF-8 text converted to Mac Roman; characters Mac Roman lacks become '?'.
// The result is cut at 255 characters.
void UTF8ToMacRoman(const std::string& utf8, Str255 dst);

// A Str255 built from a literal, for passing texts to routines that take one:
//   Notify(PStr("Cannot open the picture"));
class PStr {
 public:
  explicit PStr(const char* text) { CopyCStringToPascal(text, bytes_); }
  operator ConstStr255Param() const { return bytes_; }
  operator StringPtr() { return bytes_; }

 private:
  Str255 bytes_;
};
