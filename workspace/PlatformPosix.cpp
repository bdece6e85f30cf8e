// The platform layer for Linux and other POSIX systems; its file primitives are in
// PosixFiles.cpp.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <memory>
#include <utility>
#include <vector>

#include "workspace/FileNames.h"
#include "workspace/Platform.h"
#include "workspace/PosixFiles.h"

namespace corvantis {

const char kPathSeparator[] = "/";

namespace {

using posix::copyContent;
using posix::directoryOf;
using posix::FileDescriptor;
using posix::flockWithin;
using posix::openRetrying;
using posix::posixError;
using posix::renameNoReplace;
using posix::syncAndClose;
using posix::writeAll;
using posix::writeExclusive;

class PosixReadableFile : public ReadableFile {
 public:
  PosixReadableFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}

  Status read(void* buffer, std::size_t size, std::size_t* got) override {
    *got = 0;
    while (*got < size) {
      const ssize_t n = ::read(fd_.get(), static_cast<char*>(buffer) + *got, size - *got);
      if (n == 0) break;
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return posixError(path_, errno);
      *got += static_cast<std::size_t>(n);
    }
    return Status::success();
  }

 private:
  FileDescriptor fd_;
  std::string path_;
};


constexpr std::size_t kCopyChunkBytes = 1 << 20;  // a copy's buffer, whatever the file's size

// Random names are never all taken by chance; the limit stops a broken random source.
constexpr int kUniqueNameAttempts = 100;

// The longest an append waits for the lock of the file it appends to.
constexpr int kAppendLockMs = 2000;

class PosixPlatform : public Platform {
 public:
  PosixPlatform() {
    // Under a file size limit, a write beyond it must fail with EFBIG like one on a
    // full disk: the default action of SIGXFSZ would end the check without a verdict
    // and leave its temporary file behind.
    ::signal(SIGXFSZ, SIG_IGN);
  }

  std::uint64_t fileTime(const std::string& path) const override {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return 0;
    // A time before 1970 wraps to a large number, as the cell's Windows tools have it.
    return static_cast<std::uint64_t>(st.st_mtime);
  }

  std::optional<std::uint64_t> fileSize(const std::string& path) const override {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
  }

  bool fileExists(const std::string& path) const override {
    FileDescriptor fd(openRetrying(path, O_RDONLY | O_NONBLOCK));
    return fd.get() >= 0;
  }

  LocalTime localTime() const override {
    const std::time_t now = std::time(nullptr);
    struct tm tm;
    LocalTime local;
    if (::localtime_r(&now, &tm) == nullptr) return local;
    local.year = static_cast<unsigned>(tm.tm_year + 1900);
    local.month = static_cast<unsigned>(tm.tm_mon + 1);
    local.day = static_cast<unsigned>(tm.tm_mday);
    local.hour = static_cast<unsigned>(tm.tm_hour);
    local.minute = static_cast<unsigned>(tm.tm_min);
    local.second = static_cast<unsigned>(tm.tm_sec);
    local.utcOffsetMinutes = static_cast<int>(tm.tm_gmtoff / 60);
    return local;
  }

  std::string workingDirectory() const override {
    // No fixed limit: deep working directories keep their full path.
    std::vector<char> buffer(256);
    for (;;) {
      if (::getcwd(buffer.data(), buffer.size()) != nullptr) return buffer.data();
      if (errno != ERANGE) return "";
      buffer.resize(buffer.size() * 2);
    }
  }

  std::uint64_t processId() const override { return static_cast<std::uint64_t>(::getpid()); }

  std::uint64_t currentTime() const override {
    return static_cast<std::uint64_t>(std::time(nullptr));
  }

  Status readFile(const std::string& path, std::string* content) const override {
    content->clear();
    std::unique_ptr<ReadableFile> file;
    const Status opened = openForReading(path, &file);
    if (!opened.ok()) return opened;
    char buffer[65536];
    std::size_t got = sizeof buffer;
    while (got == sizeof buffer) {
      const Status read = file->read(buffer, sizeof buffer, &got);
      if (!read.ok()) {
        content->clear();
        return read;
      }
      content->append(buffer, got);
    }
    return Status::success();
  }

  Status openForReading(const std::string& path,
                        std::unique_ptr<ReadableFile>* file) const override {
    const int fd = openRetrying(path, O_RDONLY);
    if (fd < 0) return posixError(path, errno);
    *file = std::make_unique<PosixReadableFile>(fd, path);
    return Status::success();
  }

  Status createFile(const std::string& path) override {
    // Opened for reading and writing, so that a store that could be read but never
    // rewritten is refused here already.
    FileDescriptor fd(openRetrying(path, O_RDWR | O_CREAT, 0644));
    if (fd.get() < 0) return posixError(path, errno);
    return Status::success();
  }

  Status deleteFile(const std::string& path) override {
    if (::unlink(path.c_str()) != 0) return posixError(path, errno);
    return Status::success();
  }

  Status moveNoReplace(const std::string& from, const std::string& to) override {
    if (renameNoReplace(from, to) == 0) return Status::success();
    if (errno != EINVAL && errno != ENOSYS) return posixError(from, errno);
    // Kernels or file systems without RENAME_NOREPLACE: link() refuses an existing
    // target just the same, and the old name goes afterwards.
    if (::link(from.c_str(), to.c_str()) != 0) return posixError(from, errno);
    if (::unlink(from.c_str()) != 0) return posixError(from, errno);
    return Status::success();
  }

