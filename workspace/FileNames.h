// File names and file times of paths, shared by the analyser and the reference store.
//
// Both "\" and "/" separate path components. Neither operation reports an error or
// changes anything on disk; both hold no state and may run on any thread.
#pragma once

#include <cstdint>
#include <string>

#include "workspace/Platform.h"

namespace corvantis {

// The part of `path` after its last separator; the whole path when it has none, empty
// when it ends with a separator.
std::string fileNameOf(const std::string& path);

// Last-write time of the file in whole seconds since 1970-01-01 UTC; 0 when unreadable.
std::uint64_t fileTimeOf(const std::string& path, const Platform& platform = defaultPlatform());

}  // namespace corvantis
