#include "text/PascalString.h"

#include <cstring>

namespace {

// Unicode code points of Mac Roman bytes 0x80..0xFF.
const char16_t kMacRomanHigh[128] = {
    0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1, 0x00E0, 0x00E2, 0x00E4,
    0x00E3, 0x00E5, 0x00E7, 0x00E9, 0x00E8, 0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF,
    0x00F1, 0x00F3, 0x00F2, 0x00F4, 0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC, 0x2020,
    0x00B0, 0x00A2, 0x00A3, 0x00A7, 0x2022, 0x00B6, 0x00DF, 0x00AE, 0x00A9, 0x2122, 0x00B4,
    0x00A8, 0x2260, 0x00C6, 0x00D8, 0x221E, 0x00B1, 0x2264, 0x2265, 0x00A5, 0x00B5, 0x2202,
    0x2211, 0x220F, 0x03C0, 0x222B, 0x00AA, 0x00BA, 0x03A9, 0x00E6, 0x00F8, 0x00BF, 0x00A1,
    0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB, 0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3,
    0x00D5, 0x0152, 0x0153, 0x2013, 0x2014, 0x201C, 0x201D, 0x2018, 0x2019, 0x00F7, 0x25CA,
    0x00FF, 0x0178, 0x2044, 0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02, 0x2021, 0x00B7, 0x201A,
    0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1, 0x00CB, 0x00C8, 0x00CD, 0x00CE, 0x00CF, 0x00CC,
    0x00D3, 0x00D4, 0xF8FF, 0x00D2, 0x00DA, 0x00DB, 0x00D9, 0x0131, 0x02C6, 0x02DC, 0x00AF,
    0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7,
};

void AppendUTF8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += char(cp);
  } else if (cp < 0x800) {
    out += char(0xC0 | (cp >> 6));
    out += char(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += char(0xE0 | (cp >> 12));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  } else {
    out += char(0xF0 | (cp >> 18));
    out += char(0x80 | ((cp >> 12) & 0x3F));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  }
}

// Decodes one UTF-8 sequence at s[i]; malformed bytes decode as U+FFFD.
char32_t NextCodePoint(const std::string& s, size_t& i) {
  unsigned char c = static_cast<unsigned char>(s[i++]);
  if (c < 0x80) return c;
  int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : -1;
  if (extra < 0) return 0xFFFD;
  char32_t cp = c & (0x3F >> extra);
  for (int k = 0; k < extra; ++k) {
    if (i >= s.size() || (static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) return 0xFFFD;
    cp = (cp << 6) | (static_cast<unsigned char>(s[i++]) & 0x3F);
  }
  return cp;
}

unsigned char MacRomanByteFor(char32_t cp) {
  if (cp < 0x80) return static_cast<unsigned char>(cp);
  for (int k = 0; k < 128; ++k)
    if (kMacRomanHigh[k] == cp) return static_cast<unsigned char>(0x80 + k);
  return '?';
}

}  // namespace

void CopyCStringToPascal(const char* src, Str255 dst) {
  size_t n = src ? std::strlen(src) : 0;
  if (n > 255) n = 255;
  dst[0] = static_cast<unsigned char>(n);
  if (n) std::memcpy(dst + 1, src, n);
}

void CopyPascalString(ConstStr255Param src, Str255 dst) {
  std::memmove(dst, src, size_t(src[0]) + 1);
}

std::string PascalBytes(ConstStr255Param s) {
  return std::string(reinterpret_cast<const char*>(s + 1), s[0]);
}

std::string MacRomanToUTF8(ConstStr255Param s) {
  std::string out;
  for (int k = 1; k <= s[0]; ++k) {
    unsigned char c = s[k];
    AppendUTF8(out, c < 0x80 ? char32_t(c) : char32_t(kMacRomanHigh[c - 0x80]));
  }
  return out;
}

void UTF8ToMacRoman(const std::string& utf8, Str255 dst) {
  size_t i = 0;
  int n = 0;
  while (i < utf8.size() && n < 255) dst[++n] = MacRomanByteFor(NextCodePoint(utf8, i));
  dst[0] = static_cast<unsigned char>(n);
}
