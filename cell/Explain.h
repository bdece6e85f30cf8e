// The explain subcommand of corvantis-cell: analyses a reference and a capture afresh,
// as a check would, and says entry by entry how their image error comes about. Reads
// no store, writes no journal; the only file it writes is the sheet it is asked for.
#pragma once

#include "cell/Cell.h"
#include "workspace/Platform.h"

namespace corvantis {

// explain REF CUR [TOL] [--json] [--sheet FILE]. 1 when an image cannot be read or the
// sheet cannot be written. A build without the analyser says so and returns 1.
int runExplain(const CellArgs& args, std::ostream& out, std::ostream& err);
// The same, reading the images and writing the sheet through `platform`.
int runExplain(const CellArgs& args, std::ostream& out, std::ostream& err, Platform& platform);

}  // namespace corvantis
