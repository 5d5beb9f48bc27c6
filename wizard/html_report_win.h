#pragma once
// Writing the HTML report of the result list and opening it.
#include <string>
#include <vector>

#include "engine/audio_info.h"

namespace kv {

// Builds the report of the rows (today's short date, the ANSI code page's
// charset, the translated title), replaces fileName with it in one step and
// opens it with its associated program. A failed write raises (the old file
// stays) and nothing is opened; a failed opening is not reported.
void ExportReport(const std::string& fileName, const std::vector<const TMP3Info*>& rows);
// The same to a file named by its full wide name.
void ExportReport(const std::wstring& fileName, const std::vector<const TMP3Info*>& rows);

}  // namespace kv