  Status writeFile(const std::string& path, const std::string& content) override {
    FileDescriptor fd(openRetrying(path, O_WRONLY | O_CREAT | O_TRUNC, 0644));
    if (fd.get() < 0) return posixError(path, errno);
    Status written = writeAll(fd.get(), content.data(), content.size(), path);
    if (written.ok() && fd.release() != 0) written = posixError(path, errno);
    struct stat st;
    if (!written.ok() && ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
      (void)::unlink(path.c_str());
    }
    return written;
  }

  Status writeNewFile(const std::string& path, const std::string& content) override {
    int openError = 0;
    return writeExclusive(path, content, &openError);
  }

  Status writeUniqueFile(const std::string& prefix, const std::string& content,
                         std::string* path) override {
    // As mkstemp() does, but with the mode of every other file the cell shares.
    for (int attempt = 0; attempt < kUniqueNameAttempts; ++attempt) {
      *path = prefix + randomNameSuffix();
      int openError = 0;
      const Status written = writeExclusive(*path, content, &openError);
      if (openError == EEXIST) continue;
      // Only a file this call created may go: any other of that name is someone else's.
      if (!written.ok() && openError == 0) (void)::unlink(path->c_str());
      return written;
    }
    return Status::error(prefix, "no free name found");
  }

  Status replaceFile(const std::string& from, const std::string& to) override {
    if (::rename(from.c_str(), to.c_str()) != 0) return posixError(from, errno);
    // The rename is done; syncing the directory makes it survive a power loss. File
    // systems that cannot sync a directory say EINVAL, and there it is as durable as
    // it gets.
    const std::string directory = directoryOf(to);
    FileDescriptor dir(openRetrying(directory, O_RDONLY | O_DIRECTORY));
    if (dir.get() < 0) return Status::success();
    if (::fsync(dir.get()) != 0 && errno != EINVAL) return posixError(directory, errno);
    return Status::success();
  }

  Status appendDurably(const std::string& path, const std::string& data) override {
    FileDescriptor fd(openRetrying(path, O_WRONLY | O_APPEND | O_CREAT, 0644));
    if (fd.get() < 0) return posixError(path, errno);
    // Appenders share the file's lock while they write; taking back a piece cut short
    // needs it alone, so that no other line can be written behind the piece meanwhile.
    if (!flockWithin(fd.get(), LOCK_SH, kAppendLockMs)) return posixError(path, errno);
    // One write, so that lines of checks appending at the same moment do not mix.
    ssize_t n;
    do {
      n = ::write(fd.get(), data.data(), data.size());
    } while (n < 0 && errno == EINTR);
    if (n < 0) return posixError(path, errno);
    if (static_cast<std::size_t>(n) < data.size()) {
      // Cut short by the file size limit or a full disk: a torn line would run into the
      // next one, so the piece goes again, but only while nothing follows it.
      const off_t end = ::lseek(fd.get(), 0, SEEK_CUR);
      struct stat st;
      const bool last = end >= n && flockWithin(fd.get(), LOCK_EX, kAppendLockMs) &&
                        ::fstat(fd.get(), &st) == 0 && st.st_size == end;
      const bool takenBack = last && ::ftruncate(fd.get(), end - n) == 0;
      return Status::error(path, "only " + std::to_string(n) + " of " +
                                     std::to_string(data.size()) + " bytes could be written" +
                                     (takenBack ? "" : "; they stay, as another line follows"));
    }
    return syncAndClose(&fd, path);
  }

  Status listDirectory(const std::string& path,
                       std::vector<DirectoryEntry>* entries) const override {
    entries->clear();
    DIR* dir = ::opendir(path.c_str());
    if (dir == nullptr) return posixError(path, errno);
    while (const struct dirent* entry = ::readdir(dir)) {
      struct stat st;
      const std::string name = entry->d_name;
      if (::stat((path + "/" + name).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
      entries->push_back(DirectoryEntry{name, static_cast<std::uint64_t>(st.st_size)});
    }
    ::closedir(dir);
    return Status::success();
  }

  Status copyFile(const std::string& from, const std::string& to) override {
    std::vector<char> buffer(kCopyChunkBytes);        // before `to` exists: no memory, no file
    FileDescriptor in(openRetrying(from, O_RDONLY));  // a symbolic link's target
    if (in.get() < 0) return posixError(from, errno);
    FileDescriptor out(openRetrying(to, O_WRONLY | O_CREAT | O_EXCL, 0644));
    if (out.get() < 0) return posixError(to, errno);
    // Not flushed: kept for a later look, and flushing a capture costs more than a check.
    Status copied = copyContent(in.get(), out.get(), &buffer, from, to);
    if (copied.ok() && out.release() != 0) copied = posixError(to, errno);
    if (!copied.ok()) (void)::unlink(to.c_str());
    return copied;
  }

  Status lockFile(const std::string& path, int timeoutMs,
                  std::unique_ptr<FileLock>* lock) override {
    auto held = std::make_unique<FlockLock>(openRetrying(path, O_RDWR | O_CREAT, 0644));
    if (held->fd.get() < 0) return posixError(path, errno);
    // Polled, so that a stuck peer can only delay a check by the bounded time.
    if (!flockWithin(held->fd.get(), LOCK_EX, timeoutMs)) {
      if (errno != EWOULDBLOCK) return posixError(path, errno);
      return Status::error(path, "locked by another check");
    }
    *lock = std::move(held);
    return Status::success();
  }

 private:
  // The lock goes with the descriptor when it is closed.
  struct FlockLock : FileLock {
    explicit FlockLock(int descriptor) : fd(descriptor) {}
    FileDescriptor fd;
  };
};

}  // namespace

Platform& defaultPlatform() {
  static PosixPlatform platform;
  return platform;
}

}  // namespace corvantis
