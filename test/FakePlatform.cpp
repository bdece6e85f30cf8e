#include "test/FakePlatform.h"

namespace corvantis::test {

namespace {

std::string parentOf(const std::string& path) {
  const std::size_t last = path.find_last_of('/');
  return last == std::string::npos || last == 0 ? "/" : path.substr(0, last);
}

Status missing(const std::string& path) { return Status::error(path, "No such file or directory"); }

class FakeLock : public FileLock {
 public:
  FakeLock(std::set<std::string>* locked, std::string path) : locked_(locked), path_(path) {}
  ~FakeLock() override { locked_->erase(path_); }

 private:
  std::set<std::string>* locked_;
  std::string path_;
};

}  // namespace

FakePlatform::FakePlatform() { setWorkingDirectory("/cell/bin"); }

std::string FakePlatform::resolve(const std::string& path) const {
  const bool absolute = !path.empty() && (path[0] == '/' || path[0] == '\\');
  std::string normal;
  for (char c : absolute ? path : workingDirectory_ + "/" + path) {
    if (c == '\\') c = '/';
    if (c != '/' || normal.empty() || normal.back() != '/') normal += c;
  }
  if (normal.size() > 1 && normal.back() == '/') normal.pop_back();
  return normal;
}

void FakePlatform::addDirectory(const std::string& path) {
  for (std::string dir = resolve(path); dir != "/"; dir = parentOf(dir)) directories_.insert(dir);
}

void FakePlatform::putFile(const std::string& path, const std::string& content) {
  addDirectory(parentOf(resolve(path)));
  files_[resolve(path)].content = content;
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

void FakePlatform::setWorkingDirectory(const std::string& path) {
  workingDirectory_ = path;
  addDirectory(path);
}

std::optional<Status> FakePlatform::fault(Op op, const std::string& path) const {
  for (const Fault& f : faults_) {
    if (f.op == op && path.find(f.pathPart) != std::string::npos)
      return Status::error(path, f.reason);
  }
  return std::nullopt;
}

Status FakePlatform::canCreate(const std::string& name, bool replace) const {
  if (!directories_.count(parentOf(name))) return missing(name);
  if (directories_.count(name)) return Status::error(name, "Is a directory");
  if (!replace && files_.count(name)) return Status::error(name, "File exists");
  return Status::success();
}

std::uint64_t FakePlatform::fileTime(const std::string& path) const {
  const auto it = files_.find(resolve(path));
  return it == files_.end() ? 0 : it->second.time;
}

std::optional<std::uint64_t> FakePlatform::fileSize(const std::string& path) const {
  const auto it = files_.find(resolve(path));
  if (it == files_.end()) return std::nullopt;
  return it->second.content.size();
}

bool FakePlatform::fileExists(const std::string& path) const {
  return !fault(Op::fileExists, path) && files_.count(resolve(path)) > 0;
}

Status FakePlatform::readFile(const std::string& path, std::string* content) const {
  content->clear();
  if (auto f = fault(Op::readFile, path)) return *f;
  const auto it = files_.find(resolve(path));
  if (it == files_.end()) return missing(path);
  *content = it->second.content;
  return Status::success();
}

Status FakePlatform::createFile(const std::string& path) {
  if (auto f = fault(Op::createFile, path)) return *f;
  const std::string name = resolve(path);
  const Status status = canCreate(name, true);
  if (status.ok()) files_[name];
  return status;
}

Status FakePlatform::deleteFile(const std::string& path) {
  if (auto f = fault(Op::deleteFile, path)) return *f;
  return files_.erase(resolve(path)) ? Status::success() : missing(path);
}

Status FakePlatform::transfer(Op op, const std::string& from, const std::string& to, bool replace,
                              bool move) {
  if (auto f = fault(op, from)) return *f;
  const auto source = files_.find(resolve(from));
  if (source == files_.end()) return missing(from);
  const Status status = canCreate(resolve(to), replace);
  if (!status.ok()) return status;
  const File file = source->second;
  if (move) files_.erase(source);
  files_[resolve(to)] = file;
  return Status::success();
}

Status FakePlatform::moveNoReplace(const std::string& from, const std::string& to) {
  return transfer(Op::moveNoReplace, from, to, false, true);
}

Status FakePlatform::replaceFile(const std::string& from, const std::string& to) {
  return transfer(Op::replaceFile, from, to, true, true);
}

Status FakePlatform::linkOrCopy(const std::string& from, const std::string& to) {
  return transfer(Op::linkOrCopy, from, to, false, false);
}

Status FakePlatform::writeNewFile(const std::string& path, const std::string& content) {
  if (auto f = fault(Op::writeNewFile, path)) return *f;
  const Status status = canCreate(resolve(path));
  if (status.ok()) files_[resolve(path)].content = content;
  return status;
}

Status FakePlatform::appendDurably(const std::string& path, const std::string& data) {
  if (auto f = fault(Op::appendDurably, path)) return *f;
  const Status status = canCreate(resolve(path), true);
  if (status.ok()) files_[resolve(path)].content += data;
  return status;
}

Status FakePlatform::listDirectory(const std::string& path,
                                   std::vector<DirectoryEntry>* entries) const {
  entries->clear();
  const std::string dir = resolve(path);
  if (!directories_.count(dir)) return missing(path);
  for (const auto& [name, file] : files_) {
    if (parentOf(name) == dir)
      entries->push_back({name.substr(name.find_last_of('/') + 1), file.content.size()});
  }
  return Status::success();
}

Status FakePlatform::lockFile(const std::string& path, int /*timeoutMs*/,
                              std::unique_ptr<FileLock>* lock) {
  if (auto f = fault(Op::lockFile, path)) return *f;
  const std::string name = resolve(path);
  if (locked_.count(name)) return Status::error(path, "locked by another check");
  const Status created = createFile(path);
  if (created.ok()) {
    locked_.insert(name);
    *lock = std::make_unique<FakeLock>(&locked_, name);
  }
  return created;
}

}  // namespace corvantis::test
