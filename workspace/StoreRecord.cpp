#include "workspace/StoreRecord.h"

#include <cctype>
#include <charconv>
#include <limits>

#include "workspace/NumberText.h"

namespace corvantis {

namespace {

// Lines this short cannot hold a record; a rewrite drops them (blank lines, stubs).
constexpr std::size_t kShortLine = 10;
constexpr double kNotANumber = -1.0;

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

std::size_t skipSpace(const std::string& s, std::size_t i) {
  while (i < s.size() && isSpace(s[i])) ++i;
  return i;
}

std::size_t skipDigits(const std::string& s, std::size_t i) {
  while (i < s.size() && isDigit(s[i])) ++i;
  return i;
}

// A decimal integer at the start of `field`, held at the limits of int64; 0 without
// digits. Negative times wrap as unsigned numbers do.
std::uint64_t parseTime(const std::string& field) {
  std::size_t i = skipSpace(field, 0);
  bool negative = false;
  if (i < field.size() && (field[i] == '+' || field[i] == '-')) negative = field[i++] == '-';
  constexpr std::uint64_t kMax =
      static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  const std::uint64_t limit = negative ? kMax + 1 : kMax;
  std::uint64_t magnitude = 0;
  for (; i < field.size() && isDigit(field[i]); ++i) {
    const unsigned digit = static_cast<unsigned>(field[i] - '0');
    magnitude = magnitude > (limit - digit) / 10 ? limit : magnitude * 10 + digit;
  }
  return negative ? 0 - magnitude : magnitude;
}

// The longest decimal number at the start of `field`, as stream extraction reads it;
// -1.0 when the field does not begin with one. Words such as inf, nan or hex numbers
// are no numbers here, and neither are numbers beyond the range of double.
double parseValue(const std::string& field) {
  const std::size_t start = skipSpace(field, 0);
  std::size_t i = start;
  if (i < field.size() && (field[i] == '+' || field[i] == '-')) ++i;
  const std::size_t intStart = i;
  i = skipDigits(field, i);
  bool hasDigits = i > intStart;
  if (i < field.size() && field[i] == '.') {
    const std::size_t fracStart = i + 1;
    const std::size_t fracEnd = skipDigits(field, fracStart);
    if (hasDigits || fracEnd > fracStart) {
      hasDigits = true;
      i = fracEnd;
    }
  }
  if (!hasDigits) return kNotANumber;
  if (i < field.size() && (field[i] == 'e' || field[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < field.size() && (field[j] == '+' || field[j] == '-')) ++j;
    const std::size_t expEnd = skipDigits(field, j);
    if (expEnd > j) i = expEnd;
  }
  // from_chars takes no '+' and ignores the locale.
  const std::size_t first = field[start] == '+' ? start + 1 : start;
  double value = 0.0;
  const auto result = std::from_chars(field.data() + first, field.data() + i, value);
  // A number beyond the range of double cannot have been written by the store.
  if (result.ec != std::errc()) return kNotANumber;
  return value;
}

}  // namespace

bool belongsTo(const std::string& line, const std::string& key) {
  return line.size() > key.size() && line.compare(0, key.size(), key) == 0 &&
         line[key.size()] == ',';
}

StoreRecord parseRecord(const std::string& line, const std::string& key) {
  StoreRecord record;
  if (!belongsTo(line, key)) return record;
  std::size_t start = key.size() + 1;
  std::size_t comma = line.find(',', start);
  record.time =
      parseTime(line.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
  while (comma != std::string::npos) {
    start = comma + 1;
    comma = line.find(',', start);
    record.values.push_back(parseValue(
        line.substr(start, comma == std::string::npos ? std::string::npos : comma - start)));
  }
  return record;
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
