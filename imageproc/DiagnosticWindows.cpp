#include "imageproc/DiagnosticWindows.h"

#include <X11/Xlib.h>

#include <cstdlib>
#include <opencv2/highgui.hpp>
#include <string>
#include <type_traits>

#include "imageproc/Diagnostics.h"
#include "imageproc/ViewPlugin.h"

namespace corvantis {
namespace {

// namedWindow's flag 1: the window takes the size of its image.
constexpr int kAutoSize = cv::WINDOW_AUTOSIZE;

bool isSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0';
}

}  // namespace

bool displayAnswers() {
  // Qt's offscreen and minimal platforms accept windows but never deliver a key, so
  // waitKey would wait forever.
  if (const char* platform = std::getenv("QT_QPA_PLATFORM")) {
    const std::string name(platform);
    if (name.rfind("offscreen", 0) == 0 || name.rfind("minimal", 0) == 0) return false;
  }
  if (isSet("DISPLAY")) {
    // A DISPLAY left over from an expired SSH forwarding names a server that is gone.
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return false;
    XCloseDisplay(display);
    return true;
  }
  return isSet("WAYLAND_DISPLAY");
}

int showDiagnostics(const DiagnosticView& view, std::ostream& out, std::ostream& err) {
  if (!displayAnswers()) return writeDiagnosticSheet(view, out, err);
  // All five windows exist before the first image is shown.
  for (const char* title : kStageTitles) cv::namedWindow(title, kAutoSize);
  for (std::size_t i = 0; i < kStageCount; ++i) cv::imshow(kStageTitles[i], view.stages[i]);
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
