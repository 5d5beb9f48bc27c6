#pragma once
// Resource types and ids of the GUI layer, shared by the resource scripts
// and the code. Declared layouts are resources of the custom type LAYOUT,
// named after their file without ".layout" (errors name the file):
//   main_form LAYOUT "wizard/layouts/main_form.layout"
#ifndef RC_INVOKED
#include <windows.h>

namespace kv::ui {
inline const wchar_t* const kLayoutResourceType = L"LAYOUT";
}  // namespace kv::ui
#endif
