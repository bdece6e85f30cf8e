#include "workspace/ReferenceStore.h"

#include <memory>
#include <utility>

#include "workspace/Paths.h"
#include "workspace/StoreRecord.h"

namespace corvantis {

std::string storeLockPath(const std::string& storePath) { return storePath + ".lock"; }

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
  open_ = false;
  content_.clear();
  position_ = 0;
  const Status primary = readInto(storePath_);
  if (primary.ok()) {
    open_ = true;
    openPath_ = storePath_;
    return;
  }
  // The scratch store is emptied on every open: it only keeps the check going.
  platform_.deleteFile(kStoreFileName);
  content_.clear();
  const Status scratch = readInto(kStoreFileName);
  if (scratch.ok()) {
    open_ = true;
    openPath_ = kStoreFileName;
    diagnostics_ << "corvantis: store not opened (" << primary.message() << "); using an empty "
                 << kStoreFileName << " in the working directory\n";
    return;
  }
  content_.clear();
  diagnostics_ << "corvantis: no store opened (" << primary.message() << "; " << scratch.message()
               << "); reference signatures are not kept\n";
}

FeatureVector ReferenceStore::lookup(const std::string& key) {
  if (cachedTime_ != 0 && cachedKey_ == key) return cachedValues_;
  cachedKey_ = key;
  cachedValues_.clear();
  cachedTime_ = 0;
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

bool ReferenceStore::replaceVia(const std::string& tempPath, const std::string& content,
                                Status* status) {
  // A leftover of an earlier check with the same process id would block the
  // exclusive create.
  platform_.deleteFile(tempPath);
  *status = platform_.writeNewFile(tempPath, content);
  if (status->ok()) *status = platform_.replaceFile(tempPath, openPath_);
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
  if (key.find_first_of("\r\n") != std::string::npos) {
    diagnostics_ << "corvantis: reference not stored: its file name holds a line end\n";
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
  // record another has just written. The store is read again under the lock. A check
  // never waits longer than kStoreLockMs: then it leaves the store as it is, and the
  // next check that finds the record missing or old computes and stores it again.
  std::unique_ptr<FileLock> lock;
  const std::string lockPath = storeLockPath(open_ ? openPath_ : storePath_);
  const Status locked = platform_.lockFile(lockPath, kStoreLockMs, &lock);
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

  // Each check gets a temporary file of its own. The preferred one may be missing or on
  // another file system than the store; then one beside the store serves.
  const std::string suffix = "." + std::to_string(platform_.processId());
  Status preferred = Status::success();
  if (replaceVia(tempPath_ + suffix, content, &preferred)) return true;
  Status beside = Status::success();
  if (replaceVia(openPath_ + suffix + ".tmp", content, &beside)) return true;
  diagnostics_ << "corvantis: store " << openPath_ << " not updated (" << preferred.message()
               << "; " << beside.message() << ")\n";
  return false;
}

}  // namespace corvantis
