#include "process/Plugin.h"

#include <map>
#include <mutex>
#include <utility>

#include "process/Process.h"

namespace corvantis {

const char kInstalledPluginDirectory[] = "../lib/corvantis";

void* findPluginEntry(const std::string& name, const std::string& symbol, std::string* error) {
  // Entry points found before, so that a second analyser does not search again. Analysers
  // on two threads may load their images at once.
  static std::mutex lock;
  static std::map<std::pair<std::string, std::string>, void*> found;
  const std::lock_guard<std::mutex> held(lock);
  const auto key = std::make_pair(name, symbol);
  const auto known = found.find(key);
  if (known != found.end()) return known->second;

  const std::string directory = executableDirectory();
  if (directory.empty()) {
    *error = "plugin " + name + ": the program's own directory is unknown";
    return nullptr;
  }
  const std::string file = sharedLibraryFileName(name);
  std::string reasons;
  for (const std::string& place :
       {directory + "/" + file, directory + "/" + kInstalledPluginDirectory + "/" + file}) {
    std::string reason;
    if (void* entry = sharedLibrarySymbol(place, symbol, &reason)) {
      found.emplace(key, entry);
      return entry;
    }
    reasons += (reasons.empty() ? "" : "; ") + reason;
  }
  *error = "plugin " + name + " not found: " + reasons;
  return nullptr;
}

}  // namespace corvantis
