// The report as one HTML page. Everything is inline (style, SVG charts) so that the
// page can be mailed or opened from a USB stick on a machine in the cell; there is no
// script.
#include <algorithm>
#include <cmath>
#include <sstream>

#include "cell/Markup.h"
#include "cell/Report.h"
#include "workspace/NumberText.h"

namespace corvantis {

namespace {

constexpr int kChartWidth = 760;
constexpr int kChartHeight = 220;
constexpr int kMarginLeft = 60;
constexpr int kMarginRight = 10;
constexpr int kMarginTop = 10;
constexpr int kMarginBottom = 30;
// The error axis spans at most this many decades; smaller errors sit on its bottom edge.
constexpr int kDecades = 5;
// Of many snaps, the page lists the latest ones.
constexpr std::size_t kSnapRows = 50;

std::string coordinate(double value) {
  std::ostringstream out;
  out.precision(1);
  out << std::fixed << value;
  return out.str();
}

// The error axis: logarithmic, so that margins near zero show. It runs from the decade
// at or below half the smallest positive error or tolerance (which so stands clear of
// the bottom edge; at most kDecades below the top) to the decade at or above the
// largest finite one. Ticks at each decade, and at 2 and 5 times each when there are
// few decades.
struct ErrorAxis {
  int low = -3, high = 0;  // decimal exponents of the bottom and the top
  std::vector<double> ticks;
  // 0 at the bottom, 1 at the top; 0 and below at the bottom, above the top (infinity,
  // not a number) at the top.
  double fraction(double value) const {
    if (std::isnan(value) || value >= std::pow(10.0, high)) return 1;
    if (!(value > std::pow(10.0, low))) return 0;
    return (std::log10(value) - low) / (high - low);
  }
};

ErrorAxis errorAxis(const StepReport& step) {
  double smallest = INFINITY, largest = 0;
  const auto take = [&](double value, double factor) {
    if (!(value > 0) || !std::isfinite(value)) return;
    smallest = std::min(smallest, value);
    largest = std::max(largest, value * factor);
  };
  for (const VerdictEntry& check : step.checks) take(check.error, 1);
  for (const double t : step.tolerances) take(t, 1.5);
  ErrorAxis axis;
  if (largest > 0) {
    axis.high = static_cast<int>(std::ceil(std::log10(largest)));
    axis.low = static_cast<int>(std::floor(std::log10(smallest / 2)));
  }
  axis.low = std::clamp(axis.low, axis.high - kDecades, axis.high - 1);
  for (int e = axis.low; e <= axis.high; ++e) {
    const double decade = std::strtod(("1e" + std::to_string(e)).c_str(), nullptr);
    axis.ticks.push_back(decade);
    if (axis.high - axis.low <= 2 && e < axis.high) {
      axis.ticks.push_back(2 * decade);
      axis.ticks.push_back(5 * decade);
    }
  }
  return axis;
}

// The error of each check over the checks in journal order, with the tolerance in use
// at each as a line, accepted checks as grey dots and rejected ones as red crosses.
void writeChart(const StepReport& step, std::ostream& out) {
  const ErrorAxis axis = errorAxis(step);
  const double plotWidth = kChartWidth - kMarginLeft - kMarginRight;
  const double plotHeight = kChartHeight - kMarginTop - kMarginBottom;
  const std::size_t n = step.checks.size();
  auto x = [&](std::size_t i) {
    return kMarginLeft + (n <= 1 ? plotWidth / 2 : plotWidth * static_cast<double>(i) / (n - 1));
  };
  auto y = [&](double value) { return kMarginTop + plotHeight * (1 - axis.fraction(value)); };

  out << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << kChartWidth << "\" height=\""
      << kChartHeight << "\" role=\"img\"><title>Error over time, step " << htmlEscaped(step.step)
      << " (log scale)</title>\n";
  out << "<rect x=\"" << kMarginLeft << "\" y=\"" << kMarginTop << "\" width=\"" << plotWidth
      << "\" height=\"" << plotHeight << "\" fill=\"#f7f7f7\" stroke=\"#999\"/>\n";
  for (const double tick : axis.ticks) {
    const std::string ty = coordinate(y(tick));
    out << "<line x1=\"" << kMarginLeft << "\" x2=\"" << kMarginLeft + plotWidth << "\" y1=\"" << ty
        << "\" y2=\"" << ty << "\" stroke=\"#ddd\"/><text class=\"tick\" x=\"" << kMarginLeft - 4
        << "\" y=\"" << coordinate(y(tick) + 4) << "\" text-anchor=\"end\" font-size=\"11\">"
        << formatNumber(tick) << "</text>\n";
  }
  out << "<text x=\"" << kMarginLeft << "\" y=\"" << kChartHeight - 8 << "\" font-size=\"11\">"
      << htmlEscaped(step.checks.front().time) << "</text>\n";
  out << "<text x=\"" << kChartWidth - kMarginRight << "\" y=\"" << kChartHeight - 8
      << "\" text-anchor=\"end\" font-size=\"11\">" << htmlEscaped(step.checks.back().time)
      << "</text>\n";

  out << "<polyline fill=\"none\" stroke=\"#1f5fbf\" stroke-width=\"2\" points=\"";
  for (std::size_t i = 0; i < n; ++i) {
    const double t = step.checks[i].tolerance;
    out << coordinate(i == 0 && n == 1 ? kMarginLeft : x(i)) << "," << coordinate(y(t)) << " ";
    if (n == 1) out << coordinate(kMarginLeft + plotWidth) << "," << coordinate(y(t)) << " ";
  }
  out << "\"/>\n";
  for (std::size_t i = 0; i < n; ++i) {
    const VerdictEntry& check = step.checks[i];
    const std::string cx = coordinate(x(i));
    const std::string cy = coordinate(y(check.error));
    if (check.accepted) {
      out << "<circle cx=\"" << cx << "\" cy=\"" << cy << "\" r=\"2.5\" fill=\"#555\"/>\n";
    } else {
      out << "<path d=\"M" << cx << " " << cy << "m-4 -4l8 8m0 -8l-8 8\" stroke=\"#d01010\""
          << " stroke-width=\"2\"><title>" << htmlEscaped(check.time + " " + check.image) << " "
          << formatNumber(check.error) << "</title></path>\n";
    }
  }
  out << "<text x=\"" << kChartWidth / 2 << "\" y=\"" << kChartHeight - 8
      << "\" text-anchor=\"middle\" font-size=\"11\"><tspan fill=\"#1f5fbf\">&#8212; "
         "tolerance</tspan>  <tspan fill=\"#555\">&#9679; accepted</tspan>  "
         "<tspan fill=\"#d01010\">&#215; rejected</tspan>  log scale, 0 on the bottom "
         "edge</text>\n";
  out << "</svg>\n";
}

void writeWhatIf(const StepReport& step, std::ostream& out) {
  out << "<table><tr><th>tolerance</th><th>accepted</th><th>accepted &rarr; rejected</th>"
         "<th>rejected &rarr; accepted</th></tr>\n";
  for (const WhatIf& row : step.whatIfs) {
    out << "<tr" << (row.acceptsNinetyNine ? " class=\"ninety-nine\"" : "") << "><td>"
        << formatNumber(row.tolerance) << (row.acceptsNinetyNine ? " (past 99 %)" : "")
        << "</td><td>" << row.accepted << "</td><td>" << row.acceptedToRejected << "</td><td>"
        << row.rejectedToAccepted << "</td></tr>\n";
  }
  out << "</table>\n";
  const bool ninetyNine = std::any_of(step.whatIfs.begin(), step.whatIfs.end(),
                                      [](const WhatIf& row) { return row.acceptsNinetyNine; });
  if (ninetyNine) out << "<p class=\"note\">" << kNinetyNineNote << "</p>\n";
}

void writeAdvice(const StepReport& step, std::ostream& out) {
  if (step.advised == 0) return;
  out << "<p>Image advice in " << step.advised << " logged checks:";
  for (std::size_t i = 0; i < step.advice.size(); ++i)
    out << (i ? ", " : " ") << htmlEscaped(step.advice[i].token) << " " << step.advice[i].checks;
  out << (step.advice.empty() ? " none.</p>\n" : ".</p>\n");
}

void writeSnaps(const StepReport& step, std::ostream& out) {
  if (step.logged.empty()) {
    out << "<p>Snaps: unknown, as the values log has no rows for this step. An error of "
           "0.5 or 0.707107 in the journal alone is no proof of a snap.</p>\n";
    return;
  }
  out << "<p>Errors from a snap: " << step.snapped << " of " << step.logged.size()
      << " logged checks.</p>\n";
  if (step.snapped == 0) return;
  out << "<table><tr><th>time</th><th>capture</th><th>snapped</th><th>error</th></tr>\n";
  std::size_t shown = 0;
  for (auto row = step.logged.rbegin(); row != step.logged.rend() && shown < kSnapRows; ++row) {
    if (row->snapped.empty()) continue;
    ++shown;
    out << "<tr><td>" << htmlEscaped(row->time) << "</td><td>" << htmlEscaped(row->current) << "</td><td>"
        << htmlEscaped(row->snapped) << "</td><td>" << formatNumber(row->error) << "</td></tr>\n";
  }
  out << "</table>\n";
}

}  // namespace

void writeReportHtml(const CellReport& report, std::ostream& out) {
  out << "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
         "<title>corvantis report "
      << htmlEscaped(report.base)
      << "</title>\n"
         "<style>body{font-family:sans-serif;margin:2em;color:#222}"
         "table{border-collapse:collapse;margin:.5em 0}td,th{border:1px solid #bbb;"
         "padding:2px 8px;text-align:right}tr.ninety-nine{background:#fff3c4}</style>"
         "</head><body>\n";
  out << "<h1>Base " << htmlEscaped(report.base) << "</h1>\n";
  out << "<p>Journal: " << report.journalFiles << " file(s), " << report.verdictLines
      << " verdict lines, " << report.skippedLines << " other lines skipped. Values log: "
      << (report.valuesFiles == 0 ? std::string("off")
                                  : std::to_string(report.valuesRows) + " rows")
      << ".</p>\n";
  for (const std::string& line : report.unreadable)
    out << "<p>Unreadable: " << htmlEscaped(line) << "</p>\n";
  for (const StepReport& step : report.steps) {
    out << "<h2>Step " << htmlEscaped(step.step) << "</h2>\n";
    out << "<p>" << step.checks.size() << " checks, " << step.accepted << " accepted, "
        << step.checks.size() - step.accepted << " rejected. Tolerance";
    for (const double t : step.tolerances) out << " " << formatNumber(t);
    if (!step.checks.empty()) {
      out << ". Error p50 " << formatNumber(step.p50) << ", p90 " << formatNumber(step.p90)
          << ", p99 " << formatNumber(step.p99) << ", max " << formatNumber(step.max);
    }
    out << ".</p>\n";
    if (!step.checks.empty()) {
      writeChart(step, out);
      writeWhatIf(step, out);
    }
    writeSnaps(step, out);
    writeAdvice(step, out);
  }
  out << "</body></html>\n";
}

}  // namespace corvantis
