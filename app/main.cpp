#include <iostream>

#include "app/Check.h"

int main(int argc, char** argv) {
  return corvantis::runCommandLine(argc, argv, std::cout, std::cerr);
}
