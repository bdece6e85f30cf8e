#include "imageproc/DiagnosticWindows.h"

#include <opencv2/highgui.hpp>
#include <opencv2/imgproc.hpp>
#include <type_traits>

#include "imageproc/Diagnostics.h"
#include "imageproc/ViewPlugin.h"
#include "process/Process.h"

namespace corvantis {
namespace {

// namedWindow's flag 1: the window takes the size of its image. Without the plain
// frame, Qt gives every window a toolbar some 1500 pixels wide, and five such windows
// cannot stand side by side on any screen.
constexpr int kWindowFlags = cv::WINDOW_AUTOSIZE | cv::WINDOW_GUI_NORMAL;

// The screen's size; empty when the system cannot tell.
cv::Size screenSize() {
  int width = 0;
  int height = 0;
  return screenPixels(&width, &height) ? cv::Size(width, height) : cv::Size();
}

}  // namespace

int showDiagnostics(const DiagnosticView& view, std::ostream& out, std::ostream& err) {
  // Qt aborts the process on a display it cannot reach, so this is asked before any
  // window.
  if (!displayAnswers()) return writeDiagnosticSheet(view, out, err);
  // Without a window manager every window would open at the origin, on top of the
  // others; with one, each would go wherever it likes.
  const WindowLayout layout = layOutWindows(view.stages[0].size(), screenSize());
  for (std::size_t i = 0; i < kStageCount; ++i) {
    cv::namedWindow(kStageTitles[i], kWindowFlags);
    cv::moveWindow(kStageTitles[i], layout.origins[i].x, layout.origins[i].y);
  }
  // All five windows exist before the first image is shown.
  for (std::size_t i = 0; i < kStageCount; ++i) {
    cv::Mat shown = view.stages[i];
    if (shown.size() != layout.shown) {
      cv::resize(view.stages[i], shown, layout.shown, 0, 0, cv::INTER_AREA);
    }
    cv::imshow(kStageTitles[i], shown);
  }
  writeDiagnosticValues(view, out);
  cv::waitKey(0);
  return 0;
}

}  // namespace corvantis

extern "C" int corvantis_show_diagnostics(const corvantis::DiagnosticView* view, std::ostream* out,
                                          std::ostream* err) {
  return corvantis::showDiagnostics(*view, *out, *err);
}

// The entry point's type is the one the program calls it through.
static_assert(std::is_same<decltype(&corvantis_show_diagnostics), corvantis::ViewEntry>::value,
              "the plugin's entry point does not match ViewEntry");
