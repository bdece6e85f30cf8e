// An in-memory platform for tests: files and directories in maps, a settable clock, file
// times and running processes, and failures injected per operation (like leveldb's
// ErrorEnv). The working directory is /cell/bin, the local time 2026-12-05 07:04:09. Paths may use
// "/" or a backslash, doubled or not; relative ones resolve against the working directory. A file
// can only be made in an existing directory. Locks are kept in a set: a second lock of a held path
// fails at once.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "workspace/Platform.h"

namespace corvantis::test {

class FakePlatform : public Platform {
 public:
  enum class Op {
    fileExists,
    readFile,
    createFile,
    deleteFile,
    moveNoReplace,
    writeNewFile,
    replaceFile,
    appendDurably,
    linkOrCopy,
    lockFile
  };

  // Creates the directory and its parents.
  void addDirectory(const std::string& path);
  // Creates or overwrites the file, creating its directories.
  void putFile(const std::string& path, const std::string& content);
  std::optional<std::string> contentOf(const std::string& path) const;
  // The names of all files, sorted.
  std::vector<std::string> fileNames() const;
  // Sets the last-write time, creating an empty file when there is none.
  void setFileTime(const std::string& path, std::uint64_t time) {
    files_[resolve(path)].time = time;
  }
  // Other processes that are running; this one (4242) always is.
  void addProcess(std::uint64_t id) { processes_.insert(id); }
  void setCurrentTime(std::uint64_t time) { currentTime_ = time; }
  // Every later call of `op` whose path (the source, for moves) contains `pathPart`
  // fails with `reason`.
  void failOn(Op op, const std::string& pathPart = "",
              const std::string& reason = "injected failure") {
    faults_.push_back(Fault{op, pathPart, reason});
  }
  void clearFaults() { faults_.clear(); }
  bool isLocked(const std::string& path) const { return locked_.count(resolve(path)) > 0; }

  std::uint64_t fileTime(const std::string& path) const override {
    return find(path) ? find(path)->time : 0;
  }
  std::optional<std::uint64_t> fileSize(const std::string& path) const override {
    if (!find(path)) return std::nullopt;
    return find(path)->content.size();
  }
  bool fileExists(const std::string& path) const override {
    return !fault(Op::fileExists, path) && find(path);
  }
  LocalTime localTime() const override { return LocalTime{2026, 12, 5, 7, 4, 9}; }
  std::string workingDirectory() const override { return "/cell/bin"; }
  std::uint64_t processId() const override { return 4242; }
  bool processExists(std::uint64_t id) const override {
    return id == 4242 || processes_.count(id) > 0;
  }
  std::uint64_t currentTime() const override { return currentTime_; }
  Status readFile(const std::string& path, std::string* content) const override;
  Status createFile(const std::string& path) override;
  Status deleteFile(const std::string& path) override;
  Status moveNoReplace(const std::string& from, const std::string& to) override {
    return transfer(Op::moveNoReplace, from, to, false, true);
  }
  Status writeNewFile(const std::string& path, const std::string& content) override;
  Status replaceFile(const std::string& from, const std::string& to) override {
    return transfer(Op::replaceFile, from, to, true, true);
  }
  Status appendDurably(const std::string& path, const std::string& data) override;
  Status listDirectory(const std::string& path,
                       std::vector<DirectoryEntry>* entries) const override;
  Status linkOrCopy(const std::string& from, const std::string& to) override {
    return transfer(Op::linkOrCopy, from, to, false, false);
  }
  Status lockFile(const std::string& path, int timeoutMs, std::unique_ptr<FileLock>* lock) override;

 private:
  struct File {
    std::string content;
    std::uint64_t time = 0;
  };
  struct Fault {
    Op op;
    std::string pathPart;
    std::string reason;
  };

  std::string resolve(const std::string& path) const;
  // The file at `path`; nullptr when there is none.
  const File* find(const std::string& path) const {
    const auto it = files_.find(resolve(path));
    return it == files_.end() ? nullptr : &it->second;
  }
  // The injected failure of `op` on `path`, if any.
  std::optional<Status> fault(Op op, const std::string& path) const;
  // Whether a file named `to` may be made (or replaced, with `replace`).
  Status canCreate(const std::string& to, bool replace = false) const;
  // Copies (or moves) the file `from` to `to`, as the operation `op`.
  Status transfer(Op op, const std::string& from, const std::string& to, bool replace, bool move);

  std::map<std::string, File> files_;
  std::set<std::string> directories_{"/", "/cell", "/cell/bin"};
  std::set<std::string> locked_;
  std::vector<Fault> faults_;
  std::set<std::uint64_t> processes_;
  std::uint64_t currentTime_ = 1700000000;
};

}  // namespace corvantis::test
