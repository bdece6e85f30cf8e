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

std::string FakePlatform::resolve(const std::string& path) const {
  const bool absolute = !path.empty() && (path[0] == '/' || path[0] == '\\');
  std::string normal;
  for (char c : absolute ? path : workingDirectory() + "/" + path) {
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
  if (!find(path)) return std::nullopt;
  return find(path)->content;
}

std::vector<std::string> FakePlatform::fileNames() const {
  std::vector<std::string> names;
  for (const auto& entry : files_) names.push_back(entry.first);
  return names;
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
  if (!replace && files_.count(name)) return Status::error(name, "File exists");
  return Status::success();
}

Status FakePlatform::readFile(const std::string& path, std::string* content) const {
  content->clear();
  if (auto f = fault(Op::readFile, path)) return *f;
  if (!find(path)) return missing(path);
  *content = find(path)->content;
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
