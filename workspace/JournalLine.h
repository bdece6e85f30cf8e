// The journal line: its time stamp, the verdict text a check writes, and the parser that
// reads both back. The writer (the check and Journal.cpp) and the reader (the report) use
// this unit alone, so a line reworded here is read as it is written.
//
// A line is "[dd/mm/yyyy hh:mm:ss] - " followed by the text; a verdict text is
// "Step: <step>, Image: <image>, Status: accepted|rejected, Image error: <e>, Tolerance: <t>"
// with both numbers as formatNumber writes them. Step and image are free text, so the
// parser takes the verdict apart from the end. Pure functions; no OpenCV.
#pragma once

#include <optional>
#include <string>

#include "workspace/Platform.h"

namespace corvantis {

// The fixed words of a verdict text, in the order they appear.
struct VerdictWording {
  const char* step;      // before the step id, at the start of the text
  const char* image;     // between step id and image name
  const char* status;    // before the status word
  const char* accepted;  // the status words
  const char* rejected;
  const char* error;      // before the image error
  const char* tolerance;  // before the tolerance, last in the text
};

// The wording every check writes.
extern const VerdictWording kVerdictWording;

// "[dd/mm/yyyy hh:mm:ss] - " for `time`.
std::string journalStamp(const LocalTime& time);

// journalStamp(time) + text + CR LF, with every CR or LF inside `text` written as a blank
// so that the text cannot split or forge journal lines.
std::string journalLine(const LocalTime& time, const std::string& text);

// The verdict text of one check.
std::string composeVerdictLine(const std::string& stepId, const std::string& imageName,
                               bool accepted, double error, double tolerance,
                               const VerdictWording& wording = kVerdictWording);

// What one journal line says about its check.
struct VerdictLine {
  std::string time;  // as the stamp writes it, "dd/mm/yyyy hh:mm:ss"
  std::string step;
  std::string image;
  bool accepted = false;
  double error = 0;  // as printed: 6 significant digits
  double tolerance = 0;
};

// The verdict in one journal line (without its line end); nothing when the line is no
// verdict line or was cut short. The tolerance is what follows the last tolerance words,
// the error what lies between them and the last error words before them, and the status
// word must end the text before that; a step or image holding any of these words can
// therefore neither move nor hide the status. Step and image part at the first image
// words, so a step that holds them is read shorter than it was written.
std::optional<VerdictLine> parseVerdictLine(const std::string& line,
                                            const VerdictWording& wording = kVerdictWording);

}  // namespace corvantis
