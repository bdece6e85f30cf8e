// Process-wide services: where the running program lies, its shared libraries and its
// environment. What differs between Linux and Windows sits in one file per system
// (ProcessLinux.cpp, ProcessWindows.cpp), as for the file operations of the workspace's
// platform layer; no other file asks which system it runs on.
//
// A shared library, once opened, stays loaded until the process ends.
#pragma once

#include <string>

#include "workspace/Status.h"

namespace corvantis {

// The directory of the running executable, without a trailing separator; empty when
// the system cannot tell.
std::string executableDirectory();
// The file name the system gives the shared library called `name`
// ("lib" + name + ".so" on Linux, name + ".dll" on Windows).
std::string sharedLibraryFileName(const std::string& name);
// Opens the shared library at `path` and puts the address of its `symbol` into *address;
// an error naming the reason when either cannot be found.
Status sharedLibrarySymbol(const std::string& path, const std::string& symbol, void** address);
// Sets the environment variable `name` of this process to `value`.
void setEnvironmentVariable(const std::string& name, const std::string& value);
// True when a window opened now would be seen and could take a key: on Linux a display
// is named and, for X11, answers; on Windows the process's window station is visible
// (not a service's).
bool displayAnswers();
// The size of the screen in pixels into *width and *height (for X11, of the display's
// default screen); false when there is none or the system cannot tell.
bool screenPixels(int* width, int* height);

}  // namespace corvantis
