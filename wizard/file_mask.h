#pragma once
// File-name wildcards as regular expressions: the file list beside the
// explorer's folder tree filters what the system lists by its mask again,
// because the system also matches the short (8.3) names.
#include <string>
#include <string_view>

namespace kv {

// The expression of a wildcard mask, matched case-insensitively against a
// whole name: "?" is any one character, "*" any run of them, everything else
// stands for itself, the dot included: "*.*" takes the names that hold a dot.
std::string MaskToExpression(std::string_view mask);

}  // namespace kv
