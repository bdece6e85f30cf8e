#include "workspace/JournalLine.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "workspace/NumberText.h"

namespace corvantis {

const VerdictWording kVerdictWording = {
    "Step: ", ", Image: ", ", Status: ", "accepted", "rejected", ", Image error: ", ", Tolerance: ",
};

namespace {

// A stamp of a time whose every field is written with digits only: the parser takes the
// layout from it, so a line's stamp has digits where it has digits and the same
// characters elsewhere.
const std::string& sampleStamp() {
  static const std::string stamp = journalStamp(LocalTime{2000, 1, 1, 0, 0, 0, 0});
  return stamp;
}

bool hasStamp(const std::string& line) {
  const std::string& sample = sampleStamp();
  if (line.size() < sample.size()) return false;
  for (std::size_t i = 0; i < sample.size(); ++i) {
    const bool digit = std::isdigit(static_cast<unsigned char>(sample[i])) != 0;
    if (digit ? !std::isdigit(static_cast<unsigned char>(line[i])) : line[i] != sample[i])
      return false;
  }
  return true;
}

// The time in a stamp: from its first digit to its last.
std::string stampTime(const std::string& line) {
  const std::string& sample = sampleStamp();
  const std::size_t first = sample.find_first_of("0123456789");
  const std::size_t last = sample.find_last_of("0123456789");
  return line.substr(first, last + 1 - first);
}

bool endsWith(const std::string& text, std::size_t end, const std::string& tail) {
  return end >= tail.size() && text.compare(end - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

std::string journalStamp(const LocalTime& time) {
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "[%02u/%02u/%04u %02u:%02u:%02u] - ", time.day, time.month,
                time.year, time.hour, time.minute, time.second);
  return stamp;
}

std::string journalLine(const LocalTime& time, const std::string& text) {
  std::string line = journalStamp(time);
  for (const char c : text) line += (c == '\r' || c == '\n') ? ' ' : c;
  line += "\r\n";
  return line;
}

std::string composeVerdictLine(const std::string& stepId, const std::string& imageName,
                               bool accepted, double error, double tolerance,
                               const VerdictWording& w) {
  return w.step + stepId + w.image + imageName + w.status + (accepted ? w.accepted : w.rejected) +
         w.error + formatNumber(error) + w.tolerance + formatNumber(tolerance);
}

std::optional<VerdictLine> parseVerdictLine(const std::string& line, const VerdictWording& w) {
  if (!hasStamp(line)) return std::nullopt;
  const std::string text = line.substr(sampleStamp().size());
  const std::size_t stepStart = std::strlen(w.step), errorLength = std::strlen(w.error);
  const std::size_t tolerance = text.rfind(w.tolerance);
  if (text.rfind(w.step, 0) != 0 || tolerance == std::string::npos || tolerance < errorLength)
    return std::nullopt;
  const std::size_t error = text.rfind(w.error, tolerance - errorLength);
  if (error == std::string::npos) return std::nullopt;
  const std::string accepted = std::string(w.status) + w.accepted;
  const std::string rejected = std::string(w.status) + w.rejected;
  VerdictLine entry;
  entry.accepted = endsWith(text, error, accepted);
  if (!entry.accepted && !endsWith(text, error, rejected)) return std::nullopt;
  const std::size_t headEnd = error - (entry.accepted ? accepted : rejected).size();
  if (headEnd < stepStart) return std::nullopt;
  const std::string head = text.substr(stepStart, headEnd - stepStart);
  const std::size_t image = head.find(w.image);
  const std::optional<double> errorValue =
      readWholeNumber(text.substr(error + errorLength, tolerance - error - errorLength));
  const std::optional<double> toleranceValue =
      readWholeNumber(text.substr(tolerance + std::strlen(w.tolerance)));
  if (image == std::string::npos || !errorValue || !toleranceValue) return std::nullopt;
  entry.time = stampTime(line);
  entry.step = head.substr(0, image);
  entry.image = head.substr(image + std::strlen(w.image));
  entry.error = *errorValue;
  entry.tolerance = *toleranceValue;
  return entry;
}

}  // namespace corvantis
