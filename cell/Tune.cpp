#include "cell/Tune.h"

#include <atomic>
#include <opencv2/core/utils/logger.hpp>
#include <optional>
#include <sstream>
#include <string>

#include "cell/Tuning.h"
#include "imageproc/ImageProc.h"
#include "imageproc/ImageReader.h"
#include "imageproc/SideBySide.h"

namespace corvantis {
namespace {

const char kUsage[] =
    "usage: corvantis-cell tune REF --good CAPTURE... --bad CAPTURE... [--json] [--html FILE]\n";

struct TuneArgs {
  std::string referencePath;
  std::vector<std::string> good;
  std::vector<std::string> bad;
  bool json = false;
  std::optional<std::string> htmlPath;
};

// Paths follow --good and --bad until the next option; the one path before them, or
// between other options, is the reference. Anything else is wrong use, told why.
Status parseArgs(const CellArgs& args, TuneArgs* parsed) {
  std::vector<std::string>* list = nullptr;
  std::vector<std::string> positional;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--good" || arg == "--bad") {
      list = arg == "--good" ? &parsed->good : &parsed->bad;
    } else if (arg == "--json") {
      parsed->json = true;
      list = nullptr;
    } else if (arg == "--html") {
      if (++i == args.size()) return Status::error("--html needs a file");
      parsed->htmlPath = args[i];
      list = nullptr;
    } else if (arg.rfind("--", 0) == 0) {
      return Status::error("unknown option " + arg);
    } else {
      (list != nullptr ? *list : positional).push_back(arg);
    }
  }
  if (positional.size() != 1) return Status::error("give exactly one reference image");
  if (parsed->good.empty() || parsed->bad.empty())
    return Status::error("give at least one capture after --good and one after --bad");
  parsed->referencePath = positional[0];
  return Status::success();
}

// What a check's analysis finds in one file.
struct Analysis {
  bool readable = false;
  std::string loadError;
  FeatureVector signature;
  std::vector<Advice> advice;
};

Analysis analyse(Platform& platform, const std::string& path) {
  Analysis a;
  ImageProc proc(platform);  // a fresh analyser per image, getFeatureVector once, as in a check
  const Status loaded = proc.load(path);
  a.readable = loaded.ok();
  if (!a.readable) {
    a.loadError = loaded.message();
    return a;
  }
  a.signature = proc.getFeatureVector();
  a.advice = adviseOn(proc.measures());
  return a;
}

// Every file analysed, in order: two workers take the next file in turn, so that a large
// capture on one core does not hold the other idle.
std::vector<Analysis> analyseAll(Platform& platform, const std::vector<std::string>& paths) {
  std::vector<Analysis> results(paths.size());
  std::atomic<std::size_t> next{0};
  const auto work = [&] {
    for (std::size_t i = next++; i < paths.size(); i = next++)
      results[i] = analyse(platform, paths[i]);
  };
  // The library's pixel limit is an environment variable, set here before either worker
  // may read it.
  limitLibraryImageSize();
  runSideBySide(work, work);
  return results;
}

bool writePage(Platform& platform, const std::string& path, const Tuning& t, std::ostream& err) {
  std::ostringstream page;
  writeTuningHtml(t, page);
  const Status written = platform.writeFile(path, page.str());
  if (written.ok()) return true;
  err << "corvantis-cell: cannot write the page " << path << ": " << written.reason() << "\n";
  return false;
}

}  // namespace

int runTune(const CellArgs& args, std::ostream& out, std::ostream& err) {
  return runTune(args, out, err, defaultPlatform());
}

int runTune(const CellArgs& args, std::ostream& out, std::ostream& err, Platform& platform) {
  TuneArgs parsed;
  const Status parsedArgs = parseArgs(args, &parsed);
  if (!parsedArgs.ok()) {
    err << "corvantis-cell: tune: " << parsedArgs.message() << "\n" << kUsage;
    return kCellUsageError;
  }
  cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_ERROR);
  std::vector<std::string> paths = {parsed.referencePath};
  paths.insert(paths.end(), parsed.good.begin(), parsed.good.end());
  paths.insert(paths.end(), parsed.bad.begin(), parsed.bad.end());
  const std::vector<Analysis> analyses = analyseAll(platform, paths);
  bool readable = true;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    if (analyses[i].readable) continue;
    err << "corvantis-cell: cannot read image " << paths[i] << ": " << analyses[i].loadError
        << "\n";
    readable = false;
  }
  if (!readable) return 1;

  const FeatureVector& reference = analyses[0].signature;
  std::vector<TunedCapture> good, bad;
  for (std::size_t i = 1; i < paths.size(); ++i) {
    (i <= parsed.good.size() ? good : bad)
        .push_back(tunedCapture(paths[i], reference, analyses[i].signature, analyses[i].advice));
  }
  const Tuning t =
      tuneTolerance(parsed.referencePath, analyses[0].advice, std::move(good), std::move(bad));
  if (parsed.json) {
    out << tuningJson(t);
  } else {
    for (const std::string& line : tuningLines(t)) out << line << "\n";
  }
  if (parsed.htmlPath && !writePage(platform, *parsed.htmlPath, t, err)) return 1;
  return 0;
}

}  // namespace corvantis
