// The POSIX file primitives under the platform layer (PlatformPosix.cpp), built only with
// it: a descriptor closed with its scope, writes and renames retried or checked as the
// calls need, and the time-limited flock(). Every Status names the path with errno's text.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <vector>

#include "workspace/Platform.h"

namespace corvantis {
namespace posix {

// The error of `context` with the text of errno value `error`.
Status posixError(const std::string& context, int error);

// Closes the descriptor when it goes out of scope; close() is checked explicitly where
// its result matters.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor();
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  // Closes now and reports the outcome.
  int release();

 private:
  int fd_;
};

// open() with O_CLOEXEC, again after a signal interrupted it; -1 with errno set.
int openRetrying(const std::string& path, int flags, mode_t mode = 0);

// All `size` bytes, over as many write() calls as it takes.
Status writeAll(int fd, const char* data, std::size_t size, const std::string& path);

// fsync() and close(), each checked.
Status syncAndClose(FileDescriptor* fd, const std::string& path);

// The directory part of `path`: "." without one, "/" for the root.
std::string directoryOf(const std::string& path);

// Copies `in` to `out`: as a clone sharing the blocks where the file system offers one
// (btrfs, XFS), else piece by piece through `buffer`.
Status copyContent(int in, int out, std::vector<char>* buffer, const std::string& from,
                   const std::string& to);

// Takes the flock() `operation` (LOCK_SH or LOCK_EX) on `fd`, polling up to `timeoutMs`
// milliseconds, as flock() has no time limit of its own; false with errno set when it
// cannot be had.
bool flockWithin(int fd, int operation, int timeoutMs);

// The kernel's rename that refuses an existing target; -1 with errno EINVAL or ENOSYS
// where the kernel or the file system has none.
int renameNoReplace(const std::string& from, const std::string& to);

// Creates `path` unless a file of that name exists, writes `content` and flushes it to
// disk. *openError is the errno of a failed create, 0 once the file was created.
Status writeExclusive(const std::string& path, const std::string& content, int* openError);

}  // namespace posix
}  // namespace corvantis
