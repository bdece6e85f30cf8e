#include "test/TestUtil.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <iterator>
#include <random>

namespace corvantis::test {

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  std::random_device rd;
  std::error_code ec;
  do {
    path_ = std::filesystem::temp_directory_path() /
            ("corvantis-test-" + std::to_string(rd()) + "-" + std::to_string(counter++));
  } while (!std::filesystem::create_directory(path_, ec));
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

void writeFile(const std::string& path, const std::string& content) {
  const std::filesystem::path p(path);
  if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> fileNamesIn(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> filesBelow(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(directory))
    if (entry.is_regular_file())
      names.push_back(entry.path().lexically_relative(directory).generic_string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string withoutAdvice(const std::string& err) {
  std::string kept;
  std::size_t start = 0;
  while (start < err.size()) {
    const std::size_t end = std::min(err.find('\n', start), err.size() - 1);
    const std::string line = err.substr(start, end + 1 - start);
    if (line.rfind("corvantis: advice on ", 0) != 0) kept += line;
    start = end + 1;
  }
  return kept;
}

}  // namespace corvantis::test
