// The journal of a cell: one time-stamped text line per check, appended to a file that
// is rotated into five generations once it has reached 5120 KiB.
//
// Checks may run at the same moment: each line goes to the file with one appending
// write, so lines never mix, and rotations are serialised by an advisory lock.
// Lines end in CR LF, as the cell's Windows tools expect. Nothing here reports an error
// to the caller: a line that cannot be written is told on the diagnostics stream.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "workspace/Platform.h"

namespace corvantis {

// A journal of this size or more is rotated before the next line is written.
constexpr std::uint64_t kRotateKiB = 5120;
// The longest a check waits for another one to finish rotating; after that it appends
// to the journal as it stands and leaves the rotation to a later check.
constexpr int kRotateLockMs = 2000;

// The file whose lock serialises the rotations of the journal at `journalPath`.
std::string journalLockPath(const std::string& journalPath);

// When the journal at `journalPath` has reached kRotateKiB, drops its oldest generation
// and shifts the others by one, the journal becoming generation 1, holding the lock of
// journalLockPath meanwhile. A step that fails is told on `diagnostics`; the others are
// still taken. A `fresh` text that is not empty starts the new journal before the lock
// is released, for files whose existence is their switch.
void rotateJournal(Platform& platform, const std::string& journalPath, std::ostream& diagnostics,
                   const std::string& fresh = std::string());

// Rotates, then appends the line of `text` with the current local time. A failure to
// write is told on `diagnostics` in one line.
void writeJournalLine(Platform& platform, const std::string& journalPath, const std::string& text,
                      std::ostream& diagnostics);

}  // namespace corvantis
