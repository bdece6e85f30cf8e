// The process services for Linux and other POSIX systems.
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <vector>

#include "process/Process.h"

namespace corvantis {

std::string executableDirectory() {
  std::vector<char> buffer(PATH_MAX + 1);
  const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (n <= 0) return std::string();
  const std::string path(buffer.data(), static_cast<std::size_t>(n));
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return std::string();
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string sharedLibraryFileName(const std::string& name) { return "lib" + name + ".so"; }

void* sharedLibrarySymbol(const std::string& path, const std::string& symbol, std::string* error) {
  // RTLD_LOCAL keeps the library's own dependencies out of the lookup of everything else.
  void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* reason = ::dlerror();
    *error = reason != nullptr ? reason : path + ": cannot be loaded";
    return nullptr;
  }
  void* address = ::dlsym(library, symbol.c_str());
  if (address == nullptr) {
    *error = path + ": no symbol " + symbol;
    ::dlclose(library);
  }
  return address;
}

void setEnvironmentVariable(const std::string& name, const std::string& value) {
  ::setenv(name.c_str(), value.c_str(), 1);
}

}  // namespace corvantis
