// The process services for Linux: the executable found through /proc/self/exe, shared
// libraries through dlopen, and the X11 display opened at run time.
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
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

Status sharedLibrarySymbol(const std::string& path, const std::string& symbol, void** address) {
  *address = nullptr;
  // RTLD_LOCAL keeps the library's own dependencies out of the lookup of everything else.
  void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* reason = ::dlerror();
    return reason != nullptr ? Status::error(reason) : Status::error(path, "cannot be loaded");
  }
  *address = ::dlsym(library, symbol.c_str());
  if (*address == nullptr) {
    ::dlclose(library);
    return Status::error(path, "no symbol " + symbol);
  }
  return Status::success();
}

void setEnvironmentVariable(const std::string& name, const std::string& value) {
  ::setenv(name.c_str(), value.c_str(), 1);
}

bool displayAnswers() {
  const auto isSet = [](const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0';
  };
  // Qt's offscreen and minimal platforms accept windows but never deliver a key, so
  // waitKey would wait forever.
  if (const char* platform = std::getenv("QT_QPA_PLATFORM")) {
    const std::string name(platform);
    if (name.rfind("offscreen", 0) == 0 || name.rfind("minimal", 0) == 0) return false;
  }
  if (isSet("DISPLAY")) {
    // A DISPLAY left over from an expired SSH forwarding names a server that is gone.
    // libX11 is opened here, not linked, so that no check has to load it; it stays
    // loaded for the windows that follow.
    void* x11 = ::dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
    if (x11 == nullptr) return false;
    using OpenDisplay = void* (*)(const char*);
    using CloseDisplay = int (*)(void*);
    const auto open = reinterpret_cast<OpenDisplay>(::dlsym(x11, "XOpenDisplay"));
    const auto close = reinterpret_cast<CloseDisplay>(::dlsym(x11, "XCloseDisplay"));
    if (open == nullptr || close == nullptr) return false;
    void* display = open(nullptr);
    if (display == nullptr) return false;
    close(display);
    return true;
  }
  return isSet("WAYLAND_DISPLAY");
}

bool screenPixels(int* width, int* height) {
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || name[0] == '\0') return false;
  void* x11 = ::dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
  if (x11 == nullptr) return false;
  using OpenDisplay = void* (*)(const char*);
  using CloseDisplay = int (*)(void*);
  using OfDisplay = int (*)(void*);
  using OfScreen = int (*)(void*, int);
  const auto open = reinterpret_cast<OpenDisplay>(::dlsym(x11, "XOpenDisplay"));
  const auto close = reinterpret_cast<CloseDisplay>(::dlsym(x11, "XCloseDisplay"));
  const auto defaultScreen = reinterpret_cast<OfDisplay>(::dlsym(x11, "XDefaultScreen"));
  const auto displayWidth = reinterpret_cast<OfScreen>(::dlsym(x11, "XDisplayWidth"));
  const auto displayHeight = reinterpret_cast<OfScreen>(::dlsym(x11, "XDisplayHeight"));
  if (open == nullptr || close == nullptr || defaultScreen == nullptr || displayWidth == nullptr ||
      displayHeight == nullptr) {
    return false;
  }
  void* display = open(nullptr);
  if (display == nullptr) return false;
  const int screen = defaultScreen(display);
  *width = displayWidth(display, screen);
  *height = displayHeight(display, screen);
  close(display);
  return true;
}

}  // namespace corvantis
