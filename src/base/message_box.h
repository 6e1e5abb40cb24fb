// Every message box of both programs goes through here: shown in an
// interactive run, never in an unattended one (/S), which takes the safe
// answer instead; a kept log gets the text and the answer either way.
#ifndef VM_BASE_MESSAGE_BOX_H
#define VM_BASE_MESSAGE_BOX_H

#include "platform/win32.h"

// MessageBoxA's answer, or in an unattended run `unattendedAnswer` (the
// answer the README lists for the question) without showing anything.
int showMessage(HWND owner, const char* text, const char* caption, UINT type, int unattendedAnswer = IDOK);

// A program's /? text `usage`, after what was wrong with its command line
// when `problem` is not null, in a box of its own.
void showUsage(const char* usage, const char* problem, const char* caption);

#endif  // VM_BASE_MESSAGE_BOX_H
