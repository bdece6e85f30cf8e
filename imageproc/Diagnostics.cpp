#include "imageproc/Diagnostics.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace corvantis {

const std::array<const char*, kStageCount> kStageTitles = {"Source image", "Equalized Image",
                                                           "Binary from equalized Image",
                                                           "Corners detected", "Border detected"};

namespace {

constexpr int kFont = cv::FONT_HERSHEY_SIMPLEX;
constexpr double kFontScale = 0.6;
constexpr int kTextBaseline = 20;  // from the top of a title band or value line
constexpr int kValueLineHeight = 24;
constexpr std::uint8_t kSheetBackground = 64;
constexpr std::uint8_t kSheetText = 255;
constexpr char kValuesTitle[] = "Values";
constexpr char kSheetSuffix[] = ".diagnostics.png";

void putLine(cv::Mat& sheet, const std::string& text, int x, int top) {
  cv::putText(sheet, text, cv::Point(x, top + kTextBaseline), kFont, kFontScale,
              cv::Scalar(kSheetText), 1, cv::LINE_AA);
}

bool writeBytes(const std::string& path, const std::vector<uchar>& bytes, std::string* reason) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    *reason = std::strerror(errno);
    return false;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const int writeErrno = errno;
  // A full disk may only show when the buffered rest is flushed by the close.
  const bool closed = std::fclose(file) == 0;
  if (written && closed) return true;
  *reason = std::strerror(written ? errno : writeErrno);
  std::remove(path.c_str());
  return false;
}

}  // namespace

WindowLayout layOutWindows(cv::Size stage, cv::Size screen) {
  const cv::Size area = screen.empty() ? kLayoutArea
                                       : cv::Size(std::min(screen.width, kLayoutArea.width),
                                                  std::min(screen.height, kLayoutArea.height));
  WindowLayout layout;
  double best = -1;
  // The most columns among the grids that show the images largest.
  for (int columns = static_cast<int>(kStageCount); columns >= 1; --columns) {
    const int rows = (static_cast<int>(kStageCount) + columns - 1) / columns;
    const double scale = std::min({1.0, (area.width / columns - kWindowGapX) / double(stage.width),
                                   (area.height / rows - kWindowGapY) / double(stage.height)});
    if (scale <= best) continue;
    best = scale;
    layout.columns = columns;
    layout.shown = cv::Size(std::max(1, static_cast<int>(stage.width * scale)),
                            std::max(1, static_cast<int>(stage.height * scale)));
  }
  for (std::size_t i = 0; i < kStageCount; ++i) {
    const int column = static_cast<int>(i) % layout.columns;
    const int row = static_cast<int>(i) / layout.columns;
    layout.origins[i] =
        cv::Point(column * (std::max(layout.shown.width, kMinWindowSide) + kWindowGapX),
                  row * (std::max(layout.shown.height, kMinWindowSide) + kWindowGapY));
  }
  return layout;
}

void writeDiagnosticValues(const DiagnosticView& view, std::ostream& out) {
  for (const std::string& line : view.valueLines) out << line << '\n' << std::flush;
}

cv::Mat composeDiagnosticSheet(const std::vector<cv::Mat>& stages,
                               const std::vector<std::string>& valueLines) {
  CV_Assert(stages.size() == kStageCount);
  const cv::Size stageSize = stages[0].size();
  const int cellWidth = std::max(stageSize.width, kSheetMinCellWidth);
  const int cellHeight = std::max(stageSize.height, kSheetMinCellHeight);
  const int pitchX = cellWidth + kSheetMargin;
  const int pitchY = kSheetTitleHeight + cellHeight + kSheetMargin;
  cv::Mat sheet(2 * pitchY + kSheetMargin, 3 * pitchX + kSheetMargin, CV_8UC1,
                cv::Scalar(kSheetBackground));

  for (std::size_t i = 0; i <= kStageCount; ++i) {
    const int x = kSheetMargin + static_cast<int>(i % 3) * pitchX;
    const int y = kSheetMargin + static_cast<int>(i / 3) * pitchY;
    if (i == kStageCount) {
      putLine(sheet, kValuesTitle, x, y);
      for (std::size_t n = 0; n < valueLines.size(); ++n) {
        putLine(sheet, valueLines[n], x,
                y + kSheetTitleHeight + static_cast<int>(n) * kValueLineHeight);
      }
      break;
    }
    CV_Assert(stages[i].type() == CV_8UC1 && stages[i].size() == stageSize);
    putLine(sheet, kStageTitles[i], x, y);
    stages[i].copyTo(sheet(cv::Rect(cv::Point(x, y + kSheetTitleHeight), stageSize)));
  }
  return sheet;
}

int writeDiagnosticSheet(const DiagnosticView& view, std::ostream& out, std::ostream& err) {
  writeDiagnosticValues(view, out);
  const std::vector<cv::Mat> stages(view.stages.begin(), view.stages.end());

  std::error_code ec;
  std::filesystem::path path = std::filesystem::current_path(ec);
  path /= view.fileName + kSheetSuffix;
  std::vector<uchar> png;
  std::string reason = "the image cannot be encoded as PNG";
  if (cv::imencode(".png", composeDiagnosticSheet(stages, view.valueLines), png) &&
      writeBytes(path.string(), png, &reason)) {
    err << "corvantis: no display to open windows on; diagnostics written to " << path.string()
        << "\n";
    return 0;
  }
  err << "corvantis: cannot write diagnostics to " << path.string() << ": " << reason << "\n";
  return 1;
}

}  // namespace corvantis
