#include "imageproc/Advice.h"

namespace corvantis {

std::vector<Advice> adviseOn(const ShapeMeasures&) { return {}; }

std::string adviceCodes(const std::vector<Advice>& advice) {
  std::string codes;
  for (const Advice& finding : advice) {
    if (!codes.empty()) codes += ' ';
    codes += finding.code;
  }
  return codes;
}

}  // namespace corvantis
