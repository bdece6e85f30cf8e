// The workspace of one check: the cell's derived paths, the journal and the store of
// reference signatures.
//
// The base directory is the directory directly below the first "robots" directory of
// the reference path; the journal is debug/corvantis.log in it and the store
// corvantis.dat in it (in the working directory when there is no base directory). The
// temporary file of a store update lives in var/tmp of the working directory's parent.
// Nothing here reports an error to the caller: failures to write the journal or the
// store are told on the diagnostics stream (standard error unless given) and the check
// goes on. Not thread-safe; one Workspace per check.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "workspace/FeatureVector.h"
#include "workspace/Paths.h"  // deriveBaseDir, doubleBackslashes, deriveTempRoot, storeKeyOf
#include "workspace/Platform.h"
#include "workspace/ReferenceStore.h"
#include "workspace/ValuesLog.h"

namespace corvantis {

class Workspace {
 public:
  // Derives the paths from the reference image path and opens (creating) the store.
  // `platform` and `diagnostics` must outlive the Workspace.
  explicit Workspace(const std::string& referencePath, Platform& platform = defaultPlatform(),
                     std::ostream* diagnostics = nullptr);
  ~Workspace();
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;

  // The stored signature of the reference image; empty when the store has no record it
  // trusts under the image's key (storeKeyOf).
  FeatureVector readReference(const std::string& path);
  // The time stored with the reference image's record; 0 when there is none.
  std::uint64_t storedTime(const std::string& path);
  // Puts this record under the path's key into the store, in place of any earlier one
  // or at the end; see ReferenceStore::update for what is never written. The store on
  // disk is always either the old or the new complete file.
  void storeReference(const std::string& path, const FeatureVector& values, std::uint64_t time);
  // Appends "[dd/mm/yyyy hh:mm:ss] - " + text + CR LF to the journal, rotating first.
  void writeJournal(const std::string& text);
  // Keeps what the cell's diagnostics ask for, after the journal line: the row of the
  // values log when debug/corvantis.csv exists, and for a rejected check the capture in
  // debug/rejects/ when that exists. Failures, exceptions among them, are told on the
  // diagnostics stream and go no further.
  void recordCheck(const CheckRecord& record);

 private:
  Platform& platform_;
  std::ostream& diagnostics_;
  std::string referencePath_;
  std::string baseDir_;
  std::string journalPath_;
  ReferenceStore store_;
};

}  // namespace corvantis
