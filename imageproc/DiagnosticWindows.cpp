#include "imageproc/DiagnosticWindows.h"

#include <opencv2/highgui.hpp>
#include <type_traits>

#include "imageproc/Diagnostics.h"
#include "imageproc/ViewPlugin.h"
#include "process/Process.h"

namespace corvantis {
namespace {

// namedWindow's flag 1: the window takes the size of its image.
constexpr int kAutoSize = cv::WINDOW_AUTOSIZE;

}  // namespace

int showDiagnostics(ImageProc& proc, std::ostream& out, std::ostream& err) {
  // Qt aborts the process on a display it cannot reach, so this is asked before any
  // window.
  if (!displayAnswers()) return writeDiagnosticSheet(proc, out, err);
  for (const char* title : kStageTitles) cv::namedWindow(title, kAutoSize);
  // All five windows exist before the first image: each is fetched through its
  // accessor just before it is shown, and the equalised image prepares the analysis.
  for (std::size_t i = 0; i < kStageCount; ++i) cv::imshow(kStageTitles[i], stageImage(proc, i));
  writeDiagnosticValues(proc, out);
  cv::waitKey(0);
  return 0;
}

}  // namespace corvantis

extern "C" int corvantis_show_diagnostics(corvantis::ImageProc* proc, std::ostream* out,
                                          std::ostream* err) {
  return corvantis::showDiagnostics(*proc, *out, *err);
}

// The entry point's type is the one the program calls it through.
static_assert(std::is_same<decltype(&corvantis_show_diagnostics), corvantis::ViewEntry>::value,
              "the plugin's entry point does not match ViewEntry");
