#include "workspace/Workspace.h"

#include <exception>
#include <iostream>
#include <new>

#include "workspace/Journal.h"
#include "workspace/RejectArchive.h"

namespace corvantis {

namespace {

// The verdict is in the journal by now: keeping the evidence of it may fail in any way
// (out of memory on a huge capture among them) without changing what the caller sees.
template <typename Keep>
void keepEvidence(const char* what, std::ostream& diagnostics, const Keep& keep) {
  try {
    keep();
  } catch (const std::bad_alloc&) {
    diagnostics << "corvantis: " << what << " not kept: out of memory\n";
  } catch (const std::exception& e) {
    diagnostics << "corvantis: " << what << " not kept: " << e.what() << "\n";
  }
}

}  // namespace

Workspace::Workspace(const std::string& referencePath, Platform& platform,
                     std::ostream* diagnostics)
    : platform_(platform),
      diagnostics_(diagnostics != nullptr ? *diagnostics : std::cerr),
      referencePath_(referencePath),
      baseDir_(doubleBackslashes(deriveBaseDir(referencePath))),
      journalPath_(journalPathOf(baseDir_)),
      store_(storePathOf(baseDir_), tempPathOf(deriveTempRoot(platform.workingDirectory())),
             platform, diagnostics_) {
  if (baseDir_.empty()) {
    diagnostics_ << "corvantis: reference path " << referencePath_
                 << " names no cell (no directory below a \"robots\" directory): no journal "
                    "line is written and the store is kept in the working directory\n";
  }
}

Workspace::~Workspace() = default;

FeatureVector Workspace::readReference(const std::string& path) {
  return store_.lookup(storeKeyOf(path));
}

std::uint64_t Workspace::storedTime(const std::string& path) {
  return store_.storedTime(storeKeyOf(path));
}

void Workspace::storeReference(const std::string& path, const FeatureVector& values,
                               std::uint64_t time) {
  store_.update(storeKeyOf(path), values, time);
}

void Workspace::writeJournal(const std::string& text) {
  // Without a base directory the journal path would start at the file-system root
  // (on Windows it names no reachable file); the line goes nowhere, as the constructor
  // said.
  if (baseDir_.empty()) return;
  writeJournalLine(platform_, journalPath_, text, diagnostics_);
}

void Workspace::recordCheck(const CheckRecord& record) {
  // Without a base directory there is no cell to keep anything for; writeJournal has
  // said so already.
  if (baseDir_.empty()) return;
  keepEvidence("values log row", diagnostics_, [&] {
    appendValuesRow(platform_, valuesLogPathOf(baseDir_), record, diagnostics_);
  });
  if (record.accepted) return;
  keepEvidence("reject archive capture", diagnostics_, [&] {
    archiveReject(platform_, rejectsDirOf(baseDir_), record.currentPath, record.stepId,
                  diagnostics_);
  });
}

}  // namespace corvantis
