// A function of a system library looked up at run time: one that older
// Windows lack, which an import would keep the program from starting on.
#ifndef VM_BASE_EXPORTED_FUNCTION_H
#define VM_BASE_EXPORTED_FUNCTION_H

#include "platform/win32.h"

// The export `name` (or an ordinal made with MAKEINTRESOURCEA) of `module`
// as a `Function`; null when the module or the export is missing. Through
// void*: the exported address is typeless until the caller names the
// function's real type.
template <typename Function>
Function exportedFunction(HMODULE module, LPCSTR name) {
  return module == nullptr ? nullptr
                           : reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

#endif  // VM_BASE_EXPORTED_FUNCTION_H
