// Which base directory an argument of corvantis-cell names. A cell is the folder that
// holds robots/; each robot folder below it, robots/<name>/, is a base directory with
// its own store and debug/. People often give the cell, so the tools that work on one
// base directory take the cell's only robot folder, or list the ones to choose from.
#pragma once

#include <ostream>
#include <string>

namespace corvantis {

// Puts the base directory that `given` names into *base: `given` itself unless it is a
// cell, else the cell's only robot folder. Returns 0 then; otherwise the exit status, with
// the reason on `err`: kCellUsageError when the cell has several robot folders (listed
// one per line), 1 when it has none.
int resolveBaseDirectory(const std::string& given, std::string* base, std::ostream& err);

}  // namespace corvantis
