#include "process/Plugin.h"

#include <map>
#include <mutex>
#include <utility>

#include "process/Process.h"

namespace corvantis {

const char kInstalledPluginDirectory[] = "../lib/corvantis";

Status findPluginEntry(const std::string& name, const std::string& symbol, void** entry) {
  // Entry points found before, so that a second analyser does not search again. Analysers
  // on two threads may load their images at once.
  static std::mutex lock;
  static std::map<std::pair<std::string, std::string>, void*> found;
  const std::lock_guard<std::mutex> held(lock);
  const auto key = std::make_pair(name, symbol);
  const auto known = found.find(key);
  *entry = known != found.end() ? known->second : nullptr;
  if (*entry != nullptr) return Status::success();

  const std::string directory = executableDirectory();
  if (directory.empty()) {
    return Status::error("plugin " + name, "the program's own directory is unknown");
  }
  const std::string file = sharedLibraryFileName(name);
  std::string reasons;
  for (const std::string& place :
       {directory + "/" + file, directory + "/" + kInstalledPluginDirectory + "/" + file}) {
    const Status loaded = sharedLibrarySymbol(place, symbol, entry);
    if (loaded.ok()) {
      found.emplace(key, *entry);
      return loaded;
    }
    reasons += (reasons.empty() ? "" : "; ") + loaded.message();
  }
  return Status::error("plugin " + name + " not found", reasons);
}

}  // namespace corvantis
