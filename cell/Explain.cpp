#include "cell/Explain.h"

#include <opencv2/core/utils/logger.hpp>
#include <optional>
#include <string>

#include "cell/Explanation.h"
#include "imageproc/Advice.h"
#include "imageproc/Diagnostics.h"
#include "imageproc/ImageProc.h"
#include "imageproc/ViewPlugin.h"

namespace corvantis {
namespace {

const char kUsage[] = "usage: corvantis-cell explain REF CUR [TOL] [--json] [--sheet FILE]\n";

struct ExplainArgs {
  std::string referencePath;
  std::string currentPath;
  std::optional<std::string> tolerance;
  bool json = false;
  std::optional<std::string> sheetPath;
};

bool parseArgs(const CellArgs& args, ExplainArgs* parsed) {
  std::vector<std::string> positional;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--json") {
      parsed->json = true;
    } else if (args[i] == "--sheet") {
      if (++i == args.size()) return false;
      parsed->sheetPath = args[i];
    } else {
      positional.push_back(args[i]);
    }
  }
  if (positional.size() < 2 || positional.size() > 3) return false;
  parsed->referencePath = positional[0];
  parsed->currentPath = positional[1];
  if (positional.size() == 3) parsed->tolerance = positional[2];
  return true;
}

bool load(ImageProc& proc, const std::string& path, std::ostream& err) {
  const Status loaded = proc.load(path);
  if (loaded.ok()) return true;
  err << "corvantis-cell: cannot read image " << path << ": " << loaded.message() << "\n";
  return false;
}

bool writeSheet(Platform& platform, const std::string& path, const DiagnosticView& reference,
                const DiagnosticView& current, const Explanation& e, std::ostream& err) {
  const cv::Mat sheet =
      composeComparisonSheet({sheetTitle(reference), sheetTitle(current)},
                             {sheetStages(reference), sheetStages(current)}, explanationRows(e));
  std::string png;
  Status written = encodeSheet(sheet, &png);
  if (written.ok()) written = platform.writeFile(path, png);
  if (written.ok()) return true;
  err << "corvantis-cell: cannot write the sheet " << path << ": " << written.reason() << "\n";
  return false;
}

}  // namespace

int runExplain(const CellArgs& args, std::ostream& out, std::ostream& err) {
  return runExplain(args, out, err, defaultPlatform());
}

int runExplain(const CellArgs& args, std::ostream& out, std::ostream& err, Platform& platform) {
  ExplainArgs parsed;
  if (!parseArgs(args, &parsed)) {
    err << kUsage;
    return kCellUsageError;
  }
  cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_ERROR);
  if (parsed.tolerance) {
    for (const std::string& warning : toleranceWarnings(*parsed.tolerance))
      err << "corvantis-cell: " << warning << "\n";
  }
  // The same analysis as a check's: a fresh analyser per image, getFeatureVector once.
  ImageProc reference(platform);
  ImageProc current(platform);
  if (!load(reference, parsed.referencePath, err) || !load(current, parsed.currentPath, err)) {
    return 1;
  }
  // The stage images come from the same pipeline; getFeatureVector then binarises the
  // loaded pixels in place, which the source stage shares, so the stages are taken first
  // and copied.
  DiagnosticView referenceView;
  DiagnosticView currentView;
  if (parsed.sheetPath) {
    referenceView = fittedToSheet(diagnosticViewOf(reference));
    currentView = fittedToSheet(diagnosticViewOf(current));
  }
  Explanation e =
      explainSignatures(reference.getFileName(), current.getFileName(),
                        reference.getFeatureVector(), current.getFeatureVector(), parsed.tolerance);
  e.referenceAdvice = adviseOn(reference.measures());
  e.currentAdvice = adviseOn(current.measures());
  if (parsed.json) {
    out << explanationJson(e);
  } else {
    for (const std::string& line : alignedLines(explanationRows(e))) out << line << "\n";
  }
  if (parsed.sheetPath &&
      !writeSheet(platform, *parsed.sheetPath, referenceView, currentView, e, err)) {
    return 1;
  }
  return 0;
}

}  // namespace corvantis
