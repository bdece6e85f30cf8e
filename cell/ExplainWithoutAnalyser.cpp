// The explain subcommand of a build without the image analyser (no OpenCV).
#include "cell/Explain.h"

namespace corvantis {

int runExplain(const CellArgs&, std::ostream&, std::ostream& err) {
  err << "corvantis-cell: explain needs the image analyser, which this build leaves out\n";
  return 1;
}

}  // namespace corvantis
