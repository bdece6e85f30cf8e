// The reject archive of a cell: the captures of rejected checks, kept for a person to
// look at (view mode, explain) after the cell has moved on.
//
// It is switched on by creating debug/rejects/ below the base directory. Each capture
// is copied into it as YYYYMMDD-HHMMSS_<step>_<file name>: a copy, not a link, so that
// a camera that rewrites its capture in place cannot change what the check saw. The
// oldest of the archive's own files (by name, which begins with the time) are dropped
// to keep them within kArchiveMaxFiles and kArchiveMaxBytes; other files there are left
// alone and not counted. Nothing here changes the check: failures are told on the
// diagnostics stream.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "workspace/Platform.h"

namespace corvantis {

constexpr std::size_t kArchiveMaxFiles = 200;
constexpr std::uint64_t kArchiveMaxBytes = 500ull * 1024 * 1024;
// Longer step identifiers are cut in the file name; the journal keeps them whole.
constexpr std::size_t kArchiveMaxStepChars = 64;
// The longest file name most file systems take; a longer capture name is cut before its
// extension.
constexpr std::size_t kArchiveMaxNameBytes = 255;

struct ArchiveLimits {
  std::size_t maxFiles = kArchiveMaxFiles;
  std::uint64_t maxBytes = kArchiveMaxBytes;
};

// "YYYYMMDD-HHMMSS_<safe step>_<file name>", within kArchiveMaxNameBytes: the step keeps
// letters, digits, ".", "-" and "_" (anything else becomes "_"), cut to
// kArchiveMaxStepChars, so the name is safe on every system; the file name loses bytes
// before its extension (never within a UTF-8 character).
std::string archiveName(const LocalTime& time, const std::string& stepId,
                        const std::string& fileName);

// When `rejectsDir` exists, puts a copy of the capture at `currentPath` into it and then
// drops the oldest archived files until the limits hold, going on past one that cannot be
// deleted. The same capture of the same step within the same second is kept once.
void archiveReject(Platform& platform, const std::string& rejectsDir,
                   const std::string& currentPath, const std::string& stepId,
                   std::ostream& diagnostics, const ArchiveLimits& limits = ArchiveLimits());

}  // namespace corvantis
