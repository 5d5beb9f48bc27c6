#pragma once
// The step descriptions of "steps.txt": parts cut at every "-------".
#include <string>
#include <string_view>

namespace kv {

inline constexpr std::string_view kStepSeparator = "-------";

// The description of step (from 0): part step + 1, without surrounding
// blanks and line breaks; empty beyond the last part.
std::string StepText(std::string_view stepsText, int step);

// A decimal integer (optional sign) making up the whole text, or def.
int StrToIntDef(std::string_view text, int def);

// count * 100 / total rounded to the nearest integer, halves to the even
// neighbour, clamped to 0..100; 0 for an empty total.
int PercentOf(long long count, long long total);

}  // namespace kv
