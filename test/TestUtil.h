// Helpers shared by the tests: temporary directories, whole-file reads and writes, and
// what the tests read out of files and directories.
// Portable (std::filesystem only), so the Windows build of the tests uses them too.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace corvantis::test {

// A fresh directory below the system's temporary directory, removed with everything
// in it when the object goes out of scope.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // `relative` below the directory, as a string.
  std::string file(const std::string& relative) const { return (path_ / relative).string(); }

 private:
  std::filesystem::path path_;
};

// Writes `content` byte for byte, creating missing parent directories.
void writeFile(const std::string& path, const std::string& content);
// The whole file byte for byte; empty when it cannot be read.
std::string readFile(const std::string& path);
// The names of the entries of the directory, sorted.
std::vector<std::string> fileNamesIn(const std::string& directory);
// The regular files anywhere below the directory, by their paths relative to it with "/"
// between the parts, sorted.
std::vector<std::string> filesBelow(const std::string& directory);
// `err` without the lines of image advice, for runs on images whose advice is beside
// the point.
std::string withoutAdvice(const std::string& err);
// Whether `text` (a message told on stderr, say) holds `part`; a failure shows both.
inline ::testing::AssertionResult holds(const std::string& text, const std::string& part) {
  if (text.find(part) != std::string::npos) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "\"" << part << "\" not in: " << text;
}

}  // namespace corvantis::test
