#pragma once
// Shortening a text to a width with an ellipsis: the longest run of leading
// characters (trailing for right-to-left reading) whose width plus the
// ellipsis fits. Window-free; the caller measures.

#include <functional>
#include <string>
#include <string_view>

namespace kv {

template <class Ch>
std::basic_string<Ch> ShortenText(std::basic_string_view<Ch> text, int width, int ellipsisWidth,
                                  bool rightToLeft,
                                  const std::function<int(std::basic_string_view<Ch>)>& measure) {
  static constexpr Ch kEllipsis[] = {Ch('.'), Ch('.'), Ch('.'), Ch(0)};
  if (text.empty() || width < 1) return {};
  if (ellipsisWidth == 0) ellipsisWidth = measure(std::basic_string_view<Ch>(kEllipsis, 3));
  if (ellipsisWidth >= width) return {};
  auto part = [&](std::size_t count) {
    return rightToLeft ? text.substr(text.size() - count) : text.substr(0, count);
  };
  // The largest count whose width with the ellipsis fits (0 always does).
  std::size_t low = 0, high = text.size();
  while (low < high) {
    const std::size_t middle = low + (high - low + 1) / 2;
    if (measure(part(middle)) + ellipsisWidth <= width)
      low = middle;
    else
      high = middle - 1;
  }
  std::basic_string<Ch> result;
  if (rightToLeft) {
    result.append(kEllipsis, 3);
    result.append(part(low));
  } else {
    result.append(part(low));
    result.append(kEllipsis, 3);
  }
  return result;
}

}  // namespace kv
