#include "workspace/PosixFiles.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#ifdef __linux__
#include <linux/fs.h>
#endif
#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

namespace corvantis {
namespace posix {

Status posixError(const std::string& context, int error) {
  return Status::error(context, std::strerror(error));
}

FileDescriptor::~FileDescriptor() {
  if (fd_ >= 0) ::close(fd_);
}

int FileDescriptor::release() {
  const int result = ::close(fd_);
  fd_ = -1;
  return result;
}

int openRetrying(const std::string& path, int flags, mode_t mode) {
  int fd;
  do {
    fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

Status writeAll(int fd, const char* data, std::size_t size, const std::string& path) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return posixError(path, errno);
    done += static_cast<std::size_t>(n);
  }
  return Status::success();
}

Status syncAndClose(FileDescriptor* fd, const std::string& path) {
  if (::fsync(fd->get()) != 0) return posixError(path, errno);
  if (fd->release() != 0) return posixError(path, errno);
  return Status::success();
}

std::string directoryOf(const std::string& path) {
  const std::size_t last = path.find_last_of('/');
  if (last == std::string::npos) return ".";
  if (last == 0) return "/";
  return path.substr(0, last);
}

Status copyContent(int in, int out, std::vector<char>* buffer, const std::string& from,
                   const std::string& to) {
#ifdef FICLONE
  if (::ioctl(out, FICLONE, in) == 0) return Status::success();
#endif
  for (;;) {
    const ssize_t n = ::read(in, buffer->data(), buffer->size());
    if (n == 0) return Status::success();
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return posixError(from, errno);
    const Status written = writeAll(out, buffer->data(), static_cast<std::size_t>(n), to);
    if (!written.ok()) return written;
  }
}

bool flockWithin(int fd, int operation, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (::flock(fd, operation | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    if (std::chrono::steady_clock::now() >= deadline) {
      errno = EWOULDBLOCK;
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

int renameNoReplace(const std::string& from, const std::string& to) {
#ifdef SYS_renameat2
  return static_cast<int>(
      ::syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE));
#else
  errno = ENOSYS;
  return -1;
#endif
}

Status writeExclusive(const std::string& path, const std::string& content, int* openError) {
  FileDescriptor fd(openRetrying(path, O_WRONLY | O_CREAT | O_EXCL, 0644));
  *openError = fd.get() < 0 ? errno : 0;
  if (fd.get() < 0) return posixError(path, *openError);
  const Status written = writeAll(fd.get(), content.data(), content.size(), path);
  if (!written.ok()) return written;
  return syncAndClose(&fd, path);
}

}  // namespace posix
}  // namespace corvantis
