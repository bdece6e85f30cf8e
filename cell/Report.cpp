#include "cell/Report.h"

#include <algorithm>
#include <optional>
#include <sstream>

#include "cell/Cell.h"
#include "cell/CellFolder.h"
#include "workspace/Paths.h"
#include "workspace/Platform.h"

namespace corvantis {

namespace {

constexpr char kUsage[] =
    "corvantis-cell: usage: corvantis-cell report BASE [--json] [--html FILE]\n";

// Oldest first: generation 5 down to 1, then the file itself.
std::vector<std::string> generationsOldestFirst(const std::string& path) {
  std::vector<std::string> names = rotatedNames(path);
  std::reverse(names.begin(), names.end());
  names.push_back(path);
  return names;
}

// The content of each existing generation, oldest first; unreadable ones are noted.
std::vector<std::string> readGenerations(const Platform& platform, const std::string& path,
                                         CellReport* report) {
  std::vector<std::string> contents;
  for (const std::string& name : generationsOldestFirst(path)) {
    if (!platform.fileSize(name)) continue;
    std::string content;
    const Status status = platform.readFile(name, &content);
    if (!status.ok()) {
      report->unreadable.push_back(status.message());
      continue;
    }
    contents.push_back(content);
  }
  return contents;
}

StepReport& stepOf(CellReport* report, const std::string& step) {
  const auto found = report->stepIndex.find(step);
  if (found != report->stepIndex.end()) return report->steps[found->second];
  report->stepIndex.emplace(step, report->steps.size());
  report->steps.push_back(StepReport{});
  report->steps.back().step = step;
  return report->steps.back();
}

struct Options {
  std::string base;
  bool json = false;
  std::optional<std::string> htmlPath;
};

std::optional<Options> parseOptions(const std::vector<std::string>& args) {
  Options options;
  std::vector<std::string> words;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--html" && i + 1 < args.size()) {
      options.htmlPath = args[++i];
    } else if (args[i] == "--json") {
      options.json = true;
    } else {
      words.push_back(args[i]);
    }
  }
  if (words.size() != 1 || words[0].rfind("--", 0) == 0) return std::nullopt;
  options.base = words[0];
  return options;
}

}  // namespace

void readJournalText(const std::string& content, CellReport* report) {
  std::size_t pos = 0;
  while (pos < content.size()) {
    const std::size_t end = content.find('\n', pos);
    std::string line = content.substr(pos, end == std::string::npos ? end : end - pos);
    pos = end == std::string::npos ? content.size() : end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::optional<VerdictLine> entry =
        end == std::string::npos ? std::nullopt : parseVerdictLine(line);
    if (!entry) {
      ++report->skippedLines;
      continue;
    }
    ++report->verdictLines;
    VerdictEntry check;
    static_cast<VerdictLine&>(check) = *entry;
    stepOf(report, entry->step).checks.push_back(check);
  }
}

void readValuesLogText(const std::string& content, CellReport* report) {
  // A file's own header names its columns; one that lost it (cut at the front by hand)
  // is read as the check writes today.
  std::vector<std::string> header = valuesLogColumns();
  std::size_t pos = 0;
  while (pos < content.size()) {
    const std::size_t start = pos;
    const std::optional<std::vector<std::string>> fields = readCsvRecord(content, &pos);
    if (fields && isValuesHeader(*fields)) {
      header = *fields;
      continue;
    }
    const std::optional<ValuesRow> row = fields ? readValuesRow(header, *fields) : std::nullopt;
    if (!row) {
      ++report->skippedRows;
      const std::size_t next = content.find('\n', start);
      pos = next == std::string::npos ? content.size() : next + 1;
      continue;
    }
    ++report->valuesRows;
    stepOf(report, row->step).logged.push_back(*row);
  }
}

int runReport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  return runReport(args, out, err, defaultPlatform());
}

int runReport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
              Platform& platform) {
  const std::optional<Options> options = parseOptions(args);
  if (!options) {
    err << kUsage;
    return kCellUsageError;
  }
  CellReport report;
  if (const int status = resolveBaseDirectory(options->base, &report.base, err)) return status;
  std::vector<DirectoryEntry> entries;
  const Status base = platform.listDirectory(report.base, &entries);
  if (!base.ok()) {
    err << "corvantis-cell: no base directory: " << base.message() << "\n";
    return 1;
  }
  const std::vector<std::string> journals =
      readGenerations(platform, journalPathOf(report.base), &report);
  report.journalFiles = journals.size();
  for (const std::string& content : journals) readJournalText(content, &report);
  const std::vector<std::string> logs =
      readGenerations(platform, valuesLogPathOf(report.base), &report);
  report.valuesFiles = logs.size();
  for (const std::string& content : logs) readValuesLogText(content, &report);
  summariseReport(&report);
  if (options->json) {
    writeReportJson(report, out);
  } else {
    writeReportText(report, out);
  }

  int status = report.unreadable.empty() ? 0 : 1;
  for (const std::string& line : report.unreadable)
    err << "corvantis-cell: " << printable(line) << "\n";
  if (options->htmlPath) {
    std::ostringstream html;
    writeReportHtml(report, html);
    const Status written = platform.writeFile(*options->htmlPath, html.str());
    if (!written.ok()) {
      err << "corvantis-cell: cannot write " << *options->htmlPath << ": " << written.reason()
          << "\n";
      status = 1;
    }
  }
  return status;
}

}  // namespace corvantis
