#pragma once
// The in-memory log: one CR LF line per entry, no time stamps. It is kept
// for the whole run and written to "tmp.log" at exit (SaveLog, files_win.h).
// User-interface thread only.
#include <string>
#include <string_view>

namespace kv {

void AddToLog(std::string_view message);
const std::string& LogText();
void ClearLog();  // at finalisation, after the log is saved; and tests

}  // namespace kv
