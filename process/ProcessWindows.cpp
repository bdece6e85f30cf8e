// The process services for Windows.
#include <windows.h>

#include <cstdlib>
#include <vector>

#include "process/Process.h"
#include "workspace/WindowsErrorText.h"

namespace corvantis {

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

Status sharedLibrarySymbol(const std::string& path, const std::string& symbol, void** address) {
  *address = nullptr;
  HMODULE library = ::LoadLibraryA(path.c_str());
  if (library == nullptr) return Status::error(path, windowsErrorText(::GetLastError()));
  *address = reinterpret_cast<void*>(::GetProcAddress(library, symbol.c_str()));
  if (*address == nullptr) {
    ::FreeLibrary(library);
    return Status::error(path, "no symbol " + symbol);
  }
  return Status::success();
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
