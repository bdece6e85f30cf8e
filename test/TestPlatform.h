// The real platform, on files the tests keep in a test::TempDir, with what tests need on
// top (like leveldb's ErrorEnv): failures injected per operation and path, the local time
// fixed at 2026-12-05 07:04:09, a settable clock and a settable process id. Locks are
// asked for without waiting, so that a lock a test holds makes the code give up at once.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "workspace/Platform.h"

namespace corvantis::test {

class TestPlatform : public Platform {
  using Text = const std::string&;

 public:
  // Every later call of the operation named `op` ("replaceFile") whose path (the source,
  // for moves) contains `pathPart` fails with `reason`.
  void failOn(Text op, Text pathPart = "", Text reason = "injected failure") {
    faults_.push_back(Fault{op, pathPart, reason});
  }
  // Reads of files whose path contains `pathPart` fail with `reason` once `after` bytes
  // of the file have been read: a disk or network share failing half-way through.
  void failReadsAfter(std::uint64_t after, Text pathPart, Text reason = "injected failure") {
    readFaults_.push_back(ReadFault{after, pathPart, reason});
  }
  // The id this process claims, as one in a container of its own may have; 0: its own.
  void setProcessId(std::uint64_t id) { processId_ = id; }
  // 0: the system's clock.
  void setCurrentTime(std::uint64_t time) { currentTime_ = time; }

  std::uint64_t fileTime(Text p) const override { return real_.fileTime(p); }
  std::optional<std::uint64_t> fileSize(Text p) const override { return real_.fileSize(p); }
  bool fileExists(Text p) const override { return real_.fileExists(p); }
  LocalTime localTime() const override { return LocalTime{2026, 12, 5, 7, 4, 9}; }
  std::string workingDirectory() const override { return real_.workingDirectory(); }
  std::uint64_t processId() const override {
    return processId_ != 0 ? processId_ : real_.processId();
  }
  std::uint64_t currentTime() const override {
    return currentTime_ != 0 ? currentTime_ : real_.currentTime();
  }
  Status readFile(Text p, std::string* content) const override {
    content->clear();
    return unlessInjected(__func__, p, [&] { return real_.readFile(p, content); });
  }
  // Fails as "openForReading" faults and failReadsAfter say.
  Status openForReading(Text p, std::unique_ptr<ReadableFile>* file) const override {
    const Status opened =
        unlessInjected(__func__, p, [&] { return real_.openForReading(p, file); });
    for (const ReadFault& f : readFaults_)
      if (opened.ok() && p.find(f.pathPart) != std::string::npos)
        *file =
            std::make_unique<FailingFile>(std::move(*file), f.after, Status::error(p, f.reason));
    return opened;
  }
  Status createFile(Text p) override {
    return unlessInjected(__func__, p, [&] { return real_.createFile(p); });
  }
  Status deleteFile(Text p) override {
    return unlessInjected(__func__, p, [&] { return real_.deleteFile(p); });
  }
  Status moveNoReplace(Text from, Text to) override {
    return unlessInjected(__func__, from, [&] { return real_.moveNoReplace(from, to); });
  }
  Status writeFile(Text p, Text content) override {
    return unlessInjected(__func__, p, [&] { return real_.writeFile(p, content); });
  }
  Status writeNewFile(Text p, Text content) override {
    return unlessInjected(__func__, p, [&] { return real_.writeNewFile(p, content); });
  }
  // Faults match the prefix.
  Status writeUniqueFile(Text prefix, Text content, std::string* path) override {
    return unlessInjected(__func__, prefix,
                          [&] { return real_.writeUniqueFile(prefix, content, path); });
  }
  Status replaceFile(Text from, Text to) override {
    return unlessInjected(__func__, from, [&] { return real_.replaceFile(from, to); });
  }
  Status appendDurably(Text p, Text data) override {
    return unlessInjected(__func__, p, [&] { return real_.appendDurably(p, data); });
  }
  Status listDirectory(Text p, std::vector<DirectoryEntry>* entries) const override {
    return real_.listDirectory(p, entries);
  }
  Status copyFile(Text from, Text to) override {
    return unlessInjected(__func__, from, [&] { return real_.copyFile(from, to); });
  }
  Status lockFile(Text p, int /*timeoutMs*/, std::unique_ptr<FileLock>* lock) override {
    return unlessInjected(__func__, p, [&] { return real_.lockFile(p, 0, lock); });
  }

 protected:
  // Asked before each operation that can be made to fail: the injected failure of `op`
  // on `path`, if any.
  virtual std::optional<Status> fault(Text op, Text path) const {
    for (const Fault& f : faults_)
      if (f.op == op && path.find(f.pathPart) != std::string::npos)
        return Status::error(path, f.reason);
    return std::nullopt;
  }

 private:
  struct Fault {
    std::string op, pathPart, reason;
  };
  struct ReadFault {
    std::uint64_t after;
    std::string pathPart, reason;
  };

  // Gives the bytes of `file` up to `after`, then fails.
  class FailingFile : public ReadableFile {
   public:
    FailingFile(std::unique_ptr<ReadableFile> file, std::uint64_t after, Status failure)
        : file_(std::move(file)), left_(after), failure_(std::move(failure)) {}
    Status read(void* buffer, std::size_t size, std::size_t* got) override {
      const std::size_t allowed = static_cast<std::size_t>(std::min<std::uint64_t>(size, left_));
      const Status read = file_->read(buffer, allowed, got);
      left_ -= *got;
      if (!read.ok() || *got < allowed || allowed == size) return read;
      return failure_;
    }

   private:
    std::unique_ptr<ReadableFile> file_;
    std::uint64_t left_;
    Status failure_;
  };

  template <typename Operation>
  Status unlessInjected(const char* op, Text path, const Operation& operation) const {
    const std::optional<Status> injected = fault(op, path);
    return injected ? *injected : operation();
  }

  Platform& real_ = defaultPlatform();
  std::vector<Fault> faults_;
  std::vector<ReadFault> readFaults_;
  std::uint64_t processId_ = 0;
  std::uint64_t currentTime_ = 0;
};

}  // namespace corvantis::test
