// The Windows file primitives under the platform layer (PlatformWindows.cpp), built only
// with it: a handle closed with its scope, files opened for sharing as the C run-time's
// fopen does, whole writes, flushes and sequential reads. Every Status names the path with
// the system's text of the error.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "workspace/Platform.h"

namespace corvantis {
namespace windows {

// Others may read, write and delete a file while a check has it open.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The error of `context` with the system's text of `error`.
Status windowsError(const std::string& context, DWORD error);
// windowsError() of GetLastError().
Status lastError(const std::string& context);

// Closes the handle when it goes out of scope; close() is checked explicitly where its
// result matters.
class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (valid()) ::CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }
  // Closes now; false when closing failed.
  bool close() {
    const BOOL closed = ::CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    return closed != 0;
  }

 private:
  HANDLE handle_;
};

// CreateFileA with every share mode; INVALID_HANDLE_VALUE on failure.
HANDLE openFile(const std::string& path, DWORD access, DWORD disposition);
// Writes all of `data`, in pieces the call can take.
Status writeAll(HANDLE file, const std::string& data, const std::string& path);
// Flushes to disk, then closes.
Status flushAndClose(Handle* file, const std::string& path);
// Creates `path` unless a file of that name exists (CREATE_NEW), writes `content` and
// flushes it to disk. *openError is the error of a failed create, 0 once it was created.
Status writeExclusive(const std::string& path, const std::string& content, DWORD* openError);

// A file read from its start to its end through its handle.
class WindowsReadableFile : public ReadableFile {
 public:
  WindowsReadableFile(HANDLE handle, std::string path);
  Status read(void* buffer, std::size_t size, std::size_t* got) override;

 private:
  Handle file_;
  std::string path_;
};

}  // namespace windows
}  // namespace corvantis
