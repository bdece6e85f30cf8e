// The system's message for a Windows error code, shared by the two Windows-only files
// (the platform layer and the process services). Included only where <windows.h> is.
#pragma once

#include <windows.h>

#include <string>

namespace corvantis {

// The message for `error` as one line, without the full stop and line end the system
// puts after it; "error <code>" when the system has none.
inline std::string windowsErrorText(DWORD error) {
  char* text = nullptr;
  const DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string detail = length > 0 ? std::string(text, length) : "error " + std::to_string(error);
  ::LocalFree(text);
  while (!detail.empty() && (detail.back() == '\r' || detail.back() == '\n' ||
                             detail.back() == ' ' || detail.back() == '.'))
    detail.pop_back();
  return detail;
}

}  // namespace corvantis
