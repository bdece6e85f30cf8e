// The platform layer for Windows.
//
// Files are read and written through kernel handles, byte for byte: the text already
// holds its CR LF line ends, and a text-mode C stream would write each of them as
// CR CR LF. Every handle lets others read, write and delete meanwhile, as the C
// run-time's fopen does, so a check never fails because another one has a file open.
// Paths go to the ANSI calls as they are; Windows reads a run of backslashes as one
// separator and a forward slash as a separator too.
#include <direct.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "workspace/FileNames.h"
#include "workspace/Platform.h"
#include "workspace/WindowsErrorText.h"
#include "workspace/WindowsFiles.h"

namespace corvantis {

// One backslash in the doubled form of the workspace's paths.
const char kPathSeparator[] = "\\\\";

namespace {

using windows::flushAndClose;
using windows::Handle;
using windows::lastError;
using windows::openFile;
using windows::windowsError;
using windows::WindowsReadableFile;
using windows::writeAll;
using windows::writeExclusive;

// File times count 100-ns intervals since 1601-01-01 00:00:00 UTC.
constexpr std::uint64_t kIntervalsPerSecond = 10000000;
constexpr std::uint64_t kSecondsFrom1601To1970 = 11644473600;

// Random names are never all taken by chance; the limit stops a broken random source.
constexpr int kUniqueNameAttempts = 100;

class WindowsPlatform : public Platform {
 public:
  std::uint64_t fileTime(const std::string& path) const override {
    Handle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr));
    FILETIME written;
    if (!file.valid() || !::GetFileTime(file.get(), nullptr, nullptr, &written)) return 0;
    const std::uint64_t intervals =
        (static_cast<std::uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
    // Unsigned on purpose: a time before 1970 wraps to a large number, as the cell's
    // tools have always had it.
    return intervals / kIntervalsPerSecond - kSecondsFrom1601To1970;
  }

