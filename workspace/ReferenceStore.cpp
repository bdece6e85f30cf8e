#include "workspace/ReferenceStore.h"

#include <memory>
#include <utility>
#include <vector>

#include "workspace/FileNames.h"
#include "workspace/Paths.h"
#include "workspace/StoreRecord.h"

namespace corvantis {

std::string storeLockPath(const std::string& storePath) { return storePath + ".lock"; }

namespace {

// No update takes this long: a temporary file this old was left by a killed check. Its
// age is all there is to go by, as a process id says nothing across containers.
constexpr std::uint64_t kAbandonedSeconds = 60;

// Why the record format cannot hold `key`; empty when it can. A line of such a key
// would belong to another key as well, or read as a comment.
std::string unstorableReason(const std::string& key) {
  if (key.find_first_of("\r\n") != std::string::npos) return "its path holds a line end";
  if (key.find(',') != std::string::npos) return "its path holds a comma";
  if (!key.empty() && key[0] == ';') return "its path begins with ';'";
  return "";
}

bool allOf(const std::string& text, const char* characters) {
  return text.find_first_not_of(characters) == std::string::npos;
}

// What follows the prefix in a temporary file's name: a random part, or the process id
// of earlier versions.
bool isTemporarySuffix(const std::string& suffix) {
  if (suffix.size() == kRandomSuffixLength)
    return allOf(suffix, "0123456789abcdefghijklmnopqrstuvwxyz");
  return !suffix.empty() && suffix.size() <= 19 && allOf(suffix, "0123456789");
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
  StoreRecord record;
  while (open_ && readLine(content_, &position_, &line)) {
    if (!parseRecord(line, &record) || record.key != key) continue;
    // The first record of the key decides. One that cannot be trusted (cut short, edited
    // by hand, a value that is no number) counts as missing, so the signature is
    // computed again and the record rewritten.
    if (record.distrust.empty()) {
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

void ReferenceStore::removeAbandoned(const std::string& prefix, const std::string& tail) {
  const std::size_t separator = prefix.find_last_of("/\\");
  const std::string directory =
      separator == std::string::npos ? std::string() : prefix.substr(0, separator + 1);
  const std::string start = prefix.substr(directory.size());
  const std::uint64_t now = platform_.currentTime();
  std::vector<DirectoryEntry> entries;
  platform_.listDirectory(directory.empty() ? "." : directory, &entries);
  for (const DirectoryEntry& entry : entries) {
    const std::string& name = entry.name;
    if (name.size() < start.size() + tail.size() || name.compare(0, start.size(), start) != 0 ||
        name.compare(name.size() - tail.size(), tail.size(), tail) != 0 ||
        !isTemporarySuffix(name.substr(start.size(), name.size() - start.size() - tail.size())))
      continue;
    const std::string path = directory + name;
    const std::uint64_t written = platform_.fileTime(path);
    if (written != 0 && now > written && now - written > kAbandonedSeconds)
      platform_.deleteFile(path);
  }
}

Status ReferenceStore::replaceVia(const std::string& prefix, const std::string& content) {
  std::string temporary;
  const Status written = platform_.writeUniqueFile(prefix, content, &temporary);
  if (!written.ok()) return written;
  const Status replaced = platform_.replaceFile(temporary, storePath_);
  if (!replaced.ok()) platform_.deleteFile(temporary);
  return replaced;
}

void ReferenceStore::update(const std::string& key, const FeatureVector& values,
                            std::uint64_t time) {
  const std::string unstorable = unstorableReason(key);
  if (!unstorable.empty()) {
    diagnostics_ << "corvantis: reference of " << key << " not stored: " << unstorable
                 << "; it is computed again in every check\n";
    return;
  }
  const std::string record = formatRecord(key, values, time);
  StoreRecord written;
  // A record that no lookup would trust is not written: it would only be computed again.
  parseRecord(record.substr(0, record.size() - 2), &written);
  if (!written.distrust.empty()) {
    diagnostics_ << "corvantis: reference of " << key << " not stored: " << written.distrust
                 << "\n";
    return;
  }
  // The store holds whole seconds: a file of the current second may still be rewritten
  // within it and keep its time. The next check stores it once the second has passed.
  const std::uint64_t now = platform_.currentTime();
  if (time >= now) {
    if (time > now)
      diagnostics_ << "corvantis: reference of " << key << " not stored: its file time lies "
                   << time - now << " s ahead of the clock; it is computed again until then\n";
    return;
  }
  // Earlier versions keyed a record by the file name alone, whatever folder the
  // reference lay in: such a record may hold another reference's signature.
  const std::string former = key.substr(key.rfind('/') + 1);
  const bool dropFormer = former != key && unstorableReason(former).empty();
  rewrite("reference of " + key + " not stored",
          [&](const std::string& current, std::string* updated) {
            bool found = false;
            *updated = updatedStore(dropFormer ? withoutRecord(current, former, &found) : current,
                                    key, record);
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
  // updates it again; what the killed one left goes once it is surely no live update's.
  const std::string besidePrefix = storePath_ + ".tmp.";
  removeAbandoned(tempPath_ + ".", "");
  removeAbandoned(besidePrefix, "");
  removeAbandoned(storePath_ + ".", ".tmp");  // an earlier version's, beside the store
  // The preferred directory may be missing or on another file system than the store;
  // then one beside the store serves.
  const Status preferred = replaceVia(tempPath_ + ".", content);
  if (preferred.ok()) return true;
  const Status beside = replaceVia(besidePrefix, content);
  if (beside.ok()) return true;
  diagnostics_ << "corvantis: store " << storePath_ << " not updated; it stays as it was ("
               << preferred.message() << "; " << beside.message() << ")\n";
  return false;
}

}  // namespace corvantis
