// The view mode's display as the "corvantis-view" plugin: the windows need OpenCV's
// highgui (Qt) and X11, and the sheet its image codecs, none of which a check should
// have to load. The program opens the plugin only in view mode.
//
// The plugin sees only a finished `DiagnosticView` (Diagnostics.h): stage images and
// value lines in, windows or a sheet out. The analyser, the store and the platform layer
// stay in the program.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "imageproc/Diagnostics.h"
#include "imageproc/ImageProc.h"

namespace corvantis {

constexpr char kViewPluginName[] = "corvantis-view";
constexpr char kViewEntrySymbol[] = "corvantis_show_diagnostics";

// showDiagnostics (DiagnosticWindows.h) as the plugin exports it.
using ViewEntry = int (*)(const DiagnosticView* view, std::ostream* out, std::ostream* err);

// The five value lines of `measures`: "Area: ", "Perimeter: ", "Corners: ", "Angle: "
// and "Radius: " with their values.
std::vector<std::string> diagnosticValueLines(const ShapeMeasures& measures);

// The stage images and value lines of a loaded `proc`.
DiagnosticView diagnosticViewOf(const ImageProc& proc);

// Opens the plugin and runs its display on a loaded `proc`. Returns the exit status of
// the display, or 1 with the reason on `err` when the plugin cannot be loaded.
int showDiagnosticsFromPlugin(const ImageProc& proc, std::ostream& out, std::ostream& err);

}  // namespace corvantis
