// The command line of corvantis: the run modes and the check from end to end.
//
// One argument: view mode on one image (windows, or a sheet without a display), whose
// five value lines go to `out`; "--help", "-h" and "--version" alone instead print the
// usage or the version on `out`. Four: check mode (step id, reference image, current
// image, tolerance), which prints exactly one character on `out`, "1" accepted or "0"
// rejected. Everything else said to a person goes to `err`.
#pragma once

#include <ostream>

namespace corvantis {

// Runs one command line and returns the exit status: 0 for a completed run whatever
// the verdict, 1 for a wrong argument count, an image that cannot be read or an error
// of the analysis. `out` and `err` must outlive the call.
int runCommandLine(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace corvantis
