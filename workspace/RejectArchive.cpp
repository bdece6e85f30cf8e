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

// Oldest first, so what has to go is at the front.
void dropOldest(Platform& platform, const std::string& rejectsDir, const ArchiveLimits& limits,
                std::vector<DirectoryEntry> entries, std::ostream& diagnostics) {
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
      return;
    }
    --count;
    bytes -= entry.size;
  }
}

}  // namespace

std::string safeStepName(const std::string& stepId) {
  std::string safe = stepId.substr(0, kArchiveMaxStepChars);
  for (char& c : safe)
    if (!isSafe(c)) c = '_';
  return safe;
}

std::string archiveName(const LocalTime& time, const std::string& stepId,
                        const std::string& fileName) {
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%04u%02u%02u-%02u%02u%02u_", time.year, time.month, time.day,
                time.hour, time.minute, time.second);
  return stamp + safeStepName(stepId) + "_" + fileName;
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
  const Status kept = platform.linkOrCopy(currentPath, target);
  if (!kept.ok()) {
    diagnostics << "corvantis: capture not kept in the reject archive: " << kept.message() << "\n";
    return;
  }
  // The listing taken before the link, with the new file: a second listing would stat
  // every archived file once more in every rejected check.
  entries.push_back({name, platform.fileSize(target).value_or(0)});
  dropOldest(platform, rejectsDir, limits, std::move(entries), diagnostics);
}

}  // namespace corvantis
