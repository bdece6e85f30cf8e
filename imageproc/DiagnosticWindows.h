// The view mode's display: the five stage windows when a display answers, the
// diagnostics sheet otherwise.
//
// The only unit that needs OpenCV's highgui (Qt) and X11; it is built into the
// "corvantis-view" plugin (ViewPlugin.h) so that the check mode need not load either.
#pragma once

#include <ostream>

#include "imageproc/Diagnostics.h"

namespace corvantis {

// True when a window can be opened: a display is named and, for X11, answers. Qt
// aborts the process on a display it cannot reach, so this is asked before any window.
bool displayAnswers();

// Shows `view` to a person: with a display, opens the five stage windows, writes the
// five value lines to `out` and waits for a key in any window; without one, writes the
// lines and the diagnostics sheet (see Diagnostics.h). Returns the exit status: 0, or 1
// with the reason on `err` when the sheet cannot be written.
int showDiagnostics(const DiagnosticView& view, std::ostream& out, std::ostream& err);

}  // namespace corvantis
