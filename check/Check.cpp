#include "check/Check.h"

#include <exception>
#include <new>
#include <opencv2/core/utils/logger.hpp>
#include <string>

#include "app/Verdict.h"
#include "imageproc/Advice.h"
#include "imageproc/ImageProc.h"
#include "imageproc/ImageReader.h"
#include "imageproc/SideBySide.h"
#include "imageproc/ViewPlugin.h"
#include "workspace/FileNames.h"
#include "workspace/JournalLine.h"
#include "workspace/NumberText.h"
#include "workspace/Workspace.h"

namespace corvantis {
namespace {

constexpr int kViewArgs = 2;
constexpr int kCheckArgs = 5;

const char kUsage[] =
    "usage: corvantis <step> <reference image> <current image> <tolerance>\n"
    "       corvantis <image>\n"
    "       corvantis --help | --version";

const char kHelp[] =
    "Check mode prints 1 (accepted: image error <= tolerance) or 0 (rejected), journals\n"
    "the verdict in debug/corvantis.log of the base directory (the directory below\n"
    "\"robots\" in the reference path) and keeps the reference's signature in its\n"
    "corvantis.dat.\n"
    "Exit status 0 for every verdict, 1 when an image cannot be read.\n"
    "View mode shows the stages of one image's analysis and prints its five values.\n";

struct CheckArgs {
  std::string stepId;
  std::string referencePath;
  std::string currentPath;
  std::string tolerance;
};

int cannotRead(std::ostream& err, const std::string& path, const Status& load) {
  err << "corvantis: cannot read image " << path << ": " << load.message() << "\n";
  return 1;
}

CheckRecord checkRecord(const CheckArgs& args, const FeatureVector& reference,
                        const FeatureVector& current, double error, double tolerance,
                        bool accepted) {
  CheckRecord record;
  record.stepId = args.stepId;
  record.referencePath = args.referencePath;
  record.currentPath = args.currentPath;
  record.reference = reference;
  record.current = current;
  record.error = error;
  record.tolerance = tolerance;
  record.accepted = accepted;
  const std::vector<ErrorTerm> terms = errorTerms(reference, current);
  for (std::size_t i = 0; i < terms.size(); ++i)
    if (terms[i].snapped()) record.snapped.push_back(i);
  return record;
}

// The values log's advice column: the reference's findings when this check analysed it
// (a stored signature keeps none), then the capture's.
std::string adviceColumn(const std::vector<Advice>& reference, const std::vector<Advice>& current) {
  std::string column;
  const auto add = [&column](const char* side, const std::vector<Advice>& advice) {
    for (const Advice& finding : advice)
      column += std::string(column.empty() ? "" : " ") + side + finding.code;
  };
  add("reference:", reference);
  add("current:", current);
  return column;
}

// Told once, when the reference's signature is computed and stored: the checks that use
// the stored one would only repeat it.
std::vector<Advice> tellReferenceAdvice(const ImageProc& reference, std::ostream& err) {
  std::vector<Advice> advice = adviseOn(reference.measures());
  for (const Advice& finding : advice)
    err << "corvantis: " << adviceLine(reference.getFileName(), finding) << "\n";
  return advice;
}

// The reference's signature, analysed on a second thread while `analyseCurrent` runs
// on this one: a first check of a reference then takes little more than one analysis.
// Fails, with nothing stored, when the reference cannot be read.
template <typename AnalyseCurrent>
Status analyseBoth(const std::string& referencePath, ImageProc& reference,
                   FeatureVector* referenceSignature, AnalyseCurrent analyseCurrent) {
  Status loaded = Status::success();
  limitLibraryImageSize();
  runSideBySide(analyseCurrent, [&] {
    loaded = reference.load(referencePath);
    if (loaded.ok()) *referenceSignature = reference.getFeatureVector();
  });
  return loaded;
}

// The Workspace holds no file open: the store is read whole and replaced whole, and each
// of its calls has finished with its files when it returns, so the verdict can be printed
// while it still exists.
int runCheck(const CheckArgs& args, ImageProc& reference, ImageProc& current, std::ostream& out,
             std::ostream& err) {
  const Status currentLoaded = current.load(args.currentPath);
  if (!currentLoaded.ok()) return cannotRead(err, args.currentPath, currentLoaded);

  Workspace workspace(args.referencePath, defaultPlatform(), &err);
  FeatureVector currentSignature;
  const auto analyseCurrent = [&] { currentSignature = current.getFeatureVector(); };

  FeatureVector referenceSignature = workspace.readReference(args.referencePath);
  // The time is taken before the pixels: a file rewritten in between is then stored
  // with its older time and computed once more, never kept stale for good.
  const std::uint64_t time = fileTimeOf(args.referencePath);
  // Any other time than the stored one means another file: a copy or a restore can
  // carry an older time than the record. A time that cannot be read gives 0 and keeps
  // the stored signature, which then serves even after the image is gone.
  const bool recompute = referenceSignature.empty() ||
                         (time != 0 && time != workspace.storedTime(args.referencePath));
  std::vector<Advice> referenceAdvice;
  if (recompute) {
    const Status referenceLoaded =
        analyseBoth(args.referencePath, reference, &referenceSignature, analyseCurrent);
    if (!referenceLoaded.ok()) return cannotRead(err, args.referencePath, referenceLoaded);
    workspace.storeReference(args.referencePath, referenceSignature, time);
    referenceAdvice = tellReferenceAdvice(reference, err);
  } else {
    analyseCurrent();
  }

  if (currentSignature.size() < referenceSignature.size()) {
    err << "corvantis: the current signature is shorter than the reference signature\n";
    return 1;
  }
  const double tolerance = parseTolerance(args.tolerance);
  // The verdict stays as the rule gives it; the person who set the tolerance is told.
  for (const std::string& warning : toleranceWarnings(args.tolerance))
    err << "corvantis: " << warning << "\n";
  const double error = imageError(referenceSignature, currentSignature);
  const bool accepted = isAccepted(error, tolerance);
  workspace.writeJournal(
      composeVerdictLine(args.stepId, current.getFileName(), accepted, error, tolerance));
  CheckRecord record =
      checkRecord(args, referenceSignature, currentSignature, error, tolerance, accepted);
  record.advice = adviceColumn(referenceAdvice, adviseOn(current.measures()));
  // The verdict is journalled: from here on nothing may turn it into a failed run.
  try {
    workspace.recordCheck(record);
  } catch (const std::exception& e) {
    err << "corvantis: values log and reject archive not kept: " << e.what() << "\n";
  }
  // Only after the journal line is complete in its file does the caller see the verdict.
  out << (accepted ? '1' : '0');
  return 0;
}

// An image that cannot be read is a failed run here too: a person who typed the path
// learns why nothing appears, and a script sees status 1.
int runView(const std::string& path, ImageProc& reference, std::ostream& out, std::ostream& err) {
  const Status loaded = reference.load(path);
  if (!loaded.ok()) return cannotRead(err, path, loaded);
  return showDiagnosticsFromPlugin(reference, out, err);
}

}  // namespace

int runCommandLine(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
  // The library's own warnings (a file it cannot open, say) would only repeat what the
  // program reports itself, in a form the cell's operators do not know.
  cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_ERROR);

  // Constructed before the argument count is looked at; destroyed in reverse order,
  // the current analyser first.
  ImageProc reference;
  ImageProc current;
  try {
    if (argc == kCheckArgs) {
      return runCheck(CheckArgs{argv[1], argv[2], argv[3], argv[4]}, reference, current, out, err);
    }
    if (argc == kViewArgs) {
      // Only these exact words: any other path, "./--help" among them, is an image.
      const std::string arg = argv[1];
      if (arg == "--help" || arg == "-h") {
        out << kUsage << "\n\n" << kHelp;
        return 0;
      }
      if (arg == "--version") {
        out << "corvantis " << CORVANTIS_VERSION << "\n";
        return 0;
      }
      return runView(arg, reference, out, err);
    }
    err << kUsage << "\n";
    return 1;
  } catch (const std::bad_alloc&) {
    err << "corvantis: out of memory while analysing the images\n";
  } catch (const std::exception& e) {
    err << "corvantis: analysis failed: " << e.what() << "\n";
  }
  return 1;
}

}  // namespace corvantis
