#include "workspace/WindowsFiles.h"

#include <algorithm>
#include <utility>

#include "workspace/WindowsErrorText.h"

namespace corvantis {
namespace windows {

Status windowsError(const std::string& context, DWORD error) {
  return Status::error(context, windowsErrorText(error));
}

Status lastError(const std::string& context) { return windowsError(context, ::GetLastError()); }

HANDLE openFile(const std::string& path, DWORD access, DWORD disposition) {
  return ::CreateFileA(path.c_str(), access, kShareAll, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

Status writeAll(HANDLE file, const std::string& data, const std::string& path) {
  constexpr std::size_t kChunk = 1 << 30;
  std::size_t done = 0;
  while (done < data.size()) {
    const DWORD wanted = static_cast<DWORD>(std::min(kChunk, data.size() - done));
    DWORD written = 0;
    if (!::WriteFile(file, data.data() + done, wanted, &written, nullptr)) return lastError(path);
    done += written;
  }
  return Status::success();
}

Status flushAndClose(Handle* file, const std::string& path) {
  if (!::FlushFileBuffers(file->get())) return lastError(path);
  if (!file->close()) return lastError(path);
  return Status::success();
}

WindowsReadableFile::WindowsReadableFile(HANDLE handle, std::string path)
    : file_(handle), path_(std::move(path)) {}

Status WindowsReadableFile::read(void* buffer, std::size_t size, std::size_t* got) {
  constexpr std::size_t kChunk = 1 << 30;
  *got = 0;
  while (*got < size) {
    const DWORD wanted = static_cast<DWORD>(std::min(kChunk, size - *got));
    DWORD n = 0;
    if (!::ReadFile(file_.get(), static_cast<char*>(buffer) + *got, wanted, &n, nullptr)) {
      return lastError(path_);
    }
    if (n == 0) break;
    *got += n;
  }
  return Status::success();
}

Status writeExclusive(const std::string& path, const std::string& content, DWORD* openError) {
  Handle file(openFile(path, GENERIC_WRITE, CREATE_NEW));
  *openError = file.valid() ? 0 : ::GetLastError();
  if (!file.valid()) return windowsError(path, *openError);
  const Status written = writeAll(file.get(), content, path);
  if (!written.ok()) return written;
  return flushAndClose(&file, path);
}

}  // namespace windows
}  // namespace corvantis
