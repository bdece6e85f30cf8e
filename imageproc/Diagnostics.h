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

#include "workspace/Status.h"

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
  // The corners found, (x, y) with x the column, for the sheet to circle in colour.
  std::vector<cv::Point2f> corners;
  // The image advice, "<code>: <text>" each; none when the signature describes a shape.
  std::vector<std::string> adviceLines;
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

// The sheet of `stages` (all of one size and type) and `valueLines`, of the stages' type.
cv::Mat composeDiagnosticSheet(const std::vector<cv::Mat>& stages,
                               const std::vector<std::string>& valueLines);

// What a sheet adds to the windows, which keep the plain grey of the display: colour,
// so the corners stand out, and a title that names the image and its five values.
// The corners are circled in this colour (BGR), where the windows draw grey level 120.
const cv::Scalar kSheetCornerColour(0, 0, 255);

// The five stages of `view` in BGR, the corners circled in kSheetCornerColour.
std::vector<cv::Mat> sheetStages(const DiagnosticView& view);
// "<file name>: Area a, Perimeter p, Corners c, Angle x, Radius r".
std::string sheetTitle(const DiagnosticView& view);
// `sheet` below a title band of kSheetTitleHeight carrying `title`.
cv::Mat withTitleBand(const cv::Mat& sheet, const std::string& title);
// `sheet` above a band that carries `lines`, each broken into lines as wide as the
// sheet; `sheet` itself when there are none.
cv::Mat withTextBand(const cv::Mat& sheet, const std::vector<std::string>& lines);

// A comparison sheet fits a full HD screen's width: its stages are scaled down to at most
// kSheetMaxStageWidth each, five of them side by side with their margins.
constexpr int kSheetMaxWidth = 1920;
constexpr int kSheetMaxStageWidth =
    (kSheetMaxWidth - (static_cast<int>(kStageCount) + 1) * kSheetMargin) /
    static_cast<int>(kStageCount);
// `view` with its stages scaled down (and its corners with them) to kSheetMaxStageWidth
// when they are wider; as it is otherwise.
DiagnosticView fittedToSheet(const DiagnosticView& view);

// A sheet that sets analyses side by side: one row per analysis, its title above its
// five stages left to right, each stage area as large as the largest of its column;
// below them `text`, one line per row, the cells of rows of more than one cell lined
// up in columns.
cv::Mat composeComparisonSheet(const std::vector<std::string>& titles,
                               const std::vector<std::vector<cv::Mat>>& rows,
                               const std::vector<std::vector<std::string>>& text);

// The PNG file of `sheet` into *png; an error when it cannot be encoded.
Status encodeSheet(const cv::Mat& sheet, std::string* png);
// Encodes `sheet` as PNG into `path`; an error "<path>: <reason>" when it cannot.
Status writeSheetFile(const cv::Mat& sheet, const std::string& path);

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

// The headless display: writes the five value lines to `out` and the sheet, with the
// advice below the stages, to
// "<file name>.diagnostics.png" in the working directory, whose path goes to `err`.
// Returns 0, or 1 with the reason on `err` when the sheet cannot be written.
int writeDiagnosticSheet(const DiagnosticView& view, std::ostream& out, std::ostream& err);

}  // namespace corvantis
