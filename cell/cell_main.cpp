#include <iostream>

#include "cell/Cell.h"

int main(int argc, char** argv) {
  return corvantis::runCellCommandLine(argc, argv, std::cout, std::cerr);
}
