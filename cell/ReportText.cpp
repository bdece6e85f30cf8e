// The report as text for a person and as JSON for a program.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iomanip>
#include <sstream>

#include "cell/Report.h"
#include "workspace/NumberText.h"

namespace corvantis {

namespace {

constexpr char kNinetyNineLabel[] = "past 99 %";

std::string column(const std::string& text, int width) {
  std::ostringstream out;
  out << std::setw(width) << text;
  return out.str();
}

std::string whatIfLine(const std::string& label, const std::string& tolerance,
                       const std::string& accepted, const std::string& toRejected,
                       const std::string& toAccepted) {
  return "  " + label + std::string(label.size() < 10 ? 10 - label.size() : 0, ' ') +
         column(tolerance, 12) + column(accepted, 10) + column(toRejected, 20) +
         column(toAccepted, 20) + "\n";
}

void writeWhatIfText(const StepReport& step, std::ostream& out) {
  out << whatIfLine("what-if", "tolerance", "accepted", "accepted->rejected", "rejected->accepted");
  bool ninetyNine = false;
  for (const WhatIf& row : step.whatIfs) {
    ninetyNine = ninetyNine || row.acceptsNinetyNine;
    out << whatIfLine(row.acceptsNinetyNine ? kNinetyNineLabel : "", formatNumber(row.tolerance),
                      std::to_string(row.accepted), std::to_string(row.acceptedToRejected),
                      std::to_string(row.rejectedToAccepted));
  }
  if (ninetyNine) out << "  " << kNinetyNineNote << "\n";
}

void writeStepText(const StepReport& step, std::ostream& out) {
  out << "\nStep " << printable(step.step) << "\n";
  out << "  checks " << step.checks.size() << ", accepted " << step.accepted << ", rejected "
      << step.checks.size() - step.accepted << "\n";
  out << "  tolerance";
  for (const double t : step.tolerances) out << " " << formatNumber(t);
  out << "\n";
  if (!step.checks.empty()) {
    out << "  error p50 " << formatNumber(step.p50) << ", p90 " << formatNumber(step.p90)
        << ", p99 " << formatNumber(step.p99) << ", max " << formatNumber(step.max) << "\n";
  }
  if (step.logged.empty()) {
    out << "  errors from a snap: unknown (no values log rows for this step; an error of 0.5"
           " or 0.707107 in the journal alone is no proof)\n";
  } else {
    out << "  errors from a snap: " << step.snapped << " of " << step.logged.size()
        << " logged check(s)\n";
  }
  if (step.advised > 0) {
    out << "  image advice in " << step.advised << " logged check(s):";
    for (std::size_t i = 0; i < step.advice.size(); ++i)
      out << (i ? ", " : " ") << printable(step.advice[i].token) << " " << step.advice[i].checks;
    out << (step.advice.empty() ? " none\n" : "\n");
  }
  if (!step.whatIfs.empty()) writeWhatIfText(step, out);
}

std::string jsonNumber(double value) {
  if (!std::isfinite(value)) return "null";
  // The shortest text that reads back as the same double.
  char text[32];
  for (int digits = 1; digits <= 17; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, value);
    if (std::strtod(text, nullptr) == value) break;
  }
  return text;
}

std::string jsonString(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
      quoted += escape;
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

void writeStepJson(const StepReport& step, std::ostream& out) {
  out << "{\"step\": " << jsonString(step.step) << ", \"checks\": " << step.checks.size()
      << ", \"accepted\": " << step.accepted
      << ", \"rejected\": " << step.checks.size() - step.accepted << ", \"tolerances\": [";
  for (std::size_t i = 0; i < step.tolerances.size(); ++i)
    out << (i ? ", " : "") << jsonNumber(step.tolerances[i]);
  out << "], \"whatif\": [";
  for (std::size_t i = 0; i < step.whatIfs.size(); ++i) {
    const WhatIf& row = step.whatIfs[i];
    out << (i ? ", " : "") << "{\"tolerance\": " << jsonNumber(row.tolerance)
        << ", \"accepted\": " << row.accepted << ", \"to_rejected\": " << row.acceptedToRejected
        << ", \"to_accepted\": " << row.rejectedToAccepted << "}";
  }
  out << "]";
  if (step.advised > 0) {
    out << ", \"advice\": [";
    for (std::size_t i = 0; i < step.advice.size(); ++i) {
      const std::string& token = step.advice[i].token;
      const std::size_t colon = token.find(':');
      const bool named = colon != std::string::npos;
      out << (i ? ", " : "") << "{\"image\": " << jsonString(named ? token.substr(0, colon) : "")
          << ", \"code\": " << jsonString(named ? token.substr(colon + 1) : token)
          << ", \"checks\": " << step.advice[i].checks << "}";
    }
    out << "]";
  }
  out << "}";
}

}  // namespace

std::string printable(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02x", static_cast<unsigned>(c));
      out += escape;
    } else {
      out += c;
    }
  }
  return out;
}

void writeReportText(const CellReport& report, std::ostream& out) {
  out << "Base " << printable(report.base) << "\n";
  out << "Journal: " << report.journalFiles << " file(s), " << report.verdictLines
      << " verdict line(s), " << report.skippedLines << " other line(s) skipped\n";
  if (report.valuesFiles == 0) {
    out << "Values log: off (create debug/corvantis.csv in the base directory to switch it on)\n";
  } else {
    out << "Values log: " << report.valuesFiles << " file(s), " << report.valuesRows << " row(s), "
        << report.skippedRows << " other row(s) skipped\n";
  }
  for (const std::string& line : report.unreadable)
    out << "Unreadable: " << printable(line) << "\n";
  for (const StepReport& step : report.steps) writeStepText(step, out);
}

void writeReportJson(const CellReport& report, std::ostream& out) {
  out << "{\"steps\": [";
  for (std::size_t i = 0; i < report.steps.size(); ++i) {
    out << (i ? ",\n  " : "\n  ");
    writeStepJson(report.steps[i], out);
  }
  out << "],\n \"skipped_lines\": " << report.skippedLines
      << ", \"skipped_rows\": " << report.skippedRows << "}\n";
}

}  // namespace corvantis
