// File names and file times of paths, shared by the analyser and the reference store.
//
// Both "\" and "/" separate path components. No operation reports an error or changes
// anything on disk; all may run on any thread.
#pragma once

#include <cstdint>
#include <string>

#include "workspace/Platform.h"

namespace corvantis {

// The part of `path` after its last separator; the whole path when it has none, empty
// when it ends with a separator.
std::string fileNameOf(const std::string& path);

// kRandomSuffixLength characters of [0-9a-z] drawn at random for the name of a new file,
// so that processes that cannot tell each other apart by their ids pick other names.
std::string randomNameSuffix();
constexpr std::size_t kRandomSuffixLength = 12;

// Last-write time of the file in whole seconds since 1970-01-01 UTC; 0 when unreadable.
std::uint64_t fileTimeOf(const std::string& path, const Platform& platform = defaultPlatform());

}  // namespace corvantis
