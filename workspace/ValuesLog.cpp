#include "workspace/ValuesLog.h"

#include <algorithm>

#include "workspace/FileNames.h"
#include "workspace/Journal.h"
#include "workspace/Paths.h"
#include "workspace/TimeText.h"

namespace corvantis {

namespace {

// The log is missing but its first generation is there: a rotation is moving it right
// now, or one was cut short (a check killed between the move and the new file, as older
// versions could be). Either way the log was switched on: once the rotation's lock is
// free, it is started anew unless the rotation has done so. True when the log exists.
bool resumeAfterRotation(Platform& platform, const std::string& logPath,
                         std::ostream& diagnostics) {
  const std::string firstGeneration = rotatedNames(logPath)[0];
  if (!platform.fileSize(firstGeneration)) return false;
  std::unique_ptr<FileLock> lock;
  const Status locked = platform.lockFile(journalLockPath(logPath), kRotateLockMs, &lock);
  if (!locked.ok()) {
    diagnostics << "corvantis: values log row not written: " << locked.message() << "\n";
    return false;
  }
  if (platform.fileExists(logPath)) return true;
  const Status started = platform.writeNewFile(logPath, valuesLogHeader());
  if (!started.ok()) {
    diagnostics << "corvantis: values log row not written: " << started.message() << "\n";
    return platform.fileExists(logPath);
  }
  diagnostics << "corvantis: values log " << logPath << " started anew: " << firstGeneration
              << " was there without it; delete both to switch the log off\n";
  return true;
}

}  // namespace

std::string valuesLogRow(const LocalTime& time, const CheckRecord& record) {
  ValuesRow row;
  row.time = isoTime(time);
  row.step = record.stepId;
  row.reference = fileNameOf(record.referencePath);
  row.current = fileNameOf(record.currentPath);
  row.referenceValues = record.reference;
  row.currentValues = record.current;
  row.referenceValues.resize(std::min(row.referenceValues.size(), kFeatureCount));
  row.currentValues.resize(std::min(row.currentValues.size(), kFeatureCount));
  row.error = record.error;
  row.tolerance = record.tolerance;
  row.accepted = record.accepted;
  for (const std::size_t i : record.snapped) {
    if (i >= kFeatureCount) continue;
    if (!row.snapped.empty()) row.snapped += ' ';
    row.snapped += kEntryNames[i];
  }
  row.advice = record.advice;
  return valuesRowText(row);
}

void appendValuesRow(Platform& platform, const std::string& logPath, const CheckRecord& record,
                     std::ostream& diagnostics) {
  if (!platform.fileExists(logPath) && !resumeAfterRotation(platform, logPath, diagnostics)) return;
  rotateJournal(platform, logPath, diagnostics, valuesLogHeader());
  // After a rotation the log starts afresh, and a reader of that one generation alone
  // still needs the column names.
  const std::optional<std::uint64_t> size = platform.fileSize(logPath);
  std::string data = valuesLogRow(platform.localTime(), record);
  if (!size || *size == 0) data = valuesLogHeader() + data;
  const Status status = platform.appendDurably(logPath, data);
  if (!status.ok())
    diagnostics << "corvantis: values log row not written: " << status.message() << "\n";
}

}  // namespace corvantis
