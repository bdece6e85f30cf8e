// The process services for Windows.
#include <windows.h>

#include <cstdlib>
#include <vector>

#include "process/Process.h"

namespace corvantis {

namespace {

// The system's message for `error`, as one line after `context`.
std::string windowsErrorText(const std::string& context, DWORD error) {
  char* text = nullptr;
  const DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string detail = length > 0 ? std::string(text, length) : "error " + std::to_string(error);
  ::LocalFree(text);
  // The system's messages end in a full stop and a line end.
  while (!detail.empty() && (detail.back() == '\r' || detail.back() == '\n' ||
                             detail.back() == ' ' || detail.back() == '.'))
    detail.pop_back();
  return context + ": " + detail;
}

}  // namespace

std::string executableDirectory() {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = ::GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::string();
    if (n < buffer.size()) break;
    buffer.resize(buffer.size() * 2);
  }
  const std::string path(buffer.data());
  const std::size_t separator = path.find_last_of("\\/");
  return separator == std::string::npos ? std::string() : path.substr(0, separator);
}

std::string sharedLibraryFileName(const std::string& name) { return name + ".dll"; }

void* sharedLibrarySymbol(const std::string& path, const std::string& symbol, std::string* error) {
  HMODULE library = ::LoadLibraryA(path.c_str());
  if (library == nullptr) {
    *error = windowsErrorText(path, ::GetLastError());
    return nullptr;
  }
  void* address = reinterpret_cast<void*>(::GetProcAddress(library, symbol.c_str()));
  if (address == nullptr) {
    *error = path + ": no symbol " + symbol;
    ::FreeLibrary(library);
  }
  return address;
}

void setEnvironmentVariable(const std::string& name, const std::string& value) {
  // The C run-time keeps its own copy of the environment, which getenv reads.
  ::_putenv_s(name.c_str(), value.c_str());
}

bool displayAnswers() {
  // A service's window station is invisible: its windows would wait for a key no one
  // can press.
  HWINSTA station = ::GetProcessWindowStation();
  USEROBJECTFLAGS flags{};
  return station != nullptr &&
         ::GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof flags, nullptr) &&
         (flags.dwFlags & WSF_VISIBLE) != 0;
}

bool screenPixels(int* width, int* height) {
  *width = ::GetSystemMetrics(SM_CXSCREEN);
  *height = ::GetSystemMetrics(SM_CYSCREEN);
  return *width > 0 && *height > 0;
}

}  // namespace corvantis
