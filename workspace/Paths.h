// Where a check keeps its files, derived from the reference image path and the working
// directory.
//
// Both "\" and "/" separate path components. Derived directories are kept in the
// doubled form the cell's Windows tools have always used (every backslash from the
// third character on written twice); on POSIX paths, which have no backslashes, the
// doubling changes nothing. Pure functions of their arguments.
#pragma once

#include <string>
#include <vector>

namespace corvantis {

// The directory directly below the first "robots" directory of `path`, with its
// trailing separator; empty when there is none.
std::string deriveBaseDir(const std::string& path);
// Every backslash from the third character on written twice.
std::string doubleBackslashes(const std::string& s);
// `path` as a person would type it: each run of separators after the first two
// characters written as its first, undoing the doubled form of derived paths for messages.
std::string shownPath(const std::string& path);
// The parent of the working directory `cwd`, without trailing separator, doubled.
std::string deriveTempRoot(const std::string& cwd);

// The journal below the base directory `baseDir` (which ends with a separator).
std::string journalPathOf(const std::string& baseDir);
// The store in `baseDir`; the bare file name, so the working directory, when it is empty.
// A base directory that does not end with a separator of this system (one written with
// backslashes, on POSIX) gets one, so that it names a directory and never a file here.
std::string storePathOf(const std::string& baseDir);
// The key of a reference's record in the store: its path below the base directory, or
// the whole path when there is none, with one "/" for each run of separators and "."
// parts left out. Two references of one file name in different folders then have
// records of their own, and a store keeps its keys between Windows and POSIX.
std::string storeKeyOf(const std::string& referencePath);
// The temporary file of a store update below `tempRoot`, without the suffix that keeps
// concurrent checks apart.
std::string tempPathOf(const std::string& tempRoot);
// The values log below `baseDir`; checks append to it only while it exists.
std::string valuesLogPathOf(const std::string& baseDir);
// The directory below `baseDir` that keeps the captures of rejected checks while it exists.
std::string rejectsDirOf(const std::string& baseDir);
// The names of generations 1 (newest) to 5 of a rotated file: the number goes before
// the file's four-character extension, corvantis.log giving corvantis_1.log.
std::vector<std::string> rotatedNames(const std::string& journalPath);

// The store's file name, also used alone for the scratch store in the working directory.
extern const char kStoreFileName[];

}  // namespace corvantis
