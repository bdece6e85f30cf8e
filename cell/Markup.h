// Numbers and strings as JSON and HTML text, written the same way by every --json output
// and every page of corvantis-cell.
#pragma once

#include <string>
#include <vector>

namespace corvantis {

// 17 significant digits, so that the text reads back as exactly `value`; null when it is
// not finite, which JSON cannot hold.
std::string jsonNumber(double value);
// `text` in double quotes, with quotes, backslashes and control characters escaped.
std::string jsonString(const std::string& text);
// `items` as a JSON array, each written by `toJson`.
template <typename T, typename F>
std::string jsonArray(const std::vector<T>& items, F toJson) {
  std::string text = "[";
  for (std::size_t i = 0; i < items.size(); ++i) text += (i ? ", " : "") + toJson(items[i]);
  return text + "]";
}

// `text` with &, <, > and " as HTML entities, for element content and attribute values.
std::string htmlEscaped(const std::string& text);

}  // namespace corvantis
