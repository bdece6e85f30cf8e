#include "workspace/ValuesLog.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "workspace/FileNames.h"
#include "workspace/Journal.h"

namespace corvantis {

namespace {

std::string isoTime(const LocalTime& time) {
  const int offset = std::abs(time.utcOffsetMinutes);
  char text[64];
  std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u%c%02d:%02d", time.year,
                time.month, time.day, time.hour, time.minute, time.second,
                time.utcOffsetMinutes < 0 ? '-' : '+', offset / 60, offset % 60);
  return text;
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
  if (!platform.fileExists(logPath)) return;
  rotateJournal(platform, logPath, diagnostics);
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
