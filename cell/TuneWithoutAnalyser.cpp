// The tune subcommand of a build without the image analyser (no OpenCV).
#include "cell/Tune.h"

namespace corvantis {

int runTune(const CellArgs& args, std::ostream& out, std::ostream& err) {
  return runTune(args, out, err, defaultPlatform());
}

int runTune(const CellArgs&, std::ostream&, std::ostream& err, Platform&) {
  err << "corvantis-cell: tune needs the image analyser, which this build leaves out\n";
  return 1;
}

}  // namespace corvantis
