#include "workspace/ReferenceStore.h"

#include <memory>
#include <utility>
#include <vector>

#include "workspace/Paths.h"
#include "workspace/StoreRecord.h"

namespace corvantis {

std::string storeLockPath(const std::string& storePath) { return storePath + ".lock"; }

namespace {

// No update takes this long; a temporary file this old was left by a killed check even
// when another process has taken over its process id.
constexpr std::uint64_t kAbandonedSeconds = 60;

// Why the record format cannot hold `key`; empty when it can. A line of such a key
// would belong to another key as well, or read as a comment.
std::string unstorableReason(const std::string& key) {
  if (key.find_first_of("\r\n") != std::string::npos) return "its file name holds a line end";
  if (key.find(',') != std::string::npos) return "its file name holds a comma";
  if (!key.empty() && key[0] == ';') return "its file name begins with ';'";
  return "";
}

}  // namespace

ReferenceStore::ReferenceStore(std::string storePath, std::string tempPath, Platform& platform,
                               std::ostream& diagnostics)
    : platform_(platform),
      diagnostics_(diagnostics),
      storePath_(std::move(storePath)),
      tempPath_(std::move(tempPath)) {
  open();
}

Status ReferenceStore::readInto(const std::string& path) {
  const Status created = platform_.createFile(path);
  if (!created.ok()) return created;
  return platform_.readFile(path, &content_);
}

void ReferenceStore::open() {
  content_.clear();
  position_ = 0;
  const Status status = readInto(storePath_);
  open_ = status.ok();
  if (open_) return;
  // The check goes on with an empty scratch store held in memory. No file may stand in
  // for the store: the working directory can be another robot's folder, holding that
  // robot's real store.
  content_.clear();
  diagnostics_ << "corvantis: store not opened (" << status.message()
               << "); reference signatures are not kept\n";
}

FeatureVector ReferenceStore::lookup(const std::string& key) {
  if (cachedTime_ != 0 && cachedKey_ == key) return cachedValues_;
  cachedKey_ = key;
  cachedValues_.clear();
  cachedTime_ = 0;
  // Such a key is never stored; a line that matches it is another key's record.
  if (!unstorableReason(key).empty()) return cachedValues_;
  std::string line;
  while (open_ && readLine(content_, &position_, &line)) {
    if (!line.empty() && line[0] == ';') continue;
    if (!belongsTo(line, key)) continue;
    StoreRecord record = parseRecord(line, key);
    // A record of another length (cut short, or edited by hand) counts as missing, so
    // the signature is computed again and the record rewritten.
    if (record.values.size() == kFeatureCount) {
      cachedValues_ = std::move(record.values);
      cachedTime_ = record.time;
    }
    break;
  }
  return cachedValues_;
}

std::uint64_t ReferenceStore::storedTime(const std::string& key) {
  if (cachedTime_ == 0 || cachedKey_ != key) lookup(key);
  return cachedTime_;
}

void ReferenceStore::removeAbandoned(const std::string& base, const std::string& tail) {
  const std::size_t separator = base.find_last_of("/\\");
  const std::string directory =
      separator == std::string::npos ? std::string() : base.substr(0, separator + 1);
  const std::string prefix = base.substr(directory.size()) + ".";
  const std::uint64_t now = platform_.currentTime();
  std::vector<DirectoryEntry> entries;
  platform_.listDirectory(directory.empty() ? "." : directory, &entries);
  for (const DirectoryEntry& entry : entries) {
    const std::string& name = entry.name;
    if (name.size() <= prefix.size() + tail.size() || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - tail.size(), tail.size(), tail) != 0)
      continue;
    const std::string id = name.substr(prefix.size(), name.size() - prefix.size() - tail.size());
    if (id.size() > 19 || id.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::string path = directory + name;
    const std::uint64_t written = platform_.fileTime(path);
    const bool old = now > written && now - written > kAbandonedSeconds;
    if (old || !platform_.processExists(std::stoull(id))) platform_.deleteFile(path);
  }
}

bool ReferenceStore::replaceVia(const std::string& tempPath, const std::string& content,
                                Status* status) {
  // A leftover of an earlier check with the same process id would block the
  // exclusive create.
  platform_.deleteFile(tempPath);
  *status = platform_.writeNewFile(tempPath, content);
  if (status->ok()) *status = platform_.replaceFile(tempPath, storePath_);
  if (status->ok()) return true;
  platform_.deleteFile(tempPath);
  return false;
}

void ReferenceStore::update(const std::string& key, const FeatureVector& values,
                            std::uint64_t time) {
  if (values.size() < kFeatureCount) {
    diagnostics_ << "corvantis: reference of " << key << " not stored: " << values.size()
                 << " values instead of " << kFeatureCount << "\n";
    return;
  }
  const std::string unstorable = unstorableReason(key);
  if (!unstorable.empty()) {
    diagnostics_ << "corvantis: reference of " << key << " not stored: " << unstorable
                 << "; it is computed again in every check\n";
    return;
  }
  rewrite("reference of " + key + " not stored",
          [&](const std::string& current, std::string* updated) {
            *updated = updatedStore(current, key, formatRecord(key, values, time));
            return true;
          });
}

bool ReferenceStore::remove(const std::string& key) {
  bool read = false;
  bool found = false;
  const std::string failure = "record of " + key + " not removed";
  const bool removed = rewrite(failure, [&](const std::string& current, std::string* updated) {
    read = true;
    *updated = withoutRecord(current, key, &found);
    return found;
  });
  if (read && !found) diagnostics_ << "corvantis: no record of " << key << " in the store\n";
  return removed;
}

bool ReferenceStore::rewrite(const std::string& failure,
                             const std::function<bool(const std::string&, std::string*)>& edit) {
  // Checks of the same cell take turns at the read-modify-write, so that none drops a
  // record another has just written. The store is read again under the lock, and only
  // the store whose lock is held is ever written. A check never waits longer than
  // kStoreLockMs: then it leaves the store as it is, and the next check that finds the
  // record missing or old computes and stores it again.
  std::unique_ptr<FileLock> lock;
  const Status locked = platform_.lockFile(storeLockPath(storePath_), kStoreLockMs, &lock);
  if (!locked.ok()) {
    open_ = false;
    content_.clear();
    diagnostics_ << "corvantis: " << failure << " (" << locked.message() << ")\n";
    return false;
  }
  open();
  if (!open_) {
    diagnostics_ << "corvantis: " << failure << ": no store\n";
    return false;
  }
  std::string content;
  const bool changed = edit(content_, &content);
  open_ = false;
  content_.clear();
  if (!changed) return false;

  // A killed update leaves the store as it was, so the next check of that reference
  // updates it again and clears away what the killed one left.
  removeAbandoned(tempPath_, "");
  removeAbandoned(storePath_, ".tmp");
  // Each check gets a temporary file of its own. The preferred one may be missing or on
  // another file system than the store; then one beside the store serves.
  const std::string suffix = "." + std::to_string(platform_.processId());
  Status preferred = Status::success();
  if (replaceVia(tempPath_ + suffix, content, &preferred)) return true;
  Status beside = Status::success();
  if (replaceVia(storePath_ + suffix + ".tmp", content, &beside)) return true;
  diagnostics_ << "corvantis: store " << storePath_ << " not updated; it stays as it was ("
               << preferred.message() << "; " << beside.message() << ")\n";
  return false;
}

}  // namespace corvantis
