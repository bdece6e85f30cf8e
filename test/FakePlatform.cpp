#include "test/FakePlatform.h"

namespace corvantis::test {

namespace {

std::string parentOf(const std::string& path) {
  const std::size_t last = path.find_last_of('/');
  if (last == std::string::npos || last == 0) return "/";
  return path.substr(0, last);
}

Status missing(const std::string& path) { return Status::error(path, "No such file or directory"); }

}  // namespace

FakePlatform::FakePlatform() {
  directories_.insert("/");
  setWorkingDirectory("/cell/bin");
  localTime_ = LocalTime{2026, 12, 5, 7, 4, 9};
}

std::string FakePlatform::resolve(const std::string& path) const {
  const bool absolute = !path.empty() && (path[0] == '/' || path[0] == '\\');
  const std::string full = absolute ? path : workingDirectory_ + "/" + path;
  std::string normal;
  for (char c : full) {
    if (c == '\\') c = '/';
    if (c == '/' && !normal.empty() && normal.back() == '/') continue;
    normal += c;
  }
  if (normal.size() > 1 && normal.back() == '/') normal.pop_back();
  return normal;
}

bool FakePlatform::directoryExists(const std::string& path) const {
  return directories_.count(path) > 0;
}

void FakePlatform::addDirectory(const std::string& path) {
  for (std::string dir = resolve(path); dir != "/"; dir = parentOf(dir)) directories_.insert(dir);
}

void FakePlatform::putFile(const std::string& path, const std::string& content) {
  const std::string name = resolve(path);
  addDirectory(parentOf(name));
  files_[name].content = content;
}

std::optional<std::string> FakePlatform::contentOf(const std::string& path) const {
  const auto it = files_.find(resolve(path));
  if (it == files_.end()) return std::nullopt;
  return it->second.content;
}

std::vector<std::string> FakePlatform::fileNames() const {
  std::vector<std::string> names;
  for (const auto& entry : files_) names.push_back(entry.first);
  return names;
}

void FakePlatform::setFileTime(const std::string& path, std::uint64_t time) {
  files_[resolve(path)].time = time;
}

void FakePlatform::setWorkingDirectory(const std::string& path) {
  workingDirectory_ = path;
  addDirectory(path);
}

void FakePlatform::failOn(Op op, const std::string& pathPart, const std::string& reason) {
  faults_.push_back(Fault{op, pathPart, reason});
}

int FakePlatform::callCount(Op op) const {
  const auto it = calls_.find(op);
  return it == calls_.end() ? 0 : it->second;
}

std::optional<Status> FakePlatform::enter(Op op, const std::string& path) const {
  ++calls_[op];
  for (const Fault& fault : faults_) {
    if (fault.op == op && path.find(fault.pathPart) != std::string::npos)
      return Status::error(path, fault.reason);
  }
  return std::nullopt;
}

Status FakePlatform::canCreate(const std::string& name) const {
  if (!directoryExists(parentOf(name))) return missing(name);
  if (directoryExists(name)) return Status::error(name, "Is a directory");
  return Status::success();
}

std::uint64_t FakePlatform::fileTime(const std::string& path) const {
  if (enter(Op::fileTime, path)) return 0;
  const auto it = files_.find(resolve(path));
  return it == files_.end() ? 0 : it->second.time;
}

std::optional<std::uint64_t> FakePlatform::fileSize(const std::string& path) const {
  if (enter(Op::fileSize, path)) return std::nullopt;
  const auto it = files_.find(resolve(path));
  if (it == files_.end()) return std::nullopt;
  return it->second.content.size();
}

bool FakePlatform::fileExists(const std::string& path) const {
  if (enter(Op::fileExists, path)) return false;
  return files_.count(resolve(path)) > 0;
}

Status FakePlatform::readFile(const std::string& path, std::string* content) const {
  content->clear();
  if (auto fault = enter(Op::readFile, path)) return *fault;
  const auto it = files_.find(resolve(path));
  if (it == files_.end()) return missing(path);
  *content = it->second.content;
  return Status::success();
}

Status FakePlatform::createFile(const std::string& path) {
  if (auto fault = enter(Op::createFile, path)) return *fault;
  const std::string name = resolve(path);
  if (files_.count(name)) return Status::success();
  const Status status = canCreate(name);
  if (status.ok()) files_[name];
  return status;
}

Status FakePlatform::deleteFile(const std::string& path) {
  if (auto fault = enter(Op::deleteFile, path)) return *fault;
  if (files_.erase(resolve(path)) == 0) return missing(path);
  return Status::success();
}

Status FakePlatform::moveNoReplace(const std::string& from, const std::string& to) {
  if (auto fault = enter(Op::moveNoReplace, from)) return *fault;
  const auto source = files_.find(resolve(from));
  if (source == files_.end()) return missing(from);
  const std::string target = resolve(to);
  if (files_.count(target)) return Status::error(to, "File exists");
  const Status status = canCreate(target);
  if (!status.ok()) return status;
  files_[target] = source->second;
  files_.erase(source);
  return Status::success();
}

Status FakePlatform::writeNewFile(const std::string& path, const std::string& content) {
  if (auto fault = enter(Op::writeNewFile, path)) return *fault;
  const std::string name = resolve(path);
  if (files_.count(name)) return Status::error(path, "File exists");
  const Status status = canCreate(name);
  if (status.ok()) files_[name].content = content;
  return status;
}

Status FakePlatform::replaceFile(const std::string& from, const std::string& to) {
  if (auto fault = enter(Op::replaceFile, from)) return *fault;
  const auto source = files_.find(resolve(from));
  if (source == files_.end()) return missing(from);
  const std::string target = resolve(to);
  const Status status = canCreate(target);
  if (!status.ok()) return status;
  File moved = source->second;
  files_.erase(source);
  files_[target] = moved;
  return Status::success();
}

Status FakePlatform::appendDurably(const std::string& path, const std::string& data) {
  if (auto fault = enter(Op::appendDurably, path)) return *fault;
  const std::string name = resolve(path);
  if (!files_.count(name)) {
    const Status status = canCreate(name);
    if (!status.ok()) return status;
  }
  files_[name].content += data;
  return Status::success();
}

Status FakePlatform::listDirectory(const std::string& path,
                                   std::vector<DirectoryEntry>* entries) const {
  entries->clear();
  if (auto fault = enter(Op::listDirectory, path)) return *fault;
  const std::string dir = resolve(path);
  if (!directoryExists(dir)) return missing(path);
  for (const auto& [name, file] : files_) {
    if (parentOf(name) == dir)
      entries->push_back(
          DirectoryEntry{name.substr(name.find_last_of('/') + 1), file.content.size()});
  }
  return Status::success();
}

Status FakePlatform::linkOrCopy(const std::string& from, const std::string& to) {
  if (auto fault = enter(Op::linkOrCopy, from)) return *fault;
  const auto source = files_.find(resolve(from));
  if (source == files_.end()) return missing(from);
  const std::string target = resolve(to);
  if (files_.count(target)) return Status::error(to, "File exists");
  const Status status = canCreate(target);
  if (status.ok()) files_[target] = source->second;
  return status;
}

namespace {

class FakeLock : public FileLock {
 public:
  FakeLock(std::set<std::string>* locked, std::string path)
      : locked_(locked), path_(std::move(path)) {}
  ~FakeLock() override { locked_->erase(path_); }

 private:
  std::set<std::string>* locked_;
  std::string path_;
};

}  // namespace

Status FakePlatform::lockFile(const std::string& path, int /*timeoutMs*/,
                              std::unique_ptr<FileLock>* lock) {
  if (auto fault = enter(Op::lockFile, path)) return *fault;
  const std::string resolved = resolve(path);
  if (!locked_.insert(resolved).second) return Status::error(path, "locked by another check");
  if (!files_.count(resolved)) {
    const Status created = createFile(path);
    if (!created.ok()) {
      locked_.erase(resolved);
      return created;
    }
  }
  *lock = std::make_unique<FakeLock>(&locked_, resolved);
  return Status::success();
}

}  // namespace corvantis::test
