// One finding of image advice (Advice.h), apart from the analysis it comes from, so
// that what only shows advice (the explanation of a check) needs no OpenCV.
#pragma once

#include <string>

namespace corvantis {

// One finding: a short code that scripts and the values log keep, and one sentence
// saying what to do.
struct Advice {
  std::string code;
  std::string text;
};

}  // namespace corvantis