  std::optional<std::uint64_t> fileSize(const std::string& path) const override {
    struct __stat64 st;
    if (::_stat64(path.c_str(), &st) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
  }

  bool fileExists(const std::string& path) const override {
    return Handle(openFile(path, GENERIC_READ, OPEN_EXISTING)).valid();
  }

  LocalTime localTime() const override {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    LocalTime local;
    local.year = now.wYear;
    local.month = now.wMonth;
    local.day = now.wDay;
    local.hour = now.wHour;
    local.minute = now.wMinute;
    local.second = now.wSecond;
    TIME_ZONE_INFORMATION zone;
    const DWORD kind = ::GetTimeZoneInformation(&zone);
    // The bias counts minutes west of UTC, so its sign is the other way round.
    LONG bias = zone.Bias;
    if (kind == TIME_ZONE_ID_DAYLIGHT) bias += zone.DaylightBias;
    if (kind == TIME_ZONE_ID_STANDARD) bias += zone.StandardBias;
    if (kind != TIME_ZONE_ID_INVALID) local.utcOffsetMinutes = -static_cast<int>(bias);
    return local;
  }

  std::string workingDirectory() const override {
    // Allocated to fit, so deep working directories keep their full path.
    char* cwd = ::_getcwd(nullptr, 0);
    if (cwd == nullptr) return "";
    const std::string directory = cwd;
    std::free(cwd);
    return directory;
  }

  std::uint64_t processId() const override { return ::GetCurrentProcessId(); }

  std::uint64_t currentTime() const override {
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    const std::uint64_t intervals =
        (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return intervals / kIntervalsPerSecond - kSecondsFrom1601To1970;
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
    HANDLE handle = openFile(path, GENERIC_READ, OPEN_EXISTING);
    if (handle == INVALID_HANDLE_VALUE) return lastError(path);
    *file = std::make_unique<WindowsReadableFile>(handle, path);
    return Status::success();
  }

  Status createFile(const std::string& path) override {
    // Opened for reading and writing, so that a store that could be read but never
    // rewritten is refused here already.
    Handle file(openFile(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS));
    if (!file.valid()) return lastError(path);
    return Status::success();
  }

  Status deleteFile(const std::string& path) override {
    if (!::DeleteFileA(path.c_str())) return lastError(path);
    return Status::success();
  }

  Status moveNoReplace(const std::string& from, const std::string& to) override {
    // MoveFileA refuses an existing target, which the journal's rotation relies on.
    if (!::MoveFileA(from.c_str(), to.c_str())) return lastError(from);
    return Status::success();
  }

  Status writeFile(const std::string& path, const std::string& content) override {
    Handle file(openFile(path, GENERIC_WRITE, CREATE_ALWAYS));
    if (!file.valid()) return lastError(path);
    Status written = writeAll(file.get(), content, path);
    if (written.ok() && !file.close()) written = lastError(path);
    if (!written.ok()) {
      if (file.valid()) file.close();
      ::DeleteFileA(path.c_str());
    }
    return written;
  }

  Status writeNewFile(const std::string& path, const std::string& content) override {
    DWORD openError = 0;
    return writeExclusive(path, content, &openError);
  }

  Status writeUniqueFile(const std::string& prefix, const std::string& content,
                         std::string* path) override {
    for (int attempt = 0; attempt < kUniqueNameAttempts; ++attempt) {
      *path = prefix + randomNameSuffix();
      DWORD openError = 0;
      const Status written = writeExclusive(*path, content, &openError);
      if (openError == ERROR_FILE_EXISTS || openError == ERROR_ALREADY_EXISTS) continue;
      // Only a file this call created may go: any other of that name is someone else's.
      if (!written.ok() && openError == 0) ::DeleteFileA(path->c_str());
      return written;
    }
    return Status::error(prefix, "no free name found");
  }

  Status replaceFile(const std::string& from, const std::string& to) override {
    // One rename over the old file, never a delete and a move: there is no moment
    // without a store. Write-through returns only once the rename is on disk.
    if (!::MoveFileExA(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      return lastError(from);
    return Status::success();
  }

  Status appendDurably(const std::string& path, const std::string& data) override {
    // Append access only: every write goes to the end of the file, also when other
    // checks append at the same moment, and one write keeps the line whole.
    Handle file(openFile(path, FILE_APPEND_DATA | SYNCHRONIZE, OPEN_ALWAYS));
    if (!file.valid()) return lastError(path);
    if (data.size() > MAXDWORD) return Status::error(path, "too much to append at once");
    DWORD written = 0;
    if (!::WriteFile(file.get(), data.data(), static_cast<DWORD>(data.size()), &written, nullptr))
      return lastError(path);
    if (written != data.size()) return Status::error(path, "appended only in part");
    return flushAndClose(&file, path);
  }

  Status listDirectory(const std::string& path,
                       std::vector<DirectoryEntry>* entries) const override {
    entries->clear();
    WIN32_FIND_DATAA found;
    const HANDLE search = ::FindFirstFileA((path + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return lastError(path);
    do {
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
      const std::uint64_t size =
          (static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
      entries->push_back(DirectoryEntry{found.cFileName, size});
    } while (::FindNextFileA(search, &found));
    ::FindClose(search);
    return Status::success();
  }

  Status copyFile(const std::string& from, const std::string& to) override {
    // CopyFile goes piece by piece itself and copies the target of a symbolic link.
    if (::CopyFileA(from.c_str(), to.c_str(), TRUE)) return Status::success();
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) ::DeleteFileA(to.c_str());
    return windowsError(to, error);
  }

  Status lockFile(const std::string& path, int timeoutMs,
                  std::unique_ptr<FileLock>* lock) override {
    auto held =
        std::make_unique<RangeLock>(openFile(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS));
    if (!held->file.valid()) return lastError(path);
    // LockFileEx cannot wait with a time limit on a synchronous handle: poll, so that
    // a stuck peer can only delay a check by the bounded time.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      OVERLAPPED at = RangeLock::position();
      if (::LockFileEx(held->file.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1,
                       0, &at))
        break;
      const DWORD error = ::GetLastError();
      if (error != ERROR_LOCK_VIOLATION) return windowsError(path, error);
      if (std::chrono::steady_clock::now() >= deadline) {
        return Status::error(path, "locked by another check");
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    held->locked = true;
    *lock = std::move(held);
    return Status::success();
  }

 private:
  // Windows byte-range locks are mandatory: a locked byte cannot be read or written
  // through any other handle. The lock therefore covers one byte far beyond any
  // content, so it keeps out only those who ask for the same lock.
  struct RangeLock : FileLock {
    explicit RangeLock(HANDLE handle) : file(handle) {}
    ~RangeLock() override {
      // Closing the handle would release the lock too, but only at some later moment.
      OVERLAPPED at = position();
      if (locked) ::UnlockFileEx(file.get(), 0, 1, 0, &at);
    }
    static OVERLAPPED position() {
      OVERLAPPED at = {};
      at.Offset = 0xFFFFFFFE;
      at.OffsetHigh = 0x7FFFFFFF;
      return at;
    }
    Handle file;
    bool locked = false;
  };
};

}  // namespace

Platform& defaultPlatform() {
  static WindowsPlatform platform;
  return platform;
}

}  // namespace corvantis
