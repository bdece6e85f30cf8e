// The command line of corvantis-cell, the program for the people who run a cell: one
// subcommand per task, chosen by the first argument from a table.
//
// Every subcommand gets the arguments after its name, writes what it finds to `out`,
// problems to `err`, and returns the exit status: 0 done, 1 failed, 2 used wrongly.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace corvantis {

using CellArgs = std::vector<std::string>;

// Exit status of a command line that cannot be run as given.
constexpr int kCellUsageError = 2;

// Writes the lines `told` by the parts shared with the check to `err`, each under
// corvantis-cell's name rather than the check's.
void relayMessages(const std::string& told, std::ostream& err);

// Runs one command line of corvantis-cell and returns its exit status. `out` and `err`
// must outlive the call.
int runCellCommandLine(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace corvantis
