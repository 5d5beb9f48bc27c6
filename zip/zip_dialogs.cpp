// Outside Windows there is nobody to ask: questions are answered Cancel or
// No and there are no window messages. The Windows versions are in
// zip_dialogs_win.cpp.
#ifndef _WIN32
#include "zip/zip_dialogs.h"

namespace kv {

TZipDialogAnswer SystemZipDialog(const TZipDialog&) { return {}; }

void ProcessPendingMessages() {}

THourglassCursor::THourglassCursor() = default;
THourglassCursor::~THourglassCursor() = default;

TNormalCursor::TNormalCursor() = default;
TNormalCursor::~TNormalCursor() = default;

}  // namespace kv
#endif
