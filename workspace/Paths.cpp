#include "workspace/Paths.h"

#include "workspace/Platform.h"

namespace corvantis {

const char kStoreFileName[] = "corvantis.dat";

namespace {

constexpr char kSeparators[] = "\\/";
constexpr char kRobots[] = "robots";
constexpr int kGenerationCount = 5;

bool isSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

std::string deriveBaseDir(const std::string& path) {
  for (std::size_t start = 0; start < path.size(); ++start) {
    // A relative path may begin with the robots directory itself ("robots/R1/..."), as
    // if a separator stood before it.
    const bool namesStart = start == 0 || isSeparator(path[start - 1]);
    if (!namesStart || path.compare(start, sizeof kRobots - 1, kRobots) != 0) continue;
    // The search for the end of the base directory skips "robots", the character that
    // follows it and one more, so "\robots2\R1\" names R1 below robots2.
    const std::size_t end = path.find_first_of(kSeparators, start + sizeof kRobots - 1 + 2);
    if (end == std::string::npos) return "";
    return path.substr(0, end + 1);
  }
  return "";
}

std::string doubleBackslashes(const std::string& s) {
  // The first two characters stay as they are so that a network path keeps its
  // leading pair.
  std::string doubled = s.substr(0, 2);
  for (std::size_t i = 2; i < s.size(); ++i) {
    doubled += s[i];
    if (s[i] == '\\') doubled += '\\';
  }
  return doubled;
}

std::string shownPath(const std::string& path) {
  std::string shown = path.substr(0, 2);
  for (std::size_t i = 2; i < path.size(); ++i) {
    if (i >= 3 && isSeparator(path[i]) && isSeparator(path[i - 1])) continue;
    shown += path[i];
  }
  return shown;
}

std::string deriveTempRoot(const std::string& cwd) {
  const std::size_t last = cwd.find_last_of(kSeparators);
  return doubleBackslashes(last == std::string::npos ? cwd : cwd.substr(0, last));
}

std::string journalPathOf(const std::string& baseDir) {
  // baseDir already ends with a separator; the doubled one that follows mirrors the
  // Windows literal and is harmless on every system.
  return baseDir + kPathSeparator + "debug" + kPathSeparator + "corvantis.log";
}

std::string storePathOf(const std::string& baseDir) {
  if (baseDir.empty()) return kStoreFileName;
  // On POSIX a backslash is part of a name: "C:\\cell\\robots\\R1\\corvantis.dat" would be a
  // file of the working directory, so the base directory must end with a real separator.
  const char last = baseDir.back();
  const bool separated = last == '/' || last == kPathSeparator[0];
  return baseDir + (separated ? "" : kPathSeparator) + kStoreFileName;
}

std::string storeKeyOf(const std::string& referencePath) {
  const std::size_t baseLength = deriveBaseDir(referencePath).size();
  const std::string below = referencePath.substr(baseLength);
  // A path outside any cell keeps its root ("/images/a.bmp").
  std::string key = baseLength == 0 && !below.empty() && isSeparator(below[0]) ? "/" : "";
  for (std::size_t start = 0; start < below.size();) {
    std::size_t end = below.find_first_of(kSeparators, start);
    if (end == std::string::npos) end = below.size();
    const std::string part = below.substr(start, end - start);
    if (!part.empty() && part != ".") {
      if (!key.empty() && key.back() != '/') key += '/';
      key += part;
    }
    start = end + 1;
  }
  return key;
}

std::string tempPathOf(const std::string& tempRoot) {
  return tempRoot + kPathSeparator + "var" + kPathSeparator + "tmp" + kPathSeparator +
         "a_kivro.tmp";
}

std::string valuesLogPathOf(const std::string& baseDir) {
  return baseDir + kPathSeparator + "debug" + kPathSeparator + "corvantis.csv";
}

std::string rejectsDirOf(const std::string& baseDir) {
  return baseDir + kPathSeparator + "debug" + kPathSeparator + "rejects";
}

std::vector<std::string> rotatedNames(const std::string& journalPath) {
  // The generation number goes before the four-character extension (".log", ".csv").
  const std::size_t cut = journalPath.size() < 4 ? 0 : journalPath.size() - 4;
  const std::string stem = journalPath.substr(0, cut);
  const std::string extension = journalPath.substr(cut);
  std::vector<std::string> names;
  for (int n = 1; n <= kGenerationCount; ++n)
    names.push_back(stem + "_" + std::to_string(n) + extension);
  return names;
}

}  // namespace corvantis
