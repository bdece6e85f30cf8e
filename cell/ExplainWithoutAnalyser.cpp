// The explain subcommand of a build without the image analyser (no OpenCV).
#include "cell/Explain.h"

namespace corvantis {

int runExplain(const CellArgs& args, std::ostream& out, std::ostream& err) {
  return runExplain(args, out, err, defaultPlatform());
}

int runExplain(const CellArgs&, std::ostream&, std::ostream& err, Platform&) {
  err << "corvantis-cell: explain needs the image analyser, which this build leaves out\n";
  return 1;
}

}  // namespace corvantis
