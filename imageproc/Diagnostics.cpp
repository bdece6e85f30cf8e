#include "imageproc/Diagnostics.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <utility>
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
constexpr std::size_t kCornersStage = 3;

void putLine(cv::Mat& sheet, const std::string& text, int x, int top) {
  cv::putText(sheet, text, cv::Point(x, top + kTextBaseline), kFont, kFontScale,
              cv::Scalar::all(kSheetText), 1, cv::LINE_AA);
}

int widthOf(const std::string& text) {
  int baseline = 0;
  return cv::getTextSize(text, kFont, kFontScale, 1, &baseline).width;
}

Status writeBytes(const std::string& path, const std::string& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return Status::error(path, std::strerror(errno));
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const int writeErrno = errno;
  // A full disk may only show when the buffered rest is flushed by the close.
  const bool closed = std::fclose(file) == 0;
  if (written && closed) return Status::success();
  const Status failed = Status::error(path, std::strerror(written ? errno : writeErrno));
  std::remove(path.c_str());
  return failed;
}

// `line` broken between words into lines of at most `width` pixels; a single word
// wider than that stands on a line of its own.
std::vector<std::string> wrapped(const std::string& line, int width) {
  std::vector<std::string> lines;
  std::string current;
  std::size_t start = 0;
  while (start < line.size()) {
    const std::size_t end = std::min(line.find(' ', start), line.size());
    const std::string word = line.substr(start, end - start);
    const std::string longer = current.empty() ? word : current + " " + word;
    if (!current.empty() && widthOf(longer) > width) {
      lines.push_back(current);
      current = word;
    } else {
      current = longer;
    }
    start = end + 1;
  }
  lines.push_back(current);
  return lines;
}

// Where the cells of the multi-cell text rows go: columns two margins apart, a column
// whose cells below its heading are all numbers set flush right, as a table of figures
// is read. `width` is that of the widest multi-cell row or single word: single-cell rows
// (sentences of advice) are wrapped to the sheet rather than widen it.
struct TableLayout {
  std::vector<int> left, widths;
  std::vector<bool> numeric;
  int width = 0;
};

bool isNumberText(const std::string& text) {
  if (text == "inf" || text == "-inf" || text == "nan") return true;
  return !text.empty() && text.find_first_not_of("0123456789.-+e") == std::string::npos;
}

TableLayout layOutTable(const std::vector<std::vector<std::string>>& text) {
  TableLayout table;
  bool heading = true;
  for (const std::vector<std::string>& row : text) {
    if (row.size() < 2) {
      // A sentence is wrapped to the sheet; only a word no line break can split widens it.
      for (const std::string& word : wrapped(row.empty() ? "" : row[0], 0))
        table.width = std::max(table.width, widthOf(word));
      continue;
    }
    if (row.size() > table.widths.size()) {
      table.widths.resize(row.size(), 0);
      table.numeric.resize(row.size(), true);
    }
    for (std::size_t c = 0; c < row.size(); ++c) {
      table.widths[c] = std::max(table.widths[c], widthOf(row[c]));
      if (!heading && !isNumberText(row[c])) table.numeric[c] = false;
    }
    heading = false;
  }
  int x = 0;
  for (const int w : table.widths) {
    table.left.push_back(x);
    x += w + 2 * kSheetMargin;
  }
  table.width = std::max(table.width, x - 2 * kSheetMargin);
  return table;
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
  cv::Mat sheet(2 * pitchY + kSheetMargin, 3 * pitchX + kSheetMargin, stages[0].type(),
                cv::Scalar::all(kSheetBackground));

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
    CV_Assert(stages[i].type() == sheet.type() && stages[i].size() == stageSize);
    putLine(sheet, kStageTitles[i], x, y);
    stages[i].copyTo(sheet(cv::Rect(cv::Point(x, y + kSheetTitleHeight), stageSize)));
  }
  return sheet;
}

int writeDiagnosticSheet(const DiagnosticView& view, std::ostream& out, std::ostream& err) {
  writeDiagnosticValues(view, out);

  std::error_code ec;
  std::filesystem::path path = std::filesystem::current_path(ec);
  path /= view.fileName + kSheetSuffix;
  const cv::Mat sheet = withTextBand(
      withTitleBand(composeDiagnosticSheet(sheetStages(view), view.valueLines), sheetTitle(view)),
      view.adviceLines);
  const Status written = writeSheetFile(sheet, path.string());
  if (written.ok()) {
    err << "corvantis: no display to open windows on; diagnostics written to " << path.string()
        << "\n";
    return 0;
  }
  err << "corvantis: cannot write diagnostics to " << path.string() << ": " << written.reason()
      << "\n";
  return 1;
}

std::vector<cv::Mat> sheetStages(const DiagnosticView& view) {
  std::vector<cv::Mat> stages;
  for (const cv::Mat& stage : view.stages) {
    cv::Mat colour;
    cv::cvtColor(stage, colour, cv::COLOR_GRAY2BGR);
    stages.push_back(colour);
  }
  // The same circles as the corners window, over its grey ones, so each corner stands
  // out on the grey image without moving.
  for (const cv::Point2f& corner : view.corners) {
    const cv::Point centre(cvRound(corner.x), cvRound(corner.y));
    cv::circle(stages[kCornersStage], centre, 5, kSheetCornerColour, 1, cv::LINE_8, 0);
  }
  return stages;
}

std::string sheetTitle(const DiagnosticView& view) {
  std::string title = view.fileName + ":";
  const char* separator = " ";
  for (std::string line : view.valueLines) {
    line.erase(line.find(':'), 1);
    title += separator + line;
    separator = ", ";
  }
  return title;
}

