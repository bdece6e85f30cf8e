#include "workspace/RejectArchive.h"

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

#include "workspace/FileNames.h"

namespace corvantis {

namespace {

bool isSafe(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '-' || c == '_';
}

// "YYYYMMDD-HHMMSS_...": what archiveName gives. Anything else a person put there stays.
bool isArchiveName(const std::string& name) {
  const auto digits = [&](std::size_t from, std::size_t count) {
    return std::all_of(name.begin() + from, name.begin() + from + count,
                       [](char c) { return c >= '0' && c <= '9'; });
  };
  return name.size() > 16 && digits(0, 8) && name[8] == '-' && digits(9, 6) && name[15] == '_';
}

// `fileName` within `room` bytes, cut before its extension.
std::string shortened(const std::string& fileName, std::size_t room) {
  if (fileName.size() <= room) return fileName;
  const std::size_t dot = fileName.rfind('.');
  std::string extension = dot == std::string::npos || dot == 0 ? "" : fileName.substr(dot);
  // An "extension" that long is rather part of the name.
  if (extension.size() > room / 2) extension.clear();
  std::size_t keep = room - extension.size();
  while (keep > 0 && (static_cast<unsigned char>(fileName[keep]) & 0xC0) == 0x80) --keep;
  return fileName.substr(0, keep) + extension;
}

// Oldest first, so what has to go is at the front. A file that cannot be deleted (no
// rights, held open on Windows) is passed over: the next one goes in its place, so the
// archive still keeps within the limits.
void dropOldest(Platform& platform, const std::string& rejectsDir, const ArchiveLimits& limits,
                std::vector<DirectoryEntry> entries, std::ostream& diagnostics) {
  entries.erase(std::remove_if(entries.begin(), entries.end(),
                               [](const DirectoryEntry& e) { return !isArchiveName(e.name); }),
                entries.end());
  std::sort(entries.begin(), entries.end(),
            [](const DirectoryEntry& a, const DirectoryEntry& b) { return a.name < b.name; });
  std::uint64_t bytes = 0;
  for (const DirectoryEntry& entry : entries) bytes += entry.size;
  std::size_t count = entries.size();
  for (const DirectoryEntry& entry : entries) {
    if (count <= limits.maxFiles && bytes <= limits.maxBytes) break;
    const Status deleted = platform.deleteFile(rejectsDir + kPathSeparator + entry.name);
    if (!deleted.ok()) {
      diagnostics << "corvantis: reject archive: " << deleted.message() << "\n";
      continue;
    }
    --count;
    bytes -= entry.size;
  }
}

std::string safeStepName(const std::string& stepId) {
  std::string safe = stepId.substr(0, kArchiveMaxStepChars);
  for (char& c : safe)
    if (!isSafe(c)) c = '_';
  return safe;
}

}  // namespace

std::string archiveName(const LocalTime& time, const std::string& stepId,
                        const std::string& fileName) {
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%04u%02u%02u-%02u%02u%02u_", time.year, time.month, time.day,
                time.hour, time.minute, time.second);
  const std::string prefix = stamp + safeStepName(stepId) + "_";
  return prefix + shortened(fileName, kArchiveMaxNameBytes - prefix.size());
}

void archiveReject(Platform& platform, const std::string& rejectsDir,
                   const std::string& currentPath, const std::string& stepId,
                   std::ostream& diagnostics, const ArchiveLimits& limits) {
  std::vector<DirectoryEntry> entries;
  if (!platform.listDirectory(rejectsDir, &entries).ok()) return;
  const std::string name = archiveName(platform.localTime(), stepId, fileNameOf(currentPath));
  const std::string target = rejectsDir + kPathSeparator + name;
  // The same capture rejected twice in one second is the same evidence: kept once.
  if (platform.fileExists(target)) return;
  const Status kept = platform.copyFile(currentPath, target);
  if (!kept.ok()) {
    diagnostics << "corvantis: capture not kept in the reject archive: " << kept.message() << "\n";
    return;
  }
  // The listing taken before the copy, with the new file: a second listing would stat
  // every archived file once more in every rejected check.
  entries.push_back({name, platform.fileSize(target).value_or(0)});
  dropOldest(platform, rejectsDir, limits, std::move(entries), diagnostics);
}

}  // namespace corvantis
