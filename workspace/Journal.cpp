#include "workspace/Journal.h"

#include <memory>
#include <vector>

#include "workspace/JournalLine.h"
#include "workspace/Paths.h"

namespace corvantis {

namespace {

bool isDue(const Platform& platform, const std::string& journalPath) {
  const std::optional<std::uint64_t> size = platform.fileSize(journalPath);
  return size && *size / 1024 >= kRotateKiB;
}

}  // namespace

std::string journalLockPath(const std::string& journalPath) { return journalPath + ".lock"; }

void rotateJournal(Platform& platform, const std::string& journalPath, std::ostream& diagnostics,
                   const std::string& fresh) {
  if (!isDue(platform, journalPath)) return;
  // Checks that find the journal full at the same moment take turns; whoever comes
  // second finds it rotated already and must not shift the generations once more.
  // The lock lives in a file of its own, as the journal itself changes its name.
  std::unique_ptr<FileLock> lock;
  const Status locked = platform.lockFile(journalLockPath(journalPath), kRotateLockMs, &lock);
  if (!locked.ok()) {
    diagnostics << "corvantis: journal not rotated: " << locked.message() << "\n";
    return;
  }
  if (!isDue(platform, journalPath)) return;
  // A step that fails on a file that is there is told; a generation that does not
  // exist is no failure. The oldest generation is deleted without being opened, so
  // that one that cannot be read does not stop every later rotation.
  const auto told = [&](const Status& status, const std::string& path) {
    if (!status.ok() && platform.fileSize(path))
      diagnostics << "corvantis: journal not fully rotated: " << status.message() << "\n";
  };
  const std::vector<std::string> names = rotatedNames(journalPath);
  told(platform.deleteFile(names[4]), names[4]);
  // The moves never replace: when a generation could not be moved on (or another check
  // rotated at the same moment), its content stays and the newer one keeps its name,
  // so no journal content is lost by a rotation other than the oldest generation.
  for (std::size_t n = names.size() - 1; n >= 1; --n)
    told(platform.moveNoReplace(names[n - 1], names[n]), names[n - 1]);
  told(platform.moveNoReplace(journalPath, names[0]), journalPath);
  // Under the lock: a check that finds the name missing waits for it (see the values
  // log). A check that created the file meanwhile has started it itself.
  if (fresh.empty() || platform.fileExists(journalPath)) return;
  const Status started = platform.writeNewFile(journalPath, fresh);
  if (!started.ok() && !platform.fileExists(journalPath))
    diagnostics << "corvantis: not started anew after rotating: " << started.message() << "\n";
}

void writeJournalLine(Platform& platform, const std::string& journalPath, const std::string& text,
                      std::ostream& diagnostics) {
  rotateJournal(platform, journalPath, diagnostics);
  const Status status =
      platform.appendDurably(journalPath, journalLine(platform.localTime(), text));
  if (status.ok()) return;
  // A cell keeps no journal until someone creates its debug directory; that is no fault
  // of the file, so the person is told how to switch the journal on.
  const std::string debugDir = journalPath.substr(0, journalPath.find_last_of("\\/") + 1);
  std::vector<DirectoryEntry> entries;
  if (!platform.listDirectory(debugDir, &entries).ok()) {
    diagnostics << "corvantis: journal off: " << shownPath(debugDir)
                << " does not exist; create it to switch the journal on\n";
    return;
  }
  diagnostics << "corvantis: journal line not written: " << status.message() << "\n";
}

}  // namespace corvantis
