#include "vmpack/codepage.h"

#include <cstdint>

namespace {

// The characters of bytes 0x80 to 0x9F; 0 where the code page has none.
const uint16_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void appendUtf8(uint32_t code, std::string* out) {
  if (code < 0x80) {
    out->push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (code >> 6)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xE0 | (code >> 12)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

// Decodes one UTF-8 character at `at`; false on a malformed or overlong one.
bool nextCodePoint(const std::string& text, size_t* at, uint32_t* code) {
  unsigned char lead = static_cast<unsigned char>(text[*at]);
  int extra = 0;
  if (lead >= 0x80) {
    if ((lead & 0xE0) == 0xC0) {
      extra = 1;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2;
    } else if ((lead & 0xF8) == 0xF0) {
      extra = 3;
    } else {
      return false;
    }
  }
  if (text.size() - *at <= static_cast<size_t>(extra)) return false;
  uint32_t value = extra == 0 ? lead : lead & (0x3F >> extra);
  for (int i = 1; i <= extra; ++i) {
    unsigned char next = static_cast<unsigned char>(text[*at + i]);
    if ((next & 0xC0) != 0x80) return false;
    value = value << 6 | (next & 0x3F);
  }
  static const uint32_t kSmallest[4] = {0, 0x80, 0x800, 0x10000};
  if (value < kSmallest[extra] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
  *at += extra + 1;
  *code = value;
  return true;
}

}  // namespace

bool utf8ToWindows1252(const std::string& utf8, std::string* ansi) {
  ansi->clear();
  size_t at = 0;
  while (at < utf8.size()) {
    uint32_t code = 0;
    if (!nextCodePoint(utf8, &at, &code)) return false;
    if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) {
      ansi->push_back(static_cast<char>(code));
      continue;
    }
    int found = -1;
    for (int i = 0; i < 32 && found < 0; ++i) {
      if (kHighControls[i] != 0 && kHighControls[i] == code) found = i;
    }
    if (found < 0) return false;
    ansi->push_back(static_cast<char>(0x80 + found));
  }
  return true;
}

std::string windows1252ToUtf8(const std::string& ansi) {
  std::string out;
  for (char c : ansi) {
    unsigned char byte = static_cast<unsigned char>(c);
    uint32_t code = byte;
    if (byte >= 0x80 && byte < 0xA0 && kHighControls[byte - 0x80] != 0) code = kHighControls[byte - 0x80];
    appendUtf8(code, &out);
  }
  return out;
}

unsigned char upperWindows1252(unsigned char ch) {
  if (ch >= 'a' && ch <= 'z') return static_cast<unsigned char>(ch - 0x20);
  if (ch >= 0xE0 && ch <= 0xFE && ch != 0xF7) return static_cast<unsigned char>(ch - 0x20);
  switch (ch) {
    case 0x9A: return 0x8A;  // s with caron
    case 0x9C: return 0x8C;  // oe
    case 0x9E: return 0x8E;  // z with caron
    case 0xFF: return 0x9F;  // y with diaeresis
    default: return ch;
  }
}
