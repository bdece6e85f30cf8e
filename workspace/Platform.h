// The one seam between corvantis and the operating system.
//
// Everything that differs between Linux and Windows sits behind `Platform`: file times
// and sizes, local and current time, listing, deleting and moving files, the working
// directory, the process id and durable writes. Exactly one implementation file is
// compiled per platform (PlatformPosix.cpp, PlatformWindows.cpp); no other file asks
// which system it runs on. OS errors are turned into a `Status` here, so callers see one
// kind of result. File contents are handled as raw bytes: callers put the CR LF line
// ends into the text themselves.
//
// An implementation holds no state of its own and may be used from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "workspace/Status.h"

namespace corvantis {

// A calendar time of the local time zone, with its offset east of UTC in minutes.
struct LocalTime {
  unsigned year = 0;
  unsigned month = 0;
  unsigned day = 0;
  unsigned hour = 0;
  unsigned minute = 0;
  unsigned second = 0;
  int utcOffsetMinutes = 0;
};

// A regular file found in a directory: its name (without the directory) and size.
struct DirectoryEntry {
  std::string name;
  std::uint64_t size = 0;
};

// An exclusive advisory lock on a file, held until the object is destroyed. It only
// keeps out other processes that ask for the same lock.
class FileLock {
 public:
  virtual ~FileLock() = default;
};

// A file opened for reading from its first byte on, in order; closed when destroyed.
class ReadableFile {
 public:
  virtual ~ReadableFile() = default;
  // Reads the next bytes into `buffer`, up to `size`; *got is less than `size` only at
  // the end of the file. On failure *got holds the bytes read before it.
  virtual Status read(void* buffer, std::size_t size, std::size_t* got) = 0;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // Last-write time of the file in whole seconds since 1970-01-01 00:00:00 UTC;
  // 0 when the file does not exist or its time cannot be read.
  virtual std::uint64_t fileTime(const std::string& path) const = 0;
  // Size of the file in bytes; nothing when its status cannot be read.
  virtual std::optional<std::uint64_t> fileSize(const std::string& path) const = 0;
  // True when the file can be opened for reading.
  virtual bool fileExists(const std::string& path) const = 0;
  virtual LocalTime localTime() const = 0;
  // The process's working directory, without a trailing separator (except a root).
  virtual std::string workingDirectory() const = 0;
  // A number that differs between processes running at the same time on one system;
  // processes in separate containers may share it.
  virtual std::uint64_t processId() const = 0;
  // The current time in whole seconds since 1970-01-01 00:00:00 UTC.
  virtual std::uint64_t currentTime() const = 0;

  // Reads the whole file into *content.
  virtual Status readFile(const std::string& path, std::string* content) const = 0;
  // Opens the file for reading it piece by piece, for files too large to hold whole.
  virtual Status openForReading(const std::string& path,
                                std::unique_ptr<ReadableFile>* file) const = 0;
  // Creates an empty file when none exists; an existing file is left as it is.
  virtual Status createFile(const std::string& path) = 0;
  virtual Status deleteFile(const std::string& path) = 0;
  // Renames `from` to `to`, failing when `to` already exists.
  virtual Status moveNoReplace(const std::string& from, const std::string& to) = 0;
  // Creates `path` (failing when it exists), writes `content` and flushes it to disk.
  virtual Status writeNewFile(const std::string& path, const std::string& content) = 0;
  // Writes `content` into `path`, creating it or truncating what was there, for a file a
  // person named (a page, a sheet): a link or a device by that name is written through,
  // and nothing is flushed to disk. A regular file that cannot be written whole is
  // removed again.
  virtual Status writeFile(const std::string& path, const std::string& content) = 0;
  // Creates a file whose name is `prefix` followed by characters that no file had there
  // (never opening an existing one, whatever process made it), writes `content` and
  // flushes it to disk; *path gets the new file's name. A file that cannot be written
  // whole is removed again.
  virtual Status writeUniqueFile(const std::string& prefix, const std::string& content,
                                 std::string* path) = 0;
  // Atomically puts `from` in place of `to` (replacing it) and makes the rename durable.
  virtual Status replaceFile(const std::string& from, const std::string& to) = 0;
  // Appends `data` to the file (creating it) with a single write, then flushes it to disk.
  // Data that does not fit whole (under the file size limit, on a full disk) is taken
  // back, unless another append has already followed it.
  virtual Status appendDurably(const std::string& path, const std::string& data) = 0;
  // The regular files directly in the directory, in no particular order; fails when it
  // is no directory or cannot be read.
  virtual Status listDirectory(const std::string& path,
                               std::vector<DirectoryEntry>* entries) const = 0;
  // Makes `to` a copy of the bytes of `from` (of its target, when it is a symbolic link)
  // that later changes to `from` leave alone: shared blocks where the file system can
  // clone them, else copied in pieces of bounded size. Fails when `to` exists; a failed
  // copy leaves no part of `to` behind.
  virtual Status copyFile(const std::string& from, const std::string& to) = 0;
  // Takes the lock of `path` (creating the file when missing), waiting at most
  // `timeoutMs` milliseconds; fails when it cannot be had in that time.
  virtual Status lockFile(const std::string& path, int timeoutMs,
                          std::unique_ptr<FileLock>* lock) = 0;
};

// The platform of the running system; lives for the whole process.
Platform& defaultPlatform();

// The separator appended between a derived directory and the file names below it, in
// the doubled form the workspace keeps its paths in: "/" on POSIX, two backslashes on
// Windows.
extern const char kPathSeparator[];

}  // namespace corvantis
