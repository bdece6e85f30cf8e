#include "cell/CellFolder.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

#include "cell/Cell.h"

namespace corvantis {

namespace fs = std::filesystem;

int resolveBaseDirectory(const std::string& given, std::string* base, std::ostream& err) {
  std::error_code ec;
  const fs::path robots = fs::path(given) / "robots";
  if (!fs::is_directory(robots, ec)) {
    *base = given;
    return 0;
  }
  std::vector<std::string> folders;
  for (fs::directory_iterator it(robots, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->is_directory(ec)) folders.push_back(it->path().string());
  }
  std::sort(folders.begin(), folders.end());
  if (folders.size() == 1) {
    *base = folders[0];
    return 0;
  }
  if (folders.empty()) {
    err << "corvantis-cell: " << given << " is a cell without a robot folder in " << robots.string()
        << "\n";
    return 1;
  }
  err << "corvantis-cell: " << given << " is a cell of " << folders.size()
      << " robot folders; give the one meant:\n";
  for (const std::string& folder : folders) err << "  " << folder << "\n";
  return kCellUsageError;
}

}  // namespace corvantis
