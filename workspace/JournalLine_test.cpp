#include "workspace/JournalLine.h"

#include <gtest/gtest.h>

#include <cmath>

namespace corvantis {
namespace {

const LocalTime kTime{2026, 12, 5, 7, 4, 9, 60};

// What the reader makes of a line the writer wrote.
std::optional<VerdictLine> roundTrip(const std::string& step, const std::string& image,
                                     bool accepted, double error, double tolerance,
                                     const VerdictWording& wording = kVerdictWording) {
  std::string line =
      journalLine(kTime, composeVerdictLine(step, image, accepted, error, tolerance, wording));
  EXPECT_EQ("\r\n", line.substr(line.size() - 2));
  line.resize(line.size() - 2);
  return parseVerdictLine(line, wording);
}

// Step and image are free text: whatever they hold, the status, error and tolerance
// read back as written. Only a step holding the image words is read shorter.
TEST(JournalLineTest, StatusErrorAndToleranceReadBackWhateverStepAndImageHold) {
  const struct {
    std::string step, image;
    bool accepted;
    double error, tolerance;
    std::string readStep, readImage;
  } cases[] = {
      {"left, 2", "cap 1.png", true, 0.0123456, 0.1, "left, 2", "cap 1.png"},
      {"x, Status: accepted, Image error: 0, Tolerance: 1", "c.png", false, 0.5, 0.1,
       "x, Status: accepted, Image error: 0, Tolerance: 1", "c.png"},
      {"s", "c, Status: accepted.png", false, 0.0219775, 0.0219775, "s", "c, Status: accepted.png"},
      {"s", "c, Tolerance: 9.png", true, 0, 0, "s", "c, Tolerance: 9.png"},
      {"a, Image: b", "c.png", false, INFINITY, 0.2, "a", "b, Image: c.png"},
      {"two\r\nlines", "", false, 1, 1e-7, "two  lines", ""},
  };
  for (const auto& c : cases) {
    const std::optional<VerdictLine> read =
        roundTrip(c.step, c.image, c.accepted, c.error, c.tolerance);
    ASSERT_TRUE(read) << c.step;
    EXPECT_EQ("05/12/2026 07:04:09", read->time);
    EXPECT_EQ(c.readStep, read->step);
    EXPECT_EQ(c.readImage, read->image) << c.step;
    EXPECT_EQ(c.accepted, read->accepted) << c.step;
    EXPECT_EQ(c.error, read->error) << c.step;
    EXPECT_EQ(c.tolerance, read->tolerance) << c.step;
  }
  EXPECT_TRUE(std::isnan(roundTrip("s", "c.png", false, NAN, 0.1)->error));
}

// The line is worded in this unit alone: reworded, the reader follows the writer.
TEST(JournalLineTest, ARewordedLineIsReadAsItIsWritten) {
  const VerdictWording reworded = {"Station ", " / file ", " -> ",    "OK",
                                   "NOK",      " (error ", ") limit "};
  const std::optional<VerdictLine> read = roundTrip("7, OK", "p.png", false, 0.25, 0.1, reworded);
  ASSERT_TRUE(read);
  EXPECT_EQ("7, OK", read->step);
  EXPECT_FALSE(read->accepted);
  EXPECT_EQ(0.25, read->error);
  EXPECT_FALSE(
      parseVerdictLine(journalLine(kTime, composeVerdictLine("7", "p", true, 0, 0, reworded))));
}

TEST(JournalLineTest, LinesThatAreNoVerdictOrWereCutShortAreNone) {
  const std::string stamp = journalStamp(kTime);
  EXPECT_EQ("[05/12/2026 07:04:09] - ", stamp);
  const std::string whole = composeVerdictLine("s", "c.png", true, 0.05, 0.1);
  // Cut inside the tolerance, a line still reads ("0." is a number): the missing line
  // end tells the reader of a file that it was cut.
  for (std::size_t cut = 0; cut + 3 <= whole.size(); ++cut)
    EXPECT_FALSE(parseVerdictLine(stamp + whole.substr(0, cut))) << cut;
  for (const std::string& line :
       {whole, stamp + "cell restarted", "[5/12/2026 07:04:09] - " + whole,
        stamp + "Step: s, Image: c, Status: maybe, Image error: 0, Tolerance: 0.1",
        stamp + "Step: s, Image: c, Status: accepted, Image error: 0x1, Tolerance: 0.1",
        stamp + "Step: s, Image: c, Status: accepted, Image error:  1, Tolerance: 0.1"})
    EXPECT_FALSE(parseVerdictLine(line)) << line;
  EXPECT_TRUE(parseVerdictLine(stamp + whole));
}

}  // namespace
}  // namespace corvantis
