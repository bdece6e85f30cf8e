#include "cell/Cell.h"

#include <exception>
#include <new>
#include <sstream>

#include "cell/CellStore.h"
#include "cell/Explain.h"
#include "cell/Report.h"
#include "cell/Tune.h"

namespace corvantis {

namespace {

struct CellCommand {
  const char* name;
  const char* arguments;  // as the usage shows them
  const char* summary;    // one line for --help
  int (*run)(const CellArgs& args, std::ostream& out, std::ostream& err);
};

// The subcommands, in the order --help lists them.
const std::vector<CellCommand>& cellCommands() {
  static const std::vector<CellCommand> commands = {
      {"explain", "REF CUR [TOL] [--json] [--sheet FILE]",
       "why CUR passes or fails against REF, entry by entry (nothing is written)", runExplain},
      {"store", "BASE", "the reference records kept in the base directory BASE", runStoreListing},
      {"forget", "BASE REF",
       "removes the record of reference REF (its path below BASE), so the next check computes "
       "it again",
       runForget},
      {"report", "BASE [--json] [--html FILE]",
       "per step: verdicts, error spread, snaps and what other tolerances would decide", runReport},
      {"tune", "REF --good CAPTURE... --bad CAPTURE... [--json] [--html FILE]",
       "the tolerance that tells good captures from bad ones, or why none can", runTune},
  };
  return commands;
}

void writeHelp(std::ostream& out) {
  out << "usage: corvantis-cell <command> [arguments]\n"
         "       corvantis-cell --help | --version\n\ncommands:\n";
  for (const CellCommand& command : cellCommands()) {
    out << "  " << command.name << " " << command.arguments << "\n      " << command.summary
        << "\n";
  }
  out << "\nA cell is the folder that holds robots/. BASE is a base directory, one robot\n"
         "folder robots/<robot>/ of a cell, which holds corvantis.dat and debug/; the cell\n"
         "itself stands for its only robot folder.\n"
         "Exit status: 0 done, 1 failed, 2 wrong arguments.\n";
}

}  // namespace

void relayMessages(const std::string& told, std::ostream& err) {
  constexpr char kCheckName[] = "corvantis:";
  std::istringstream lines(told);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(kCheckName, 0) == 0) line.replace(0, sizeof kCheckName - 1, "corvantis-cell:");
    err << line << "\n";
  }
}

int runCellCommandLine(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
  const std::string first = argc > 1 ? argv[1] : "";
  if (first == "--help" || first == "-h") {
    writeHelp(out);
    return 0;
  }
  if (first == "--version") {
    out << "corvantis-cell " << CORVANTIS_VERSION << "\n";
    return 0;
  }
  for (const CellCommand& command : cellCommands()) {
    if (first != command.name) continue;
    try {
      return command.run(CellArgs(argv + 2, argv + argc), out, err);
    } catch (const std::bad_alloc&) {
      err << "corvantis-cell: out of memory\n";
    } catch (const std::exception& e) {
      err << "corvantis-cell: " << command.name << " failed: " << e.what() << "\n";
    }
    return 1;
  }
  err << (first.empty() ? "corvantis-cell: no command given"
                        : "corvantis-cell: unknown command " + first)
      << "; corvantis-cell --help lists the commands\n";
  return kCellUsageError;
}

}  // namespace corvantis
