#pragma once
// Loading the language table from its INI file.
#include <memory>
#include <string>

#include "foundation/translate.h"

namespace kv {

// Reads section "Messages" of the file; a missing, empty or unreadable file
// gives an empty table (every text stays English).
std::unique_ptr<TLanguage> LoadLanguage(const std::string& languageFile);

}  // namespace kv
