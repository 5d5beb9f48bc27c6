#include "wizard/step_texts.h"

#include <charconv>

#include "base/strings.h"

namespace kv {

std::string StepText(std::string_view stepsText, int step) {
  if (step < 0) return {};
  const std::string part = PartByNum(stepsText, kStepSeparator, step + 1);
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  size_t begin = 0, end = part.size();
  while (begin < end && blank(part[begin])) ++begin;
  while (end > begin && blank(part[end - 1])) --end;
  return part.substr(begin, end - begin);
}

int StrToIntDef(std::string_view text, int def) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return def;
  return value;
}

int PercentOf(long long count, long long total) {
  if (total <= 0 || count <= 0) return 0;
  if (count >= total) return 100;
  const long long scaled = count * 100;
  long long q = scaled / total;
  const long long twice = (scaled % total) * 2;
  if (twice > total || (twice == total && q % 2 == 1)) ++q;
  return static_cast<int>(q);
}

}  // namespace kv
