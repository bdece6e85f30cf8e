#include "workspace/ValuesRow.h"

#include <algorithm>
#include <functional>

#include "workspace/NumberText.h"

namespace corvantis {

namespace {

constexpr char kAccepted[] = "accepted";
constexpr char kRejected[] = "rejected";

// One column: its name in the header, how a row's field is written and how it is read
// back (false: no value this column can hold).
struct Column {
  std::string name;
  std::function<std::string(const ValuesRow&)> write;
  std::function<bool(const std::string&, ValuesRow*)> read;
  bool optional = false;  // absent from logs written before it existed
};

Column textColumn(const char* name, std::string ValuesRow::*member) {
  return {name, [member](const ValuesRow& row) { return row.*member; },
          [member](const std::string& text, ValuesRow* row) {
            row->*member = text;
            return true;
          }};
}

Column numberColumn(const char* name, double ValuesRow::*member) {
  return {name, [member](const ValuesRow& row) { return formatStoreNumber(row.*member); },
          [member](const std::string& text, ValuesRow* row) {
            const std::optional<double> value = readWholeNumber(text);
            if (value) row->*member = *value;
            return value.has_value();
          }};
}

// Entry `i` of a signature; empty where the signature is shorter. Columns are read in
// the table's order, so a value after an empty one is a gap no writer leaves.
Column entryColumn(const char* prefix, FeatureVector ValuesRow::*member, std::size_t i) {
  return {std::string(prefix) + kEntryNames[i],
          [member, i](const ValuesRow& row) {
            const FeatureVector& values = row.*member;
            return i < values.size() ? formatStoreNumber(values[i]) : std::string();
          },
          [member, i](const std::string& text, ValuesRow* row) {
            FeatureVector& values = row->*member;
            if (text.empty()) return true;
            const std::optional<double> value = readWholeNumber(text);
            if (!value || values.size() != i) return false;
            values.push_back(*value);
            return true;
          }};
}

const std::vector<Column>& columns() {
  static const std::vector<Column> table = [] {
    std::vector<Column> c = {
        textColumn("time", &ValuesRow::time), textColumn("step", &ValuesRow::step),
        textColumn("reference", &ValuesRow::reference), textColumn("current", &ValuesRow::current)};
    for (std::size_t i = 0; i < kFeatureCount; ++i)
      c.push_back(entryColumn("reference ", &ValuesRow::referenceValues, i));
    for (std::size_t i = 0; i < kFeatureCount; ++i)
      c.push_back(entryColumn("current ", &ValuesRow::currentValues, i));
    c.push_back(numberColumn("error", &ValuesRow::error));
    c.push_back(numberColumn("tolerance", &ValuesRow::tolerance));
    c.push_back({"verdict",
                 [](const ValuesRow& row) { return row.accepted ? kAccepted : kRejected; },
                 [](const std::string& text, ValuesRow* row) {
                   row->accepted = text == kAccepted;
                   return row->accepted || text == kRejected;
                 }});
    c.push_back(textColumn("snapped", &ValuesRow::snapped));
    c.push_back({"advice", [](const ValuesRow& row) { return row.advice.value_or(""); },
                 [](const std::string& text, ValuesRow* row) {
                   row->advice = text;
                   return true;
                 },
                 true});
    return c;
  }();
  return table;
}

// The columns of the table that every row has.
std::vector<std::string> requiredColumns() {
  std::vector<std::string> names;
  for (const Column& column : columns())
    if (!column.optional) names.push_back(column.name);
  return names;
}

}  // namespace

std::string csvField(const std::string& text) {
  const bool quote = text.find_first_of(",\"\r\n") != std::string::npos ||
                     (!text.empty() && (text.front() == ' ' || text.back() == ' '));
  if (!quote) return text;
  std::string field = "\"";
  for (const char c : text) field += c == '"' ? std::string("\"\"") : std::string(1, c);
  return field + "\"";
}

std::optional<std::vector<std::string>> readCsvRecord(const std::string& text, std::size_t* pos) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  // A CR ends a field only where the CR LF of the line end begins, outside quotes.
  for (std::size_t i = *pos; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c != '"') {
        fields.back() += c;
      } else if (i + 1 < text.size() && text[i + 1] == '"') {
        fields.back() += '"';
        ++i;
      } else {
        quoted = false;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      fields.emplace_back();
    } else if (c == '\n' || (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
      *pos = i + (c == '\r' ? 2 : 1);
      return fields;
    } else {
      fields.back() += c;
    }
  }
  *pos = text.size();
  return std::nullopt;
}

std::vector<std::string> valuesLogColumns() {
  std::vector<std::string> names;
  for (const Column& column : columns()) names.push_back(column.name);
  return names;
}

std::string valuesLogHeader() {
  std::string header;
  for (const std::string& name : valuesLogColumns()) header += (header.empty() ? "" : ",") + name;
  return header + "\r\n";
}

bool isValuesHeader(const std::vector<std::string>& fields) {
  return !fields.empty() && fields[0] == columns().front().name;
}

std::string valuesRowText(const ValuesRow& row) {
  std::string text;
  for (const Column& column : columns())
    text += (&column == &columns().front() ? "" : ",") + csvField(column.write(row));
  return text + "\r\n";
}

std::optional<ValuesRow> readValuesRow(const std::vector<std::string>& header,
                                       const std::vector<std::string>& fields) {
  std::vector<std::string> names = header;
  if (fields.size() != names.size()) {
    names = valuesLogColumns();
    if (fields.size() != names.size()) names = requiredColumns();
    if (fields.size() != names.size()) return std::nullopt;
  }
  ValuesRow row;
  for (const Column& column : columns()) {
    const auto at = std::find(names.begin(), names.end(), column.name);
    if (at == names.end()) {
      if (column.optional) continue;
      return std::nullopt;
    }
    if (!column.read(fields[static_cast<std::size_t>(at - names.begin())], &row))
      return std::nullopt;
  }
  return row;
}

}  // namespace corvantis
