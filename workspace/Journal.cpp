#include "workspace/Journal.h"

#include <cstdio>
#include <vector>

#include "workspace/Paths.h"

namespace corvantis {

std::string journalLine(const LocalTime& time, const std::string& text) {
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "[%02u/%02u/%04u %02u:%02u:%02u] - ", time.day, time.month,
                time.year, time.hour, time.minute, time.second);
  std::string line = stamp;
  for (const char c : text) line += (c == '\r' || c == '\n') ? ' ' : c;
  line += "\r\n";
  return line;
}

void rotateJournal(Platform& platform, const std::string& journalPath) {
  const std::optional<std::uint64_t> size = platform.fileSize(journalPath);
  if (!size || *size / 1024 < kRotateKiB) return;
  const std::vector<std::string> names = rotatedNames(journalPath);
  if (platform.fileExists(names[4])) platform.deleteFile(names[4]);
  // The moves never replace: when a generation could not be moved on (or another check
  // rotated at the same moment), its content stays and the newer one keeps its name,
  // so no journal content is lost by a rotation other than the oldest generation.
  for (std::size_t n = names.size() - 1; n >= 1; --n)
    platform.moveNoReplace(names[n - 1], names[n]);
  platform.moveNoReplace(journalPath, names[0]);
}

void writeJournalLine(Platform& platform, const std::string& journalPath, const std::string& text,
                      std::ostream& diagnostics) {
  rotateJournal(platform, journalPath);
  const Status status =
      platform.appendDurably(journalPath, journalLine(platform.localTime(), text));
  if (!status.ok())
    diagnostics << "corvantis: journal line not written: " << status.message() << "\n";
}

}  // namespace corvantis
