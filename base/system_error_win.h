#pragma once
// The system's own text for a Win32 error code.

#include <windows.h>

#include <string>

namespace kv {

// The system's text for an error code, without the trailing line break
// ("System error N." when the system has none).
std::string SystemErrorText(DWORD code);

}  // namespace kv
