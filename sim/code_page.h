// The ANSI code page of the simulated machine (Windows-1252), shared by the
// conversion calls and the shell, which takes its file names as UTF-16.
#ifndef VM_SIM_CODE_PAGE_H
#define VM_SIM_CODE_PAGE_H

#include <string>

#include "platform/win32.h"

namespace sim {

char16_t wideFromAnsi(unsigned char ch);
// The ANSI text of a zero-terminated UTF-16 text; false when a character has
// no ANSI form.
bool ansiFromWide(const WCHAR* text, std::string* ansi);

}  // namespace sim

#endif  // VM_SIM_CODE_PAGE_H
