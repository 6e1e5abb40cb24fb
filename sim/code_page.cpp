// Conversions between the ANSI code page (Windows-1252) and UTF-16.
#include "sim/code_page.h"

#include "sim/machine.h"

namespace {

// 0x80 to 0x9F; the five bytes Windows-1252 leaves undefined map to the C1
// controls of the same value, as Windows does.
const char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

namespace sim {

char16_t wideFromAnsi(unsigned char ch) {
  return ch >= 0x80 && ch < 0xA0 ? kHighControls[ch - 0x80] : static_cast<char16_t>(ch);
}

bool ansiFromWide(const WCHAR* text, std::string* ansi) {
  ansi->clear();
  for (; *text != 0; ++text) {
    char16_t wide = *text;
    int found = -1;
    if (wide < 0x80 || (wide >= 0xA0 && wide < 0x100)) {
      found = wide;
    } else {
      for (int i = 0; i < 32; ++i) {
        if (kHighControls[i] == wide) found = 0x80 + i;
      }
    }
    if (found < 0) return false;
    *ansi += static_cast<char>(found);
  }
  return true;
}

}  // namespace sim

int WINAPI MultiByteToWideChar(UINT codePage, DWORD, LPCSTR multiByteText, int multiByteCount, LPWSTR wideText,
                               int wideCount) {
  if (codePage != CP_ACP && codePage != 1252) {
    sim::machine().lastError = ERROR_INVALID_PARAMETER;
    return 0;
  }
  if (multiByteText == nullptr || multiByteCount == 0 || wideCount < 0 || (wideCount > 0 && wideText == nullptr)) {
    sim::machine().lastError = ERROR_INVALID_PARAMETER;
    return 0;
  }
  // -1: the whole zero-terminated text, its terminator included.
  size_t count = multiByteCount < 0 ? std::char_traits<char>::length(multiByteText) + 1
                                    : static_cast<size_t>(multiByteCount);
  if (wideCount == 0) return static_cast<int>(count);
  if (count > static_cast<size_t>(wideCount)) {
    sim::machine().lastError = ERROR_INSUFFICIENT_BUFFER;
    return 0;
  }
  for (size_t i = 0; i < count; ++i) wideText[i] = sim::wideFromAnsi(static_cast<unsigned char>(multiByteText[i]));
  return static_cast<int>(count);
}
