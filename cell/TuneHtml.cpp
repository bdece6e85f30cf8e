// The tuning result as one HTML page. Everything is inline (style, one SVG chart), as in
// the report, so that the page can be mailed or opened on any machine; there is no script.
#include <cmath>
#include <sstream>

#include "cell/Markup.h"
#include "cell/Tuning.h"
#include "workspace/NumberText.h"

namespace corvantis {
namespace {

constexpr int kChartWidth = 760;
constexpr int kChartHeight = 190;
// The place of an error of 0, left of the log axis, which has none for it.
constexpr double kZeroX = 60;
constexpr double kAxisLeft = 100;
constexpr double kAxisRight = 740;
constexpr double kGoodY = 55;
constexpr double kBadY = 100;
constexpr double kAxisY = 130;

std::string coordinate(double value) {
  std::ostringstream out;
  out.precision(1);
  out << std::fixed << value;
  return out.str();
}

// The decades the axis spans: from the one below the smallest positive error (or
// tolerance) to the one above the largest, at least one.
struct LogAxis {
  int low = -3;
  int high = 0;
  double x(double error) const {
    if (error == 0) return kZeroX;
    if (!std::isfinite(error)) return kAxisRight;  // an infinite error, or not a number
    const double at = (std::log10(error) - low) / (high - low);
    return kAxisLeft + (kAxisRight - kAxisLeft) * std::min(1.0, std::max(0.0, at));
  }
};

LogAxis axisFor(const Tuning& t) {
  double smallest = INFINITY, largest = 0;
  const auto take = [&](double value) {
    if (!(value > 0) || !std::isfinite(value)) return;
    smallest = std::min(smallest, value);
    largest = std::max(largest, value);
  };
  for (const TunedCapture& c : t.good) take(c.error);
  for (const TunedCapture& c : t.bad) take(c.error);
  if (t.tolerance) take(*t.tolerance);
  LogAxis axis;
  if (largest > 0) {
    axis.low = static_cast<int>(std::floor(std::log10(smallest)));
    axis.high = std::max(axis.low + 1, static_cast<int>(std::ceil(std::log10(largest))));
  }
  return axis;
}

void writeAxis(const LogAxis& axis, std::ostream& out) {
  out << "<line x1=\"" << kZeroX - 10 << "\" y1=\"" << kAxisY << "\" x2=\"" << kAxisRight
      << "\" y2=\"" << kAxisY << "\" stroke=\"#444\"/>\n";
  // The break between 0 and the first decade.
  out << "<path d=\"M" << kZeroX + 14 << " " << kAxisY + 5
      << "l6 -10m4 10l6 -10\" stroke=\"#444\"/>\n";
  out << "<text x=\"" << kZeroX << "\" y=\"" << kAxisY + 18
      << "\" text-anchor=\"middle\" font-size=\"11\">0</text>\n";
  for (int decade = axis.low; decade <= axis.high; ++decade) {
    const double value = std::pow(10.0, decade);
    const std::string x = coordinate(axis.x(value));
    out << "<line x1=\"" << x << "\" y1=\"" << kAxisY << "\" x2=\"" << x << "\" y2=\"" << kAxisY + 6
        << "\" stroke=\"#444\"/><text x=\"" << x << "\" y=\"" << kAxisY + 18
        << "\" text-anchor=\"middle\" font-size=\"11\">" << formatNumber(value) << "</text>\n";
    // 2 and 5 times each decade are labelled too while there is room for them.
    const bool roomy = axis.high - axis.low <= 4;
    for (int step = 2; decade < axis.high && step <= 9; ++step) {
      const std::string minor = coordinate(axis.x(step * value));
      out << "<line x1=\"" << minor << "\" y1=\"" << kAxisY << "\" x2=\"" << minor << "\" y2=\""
          << kAxisY + 3 << "\" stroke=\"#888\"/>\n";
      if (roomy && (step == 2 || step == 5)) {
        out << "<text x=\"" << minor << "\" y=\"" << kAxisY + 18
            << "\" text-anchor=\"middle\" font-size=\"10\" fill=\"#666\">"
            << formatNumber(step * value) << "</text>\n";
      }
    }
  }
}

void writeMarks(const Tuning& t, const LogAxis& axis, std::ostream& out) {
  out << "<text x=\"4\" y=\"" << kGoodY + 4 << "\" font-size=\"12\">good</text>\n<text x=\"4\" y=\""
      << kBadY + 4 << "\" font-size=\"12\">bad</text>\n";
  for (const TunedCapture& c : t.good) {
    out << "<circle cx=\"" << coordinate(axis.x(c.error)) << "\" cy=\"" << kGoodY
        << "\" r=\"4\" fill=\"#2a8a2a\"" << (overlaps(t, c, true) ? " stroke=\"#000\"" : "")
        << "><title>" << htmlEscaped(c.file) << " " << formatNumber(c.error)
        << "</title></circle>\n";
  }
  for (const TunedCapture& c : t.bad) {
    out << "<path d=\"M" << coordinate(axis.x(c.error)) << " " << kBadY
        << "m-5 -5l10 10m0 -10l-10 10\" stroke=\"#d01010\" stroke-width=\"2\"><title>"
        << htmlEscaped(c.file) << " " << formatNumber(c.error) << "</title></path>\n";
  }
  if (t.tolerance) {
    const std::string x = coordinate(axis.x(*t.tolerance));
    out << "<line x1=\"" << x << "\" y1=\"" << kGoodY - 25 << "\" x2=\"" << x << "\" y2=\""
        << kAxisY << "\" stroke=\"#1f5fbf\" stroke-width=\"3\"/><text x=\"" << x << "\" y=\""
        << kGoodY - 30 << "\" text-anchor=\"middle\" font-size=\"12\" fill=\"#1f5fbf\">tolerance "
        << formatNumber(*t.tolerance) << "</text>\n";
  }
}

}  // namespace

void writeTuningHtml(const Tuning& t, std::ostream& out) {
  out << "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
         "<title>corvantis tune "
      << htmlEscaped(t.reference)
      << "</title>\n<style>body{font-family:sans-serif;margin:2em;color:#222}"
         "h1{font-size:1.3em}pre{font-size:13px}</style></head><body>\n<h1>Tolerance for "
      << htmlEscaped(t.reference) << "</h1>\n";
  out << "<p>"
      << (t.tolerance ? "The good and bad captures separate."
                      : "The good and bad "
                        "captures cannot be separated by any tolerance.")
      << " Image errors on a log scale; an error of 0 sits at the left, apart.</p>\n";
  out << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << kChartWidth << "\" height=\""
      << kChartHeight << "\" role=\"img\"><title>Image errors of the good and bad captures"
      << "</title>\n";
  const LogAxis axis = axisFor(t);
  writeAxis(axis, out);
  writeMarks(t, axis, out);
  out << "<text x=\"" << kChartWidth / 2 << "\" y=\"" << kChartHeight - 8
      << "\" text-anchor=\"middle\" font-size=\"11\"><tspan fill=\"#2a8a2a\">&#9679; good</tspan>"
         "  <tspan fill=\"#d01010\">&#215; bad</tspan>  <tspan fill=\"#1f5fbf\">| recommended "
         "tolerance</tspan>  (image error, log scale)</text>\n</svg>\n<pre>";
  for (const std::string& line : tuningLines(t)) out << htmlEscaped(line) << "\n";
  out << "</pre>\n</body></html>\n";
}

}  // namespace corvantis
