#include "cell/CellStore.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>
#include <vector>

#include "cell/CellFolder.h"
#include "workspace/FileNames.h"
#include "workspace/NumberText.h"
#include "workspace/Paths.h"
#include "workspace/Platform.h"
#include "workspace/ReferenceStore.h"
#include "workspace/StoreRecord.h"
#include "workspace/TimeText.h"

namespace corvantis {
namespace {

// 0 with the base directory that `given` names in *base, else the exit status.
int findBase(const std::string& given, std::string* base, std::ostream& err) {
  if (const int status = resolveBaseDirectory(given, base, err)) return status;
  std::error_code ec;
  if (std::filesystem::is_directory(*base, ec)) return 0;
  err << "corvantis-cell: " << *base
      << " is no directory (BASE is a robot folder robots/<name>/ of a cell, or the cell)\n";
  return 1;
}

// The keys of the records in `content` whose last part is `name`, each once, in the
// order of the store.
std::string keysOfFileName(const std::string& content, const std::string& name) {
  std::vector<std::string> keys;
  std::size_t pos = 0;
  std::string line;
  StoreRecord record;
  while (readLine(content, &pos, &line)) {
    if (!parseRecord(line, &record) || fileNameOf(record.key) != name) continue;
    if (std::find(keys.begin(), keys.end(), record.key) == keys.end()) keys.push_back(record.key);
  }
  std::string text;
  for (const std::string& key : keys) text += (text.empty() ? "" : ", ") + key;
  return text;
}

std::string storeIn(const std::string& base) {
  return (std::filesystem::path(base) / kStoreFileName).string();
}

}  // namespace

int runStoreListing(const CellArgs& args, std::ostream& out, std::ostream& err) {
  return runStoreListing(args, out, err, defaultPlatform());
}

int runStoreListing(const CellArgs& args, std::ostream& out, std::ostream& err,
                    Platform& platform) {
  if (args.size() != 1) {
    err << "usage: corvantis-cell store BASE\n";
    return kCellUsageError;
  }
  std::string base;
  if (const int status = findBase(args[0], &base, err)) return status;
  const std::string path = storeIn(base);
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
  std::vector<std::string> notes;
  std::map<std::string, std::size_t> firstLines;  // the line of each key that checks read
  std::size_t pos = 0;
  std::string line;
  for (std::size_t number = 1; readLine(content, &pos, &line); ++number) {
    const std::string at = "line " + std::to_string(number);
    StoreRecord record;
    if (!parseRecord(line, &record)) {
      notes.push_back(at + " is no record: " + line);
      continue;
    }
    const auto first = firstLines.emplace(record.key, number);
    if (!first.second) {
      notes.push_back(at + " is not read: line " + std::to_string(first.first->second) +
                      " holds the record of " + record.key + ": " + line);
    } else if (!record.distrust.empty()) {
      notes.push_back(at + " is not trusted (" + record.distrust +
                      "), so a check computes its reference again: " + line);
    } else {
      out << record.key << '\t' << isoUtcTime(record.time);
      for (const double value : record.values) out << '\t' << formatStoreNumber(value);
      out << '\n';
    }
  }
  for (const std::string& text : notes) out << text << '\n';
  return 0;
}

int runForget(const CellArgs& args, std::ostream& out, std::ostream& err) {
  return runForget(args, out, err, defaultPlatform());
}

int runForget(const CellArgs& args, std::ostream& out, std::ostream& err, Platform& platform) {
  if (args.size() != 2) {
    err << "usage: corvantis-cell forget BASE REF\n";
    return kCellUsageError;
  }
  std::string base;
  if (const int status = findBase(args[0], &base, err)) return status;
  const std::string path = storeIn(base);
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
  const std::string key = storeKeyOf(args[1]);
  // The temporary file of the update lies beside the store, on the same file system.
  std::ostringstream told;
  ReferenceStore store(path, path, platform, told);
  const bool removed = store.remove(key);
  relayMessages(told.str(), err);
  if (!removed) {
    const std::string others = keysOfFileName(content, fileNameOf(key));
    if (!others.empty()) err << "corvantis-cell: records of that file name: " << others << "\n";
    return 1;
  }
  out << "forgot " << key << ": the next check computes its signature again\n";
  return 0;
}

}  // namespace corvantis
