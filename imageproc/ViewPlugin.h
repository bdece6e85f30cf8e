// The view mode's display as the "corvantis-view" plugin: the windows need OpenCV's
// highgui (Qt) and X11, and the sheet its image codecs, none of which a check should
// have to load. The program opens the plugin only in view mode.
#pragma once

#include <ostream>

#include "imageproc/ImageProc.h"

namespace corvantis {

constexpr char kViewPluginName[] = "corvantis-view";
constexpr char kViewEntrySymbol[] = "corvantis_show_diagnostics";

// showDiagnostics (DiagnosticWindows.h) as the plugin exports it.
using ViewEntry = int (*)(ImageProc* proc, std::ostream* out, std::ostream* err);

// Opens the plugin and runs its display on a loaded `proc`. Returns the exit status of
// the display, or 1 with the reason on `err` when the plugin cannot be loaded.
int showDiagnosticsFromPlugin(ImageProc& proc, std::ostream& out, std::ostream& err);

}  // namespace corvantis
