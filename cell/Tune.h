// The tune subcommand of corvantis-cell: commissions a step from captures of parts known
// to be good and known to be bad. It analyses the reference and every capture afresh, as
// a check would, on both cores, and recommends the tolerance that tells the two sets apart
// or says why none can. Reads no store, writes no journal; the only file it writes is the
// page it is asked for.
#pragma once

#include "cell/Cell.h"
#include "workspace/Platform.h"

namespace corvantis {

// tune REF --good CAPTURE... --bad CAPTURE... [--json] [--html FILE]. 0 whether the sets
// separate or not; 1 when an image cannot be read or the page cannot be written. A build
// without the analyser says so and returns 1.
int runTune(const CellArgs& args, std::ostream& out, std::ostream& err);
// The same, reading the images and writing the page through `platform`.
int runTune(const CellArgs& args, std::ostream& out, std::ostream& err, Platform& platform);

}  // namespace corvantis
