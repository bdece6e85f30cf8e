// What the view mode shows of an analysis, independent of how it is shown: the five
// stage images with their titles, the five value lines, and the sheet that carries both
// into a PNG file when no window can be opened.
//
// Needs only OpenCV's core, imgproc and imgcodecs, not the analyser: the program hands
// over a finished `DiagnosticView` (ViewPlugin.h makes one from an analyser). The
// windows themselves live in DiagnosticWindows.
#pragma once

#include <array>
#include <cstddef>
#include <opencv2/core.hpp>
#include <ostream>
#include <string>
#include <vector>

namespace corvantis {

constexpr std::size_t kStageCount = 5;

// Window titles, in the order the stages are shown: source, equalised, binary, corners,
// border.
extern const std::array<const char*, kStageCount> kStageTitles;

// What the view mode shows of one image.
struct DiagnosticView {
  // The stage images in the order of kStageTitles, all of one size, 8-bit grey.
  std::array<cv::Mat, kStageCount> stages;
  // "Area: ", "Perimeter: ", "Corners: ", "Angle: " and "Radius: " with their values,
  // without line ends.
  std::vector<std::string> valueLines;
  // The image's file name, which names the sheet.
  std::string fileName;
};

// Writes the value lines of `view` to `out`, one line each, flushed.
void writeDiagnosticValues(const DiagnosticView& view, std::ostream& out);

// Sheet geometry: three cells across and two down, each a title band above an area of
// max(stage width, kSheetMinCellWidth) by max(stage height, kSheetMinCellHeight), with
// kSheetMargin around and between the cells. The stage images sit at the top left of the
// first five areas; the sixth lists the values.
constexpr int kSheetMargin = 12;
constexpr int kSheetTitleHeight = 28;
constexpr int kSheetMinCellWidth = 300;
constexpr int kSheetMinCellHeight = 136;

// The sheet of `stages` (all of one size, 8-bit grey) and `valueLines`, 8-bit grey.
cv::Mat composeDiagnosticSheet(const std::vector<cv::Mat>& stages,
                               const std::vector<std::string>& valueLines);

// Where the five stage windows go: side by side in a grid of `columns` that fits
// `screen` (at most kLayoutArea; kLayoutArea itself when the screen is unknown, empty),
// with room between them for a window manager's frame. Each window shows its image at
// `shown` size, the stage size scaled down only when the grid would not fit otherwise.
struct WindowLayout {
  int columns = 0;
  cv::Size shown;
  std::array<cv::Point, kStageCount> origins;
};
const cv::Size kLayoutArea(1920, 1080);
constexpr int kWindowGapX = 16;
constexpr int kWindowGapY = 48;  // a title bar fits
// Windows of smaller images are still about this wide and high.
constexpr int kMinWindowSide = 120;
WindowLayout layOutWindows(cv::Size stage, cv::Size screen);

// The headless display: writes the five value lines to `out` and the sheet to
// "<file name>.diagnostics.png" in the working directory, whose path goes to `err`.
// Returns 0, or 1 with the reason on `err` when the sheet cannot be written.
int writeDiagnosticSheet(const DiagnosticView& view, std::ostream& out, std::ostream& err);

}  // namespace corvantis
