#include <iostream>

#include "check/Check.h"

int main(int argc, char** argv) {
  return corvantis::runCommandLine(argc, argv, std::cout, std::cerr);
}