cv::Mat withTitleBand(const cv::Mat& sheet, const std::string& title) {
  cv::Mat titled(sheet.rows + kSheetTitleHeight, sheet.cols, sheet.type(),
                 cv::Scalar::all(kSheetBackground));
  putLine(titled, title, kSheetMargin, kSheetMargin / 2);
  sheet.copyTo(titled(cv::Rect(0, kSheetTitleHeight, sheet.cols, sheet.rows)));
  return titled;
}

cv::Mat withTextBand(const cv::Mat& sheet, const std::vector<std::string>& lines) {
  if (lines.empty()) return sheet;
  std::vector<std::string> broken;
  for (const std::string& line : lines) {
    for (std::string& piece : wrapped(line, sheet.cols - 2 * kSheetMargin))
      broken.push_back(std::move(piece));
  }
  cv::Mat banded(sheet.rows + static_cast<int>(broken.size()) * kValueLineHeight + kSheetMargin,
                 sheet.cols, sheet.type(), cv::Scalar::all(kSheetBackground));
  sheet.copyTo(banded(cv::Rect(0, 0, sheet.cols, sheet.rows)));
  for (std::size_t n = 0; n < broken.size(); ++n)
    putLine(banded, broken[n], kSheetMargin, sheet.rows + static_cast<int>(n) * kValueLineHeight);
  return banded;
}

DiagnosticView fittedToSheet(const DiagnosticView& view) {
  const cv::Size size = view.stages[0].size();
  if (size.width <= kSheetMaxStageWidth) return view;
  const double scale = static_cast<double>(kSheetMaxStageWidth) / size.width;
  const cv::Size shown(kSheetMaxStageWidth, std::max(1, cvRound(size.height * scale)));
  DiagnosticView fitted = view;
  // Area interpolation keeps thin borders and corner marks visible as grey, where
  // nearest-neighbour sampling would drop most of them.
  for (cv::Mat& stage : fitted.stages) {
    cv::Mat smaller;
    cv::resize(stage, smaller, shown, 0, 0, cv::INTER_AREA);
    stage = smaller;
  }
  for (cv::Point2f& corner : fitted.corners) corner *= scale;
  return fitted;
}

cv::Mat composeComparisonSheet(const std::vector<std::string>& titles,
                               const std::vector<std::vector<cv::Mat>>& rows,
                               const std::vector<std::vector<std::string>>& text) {
  CV_Assert(titles.size() == rows.size() && !rows.empty());
  std::vector<int> widths(kStageCount, kSheetMinCellWidth);
  std::vector<int> heights;
  for (const std::vector<cv::Mat>& row : rows) {
    CV_Assert(row.size() == kStageCount);
    int height = 0;
    for (std::size_t i = 0; i < kStageCount; ++i) {
      widths[i] = std::max(widths[i], row[i].cols);
      height = std::max(height, row[i].rows);
    }
    heights.push_back(height);
  }
  const TableLayout table = layOutTable(text);
  int textWidth = table.width;
  for (const std::string& title : titles) textWidth = std::max(textWidth, widthOf(title));

  int width = kSheetMargin;
  for (const int w : widths) width += w + kSheetMargin;
  width = std::max(width, 2 * kSheetMargin + textWidth);
  std::vector<std::vector<std::string>> lines;
  for (const std::vector<std::string>& row : text) {
    if (row.size() > 1) {
      lines.push_back(row);
      continue;
    }
    for (std::string& piece : wrapped(row.empty() ? "" : row[0], width - 2 * kSheetMargin))
      lines.push_back({std::move(piece)});
  }
  int height = kSheetMargin + static_cast<int>(lines.size()) * kValueLineHeight + kSheetMargin;
  for (const int h : heights) height += 2 * kSheetTitleHeight + h + kSheetMargin;
  const int type = rows[0][0].type();
  cv::Mat sheet(height, width, type, cv::Scalar::all(kSheetBackground));

  int y = kSheetMargin;
  for (std::size_t r = 0; r < rows.size(); ++r) {
    putLine(sheet, titles[r], kSheetMargin, y);
    y += kSheetTitleHeight;
    int x = kSheetMargin;
    for (std::size_t i = 0; i < kStageCount; ++i) {
      CV_Assert(rows[r][i].type() == type);
      putLine(sheet, kStageTitles[i], x, y);
      rows[r][i].copyTo(sheet(cv::Rect(cv::Point(x, y + kSheetTitleHeight), rows[r][i].size())));
      x += widths[i] + kSheetMargin;
    }
    y += kSheetTitleHeight + heights[r] + kSheetMargin;
  }
  for (const std::vector<std::string>& row : lines) {
    for (std::size_t c = 0; c < row.size(); ++c) {
      int x = row.size() < 2 ? 0 : table.left[c];
      if (row.size() > 1 && table.numeric[c]) x += table.widths[c] - widthOf(row[c]);
      putLine(sheet, row[c], kSheetMargin + x, y);
    }
    y += kValueLineHeight;
  }
  return sheet;
}

Status encodeSheet(const cv::Mat& sheet, std::string* png) {
  std::vector<uchar> encoded;
  if (!cv::imencode(".png", sheet, encoded)) {
    return Status::error("sheet", "the image cannot be encoded as PNG");
  }
  png->assign(encoded.begin(), encoded.end());
  return Status::success();
}

Status writeSheetFile(const cv::Mat& sheet, const std::string& path) {
  std::string png;
  const Status encoded = encodeSheet(sheet, &png);
  if (!encoded.ok()) return Status::error(path, encoded.reason());
  return writeBytes(path, png);
}

}  // namespace corvantis
