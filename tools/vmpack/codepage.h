// Names travel in the catalogue as Windows-1252 bytes; on the host they are
// UTF-8.
#ifndef VM_TOOLS_VMPACK_CODEPAGE_H
#define VM_TOOLS_VMPACK_CODEPAGE_H

#include <string>

// False when the text is not valid UTF-8 or holds a character that
// Windows-1252 cannot write.
bool utf8ToWindows1252(const std::string& utf8, std::string* ansi);

// Every byte has a character: the five bytes Windows-1252 leaves undefined
// become U+0081, U+008D, U+008F, U+0090 and U+009D, as Windows maps them.
std::string windows1252ToUtf8(const std::string& ansi);

// The upper-case form of a Windows-1252 byte, for comparing names the way
// Windows does.
unsigned char upperWindows1252(unsigned char ch);

#endif  // VM_TOOLS_VMPACK_CODEPAGE_H
