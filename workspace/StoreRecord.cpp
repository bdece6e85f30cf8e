#include "workspace/StoreRecord.h"

#include <charconv>
#include <cmath>
#include <optional>

#include "workspace/NumberText.h"

namespace corvantis {

namespace {

// Lines this short cannot hold a record; a rewrite drops them (blank lines, stubs).
constexpr std::size_t kShortLine = 10;

// The whole field as a number of type T, as std::to_string and formatStoreNumber write
// them; nothing for anything else, a number beyond the range of T included.
template <typename T>
std::optional<T> wholeField(const std::string& field) {
  T value{};
  const char* end = field.data() + field.size();
  const auto result = std::from_chars(field.data(), end, value);
  if (field.empty() || result.ec != std::errc() || result.ptr != end) return std::nullopt;
  return value;
}

// Why a check cannot use the fields after the key; empty when it can.
std::string distrustOf(const std::vector<std::string>& fields, StoreRecord* record) {
  const std::optional<std::uint64_t> time = wholeField<std::uint64_t>(fields[0]);
  if (!time) return "time \"" + fields[0] + "\" is no whole number";
  // No file has this time; a record of it would prove nothing.
  if (*time == 0) return "time 0";
  record->time = *time;
  if (fields.size() != 1 + kFeatureCount)
    return std::to_string(fields.size() - 1) + " values instead of " +
           std::to_string(kFeatureCount);
  for (std::size_t i = 1; i < fields.size(); ++i) {
    // from_chars reads "inf" and "nan" too; neither can be a measure of an image.
    const std::optional<double> value = wholeField<double>(fields[i]);
    if (!value || !std::isfinite(*value))
      return "value " + std::to_string(i) + " (\"" + fields[i] + "\") is no finite number";
    record->values.push_back(*value);
  }
  return "";
}

}  // namespace

bool belongsTo(const std::string& line, const std::string& key) {
  return line.size() > key.size() && line.compare(0, key.size(), key) == 0 &&
         line[key.size()] == ',';
}

bool parseRecord(const std::string& line, StoreRecord* record) {
  *record = StoreRecord();
  const std::size_t comma = line.find(',');
  if (comma == std::string::npos || line[0] == ';') return false;
  record->key = line.substr(0, comma);
  std::vector<std::string> fields;
  for (std::size_t start = comma + 1;;) {
    const std::size_t end = line.find(',', start);
    fields.push_back(
        line.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  record->distrust = distrustOf(fields, record);
  if (!record->distrust.empty()) {
    record->time = 0;
    record->values.clear();
  }
  return true;
}

std::string formatRecord(const std::string& key, const FeatureVector& values, std::uint64_t time) {
  std::string record = key + "," + std::to_string(time);
  for (std::size_t i = 0; i < values.size() && i < kFeatureCount; ++i)
    record += "," + formatStoreNumber(values[i]);
  return record + "\r\n";
}

bool readLine(const std::string& content, std::size_t* pos, std::string* line) {
  if (*pos >= content.size()) return false;
  const std::size_t end = content.find('\n', *pos);
  if (end == std::string::npos) {
    *line = content.substr(*pos);
    *pos = content.size();
    return true;
  }
  std::size_t length = end - *pos;
  if (length > 0 && content[end - 1] == '\r') --length;
  *line = content.substr(*pos, length);
  *pos = end + 1;
  return true;
}

std::string updatedStore(const std::string& content, const std::string& key,
                         const std::string& record) {
  bool present = false;
  std::size_t pos = 0;
  std::string line;
  while (!present && readLine(content, &pos, &line)) present = belongsTo(line, key);

  if (!present) {
    // Two lines must never run together, also when a hand edit left no final line end.
    const bool needsLineEnd = !content.empty() && content.back() != '\n';
    return content + (needsLineEnd ? "\r\n" : "") + record;
  }
  std::string updated;
  pos = 0;
  while (readLine(content, &pos, &line)) {
    if (belongsTo(line, key)) {
      updated += record;
    } else if (line.size() > kShortLine) {
      updated += line + "\r\n";
    }
  }
  return updated;
}

std::string withoutRecord(const std::string& content, const std::string& key, bool* found) {
  *found = false;
  std::string kept;
  std::size_t start = 0;
  std::size_t pos = 0;
  std::string line;
  while (readLine(content, &pos, &line)) {
    if (belongsTo(line, key)) {
      *found = true;
    } else {
      kept.append(content, start, pos - start);
    }
    start = pos;
  }
  return kept;
}

}  // namespace corvantis
