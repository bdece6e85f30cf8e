// The view mode's display: the five stage windows when a display answers, the
// diagnostics sheet otherwise.
//
// The only unit that needs OpenCV's highgui (Qt on Linux, Win32 on Windows); it is built
// into the "corvantis-view" plugin (ViewPlugin.h) so that the check mode need not load it.
#pragma once

#include <ostream>

#include "imageproc/Diagnostics.h"

namespace corvantis {

// Shows `view` to a person: with a display, opens the five stage windows, writes the
// five value lines to `out` and waits for a key in any window; without one, writes the
// lines and the diagnostics sheet (see Diagnostics.h). Returns the exit status: 0, or 1
// with the reason on `err` when the sheet cannot be written.
int showDiagnostics(const DiagnosticView& view, std::ostream& out, std::ostream& err);

}  // namespace corvantis
