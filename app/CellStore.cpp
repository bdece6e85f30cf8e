#include "app/CellStore.h"

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <vector>

#include "app/CellFolder.h"
#include "workspace/FileNames.h"
#include "workspace/NumberText.h"
#include "workspace/Paths.h"
#include "workspace/Platform.h"
#include "workspace/ReferenceStore.h"
#include "workspace/StoreRecord.h"

namespace corvantis {
namespace {

// Fields after the name: the time and the five values.
constexpr std::size_t kFieldsAfterName = 1 + kFeatureCount;

bool isWholeNumber(const std::string& field, std::uint64_t* value) {
  const char* end = field.data() + field.size();
  const auto result = std::from_chars(field.data(), end, *value);
  return !field.empty() && result.ec == std::errc() && result.ptr == end;
}

// As the store writes them: no "inf", "nan" or "+", which a check reads as -1.
bool isNumber(const std::string& field, double* value) {
  if (field.empty() || field.find_first_of("-.0123456789") != 0) return false;
  const char* end = field.data() + field.size();
  const auto result = std::from_chars(field.data(), end, *value);
  return !field.empty() && result.ec == std::errc() && result.ptr == end;
}

// A record as the store writes it. The name is split off from the right, since a file
// name may hold commas itself.
bool readRecord(const std::string& line, std::string* name, StoreRecord* record) {
  std::vector<std::string> fields;
  std::size_t end = line.size();
  while (fields.size() < kFieldsAfterName) {
    const std::size_t comma = line.rfind(',', end == 0 ? std::string::npos : end - 1);
    if (end == 0 || comma == std::string::npos) return false;
    fields.insert(fields.begin(), line.substr(comma + 1, end - comma - 1));
    end = comma;
  }
  *name = line.substr(0, end);
  if (!isWholeNumber(fields[0], &record->time)) return false;
  record->values.assign(kFeatureCount, 0.0);
  for (std::size_t i = 0; i < kFeatureCount; ++i) {
    if (!isNumber(fields[i + 1], &record->values[i])) return false;
  }
  // A line the checks skip as a comment is no record of theirs either.
  return name->empty() || (*name)[0] != ';';
}

// 0 with the base directory that `given` names in *base, else the exit status.
int findBase(const std::string& given, std::string* base, std::ostream& err) {
  if (const int status = resolveBaseDirectory(given, base, err)) return status;
  std::error_code ec;
  if (std::filesystem::is_directory(*base, ec)) return 0;
  err << "corvantis-cell: " << *base
      << " is no directory (BASE is a robot folder robots/<name>/ of a cell, or the cell)\n";
  return 1;
}

std::string storeIn(const std::string& base) {
  return (std::filesystem::path(base) / kStoreFileName).string();
}

}  // namespace

std::string isoTime(std::uint64_t seconds) {
  // Days to civil date after Howard Hinnant's days_from_civil inverse, with years
  // counted in eras of 400 so that the arithmetic stays exact.
  const std::uint64_t days = seconds / 86400;
  const unsigned secondOfDay = static_cast<unsigned>(seconds % 86400);
  const std::uint64_t z = days + 719468;
  const std::uint64_t era = z / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned day = doy - (153 * mp + 2) / 5 + 1;
  const unsigned month = mp < 10 ? mp + 3 : mp - 9;
  const std::uint64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  char text[64];
  std::snprintf(text, sizeof text, "%04llu-%02u-%02uT%02u:%02u:%02uZ",
                static_cast<unsigned long long>(year), month, day, secondOfDay / 3600,
                secondOfDay / 60 % 60, secondOfDay % 60);
  return text;
}

int runStoreListing(const CellArgs& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 1) {
    err << "usage: corvantis-cell store BASE\n";
    return kCellUsageError;
  }
  std::string base;
  if (const int status = findBase(args[0], &base, err)) return status;
  const std::string path = storeIn(base);
  Platform& platform = defaultPlatform();
  if (!platform.fileExists(path)) {
    err << "corvantis-cell: " << path << " does not exist yet: no check has stored a reference\n";
    return 0;
  }
  std::string content;
  const Status read = platform.readFile(path, &content);
  if (!read.ok()) {
    err << "corvantis-cell: " << read.message() << "\n";
    return 1;
  }
  std::vector<std::string> unreadable;
  std::size_t pos = 0;
  std::string line;
  for (std::size_t number = 1; readLine(content, &pos, &line); ++number) {
    std::string name;
    StoreRecord record;
    if (!readRecord(line, &name, &record)) {
      unreadable.push_back("line " + std::to_string(number) + " is no record: " + line);
      continue;
    }
    out << name << '\t' << isoTime(record.time);
    for (const double value : record.values) out << '\t' << formatStoreNumber(value);
    out << '\n';
  }
  for (const std::string& text : unreadable) out << text << '\n';
  return 0;
}

int runForget(const CellArgs& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 2) {
    err << "usage: corvantis-cell forget BASE NAME\n";
    return kCellUsageError;
  }
  std::string base;
  if (const int status = findBase(args[0], &base, err)) return status;
  const std::string path = storeIn(base);
  Platform& platform = defaultPlatform();
  // Opening a store creates it, and falls back to one in the working directory: neither
  // is wanted when there is nothing to forget.
  if (!platform.fileExists(path)) {
    err << "corvantis-cell: " << path << " does not exist: there is nothing to forget\n";
    return 1;
  }
  std::string content;
  const Status read = platform.readFile(path, &content);
  if (!read.ok()) {
    err << "corvantis-cell: " << read.message() << "\n";
    return 1;
  }
  const std::string key = fileNameOf(args[1]);
  // The temporary file of the update lies beside the store, on the same file system.
  std::ostringstream told;
  ReferenceStore store(path, path, platform, told);
  const bool removed = store.remove(key);
  relayMessages(told.str(), err);
  if (!removed) return 1;
  out << "forgot " << key << ": the next check computes its signature again\n";
  return 0;
}

}  // namespace corvantis
