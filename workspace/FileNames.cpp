#include "workspace/FileNames.h"

namespace corvantis {

std::string fileNameOf(const std::string& path) {
  const std::size_t last = path.find_last_of("\\/");
  // A path without a separator is its own file name: an empty name would make every
  // such reference share one store record.
  if (last == std::string::npos) return path;
  return path.substr(last + 1);
}

std::uint64_t fileTimeOf(const std::string& path, const Platform& platform) {
  return platform.fileTime(path);
}

}  // namespace corvantis
