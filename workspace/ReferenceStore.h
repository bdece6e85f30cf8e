// The store of reference signatures of a cell: one record per reference image, under the
// key storeKeyOf gives it, with the image file's time, read through a one-record cache.
//
// The store is read into memory when it is opened; lookups read it on from where the
// last one stopped. An update builds the whole new file and puts it in place of the old
// one with a rename, so the store on disk is always either the old or the new complete
// file. Each update writes a temporary file of a name no other has, so updates of
// checks in separate containers (which may share process ids) never meet; leftovers of
// killed updates go once they are older than a minute. A store that cannot be opened is
// replaced by an empty one in memory, never by a file elsewhere. Nothing is reported to
// the caller: failures are told on the diagnostics stream and make a lookup find nothing
// or an update write nothing. Updates of concurrent checks are serialised by an advisory
// lock with a bounded wait. Not thread-safe.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

#include "workspace/FeatureVector.h"
#include "workspace/Platform.h"

namespace corvantis {

// The longest an update waits for another check to finish its own.
constexpr int kStoreLockMs = 2000;

// The file whose lock serialises the updates of the store at `storePath`; it lives
// beside the store because the store itself is replaced by each update.
std::string storeLockPath(const std::string& storePath);

class ReferenceStore {
 public:
  // `storePath` is the store file; the preferred temporary files of updates are named
  // `tempPath` + "." + a random part.
  // `platform` and `diagnostics` must outlive the store. Opens (creating) the store.
  ReferenceStore(std::string storePath, std::string tempPath, Platform& platform,
                 std::ostream& diagnostics);

  // The five values stored for `key`; empty when its first record is one that
  // parseRecord does not trust, or there is none.
  FeatureVector lookup(const std::string& key);
  // The time stored with the record of `key`, looking it up unless it is the cached
  // one; 0 when there is none.
  std::uint64_t storedTime(const std::string& key);
  // Puts the record of `key` into the store, in place of any earlier one or at the
  // end, re-reading the store under the lock of storeLockPath; a record under the key's
  // last "/" part alone, as earlier versions keyed it, goes. Removes temporary files that
  // killed updates left behind. Writes nothing for a record no lookup would trust (not
  // five finite values, time 0), for a key the record format cannot hold (a comma, a
  // line end, a leading ";"), for a `time` that is not older than the current second
  // (the file may still change within it), or when the lock cannot be had. Afterwards
  // the store is closed: lookups find nothing, and the cache stays.
  void update(const std::string& key, const FeatureVector& values, std::uint64_t time);
  // Takes every record of `key` out of the store, the same way an update puts one in,
  // so that the next check computes the signature again. True when records were
  // removed; false when there were none or the store could not be rewritten (told on
  // the diagnostics stream). Afterwards the store is closed, as after an update.
  bool remove(const std::string& key);

 private:
  // Reads the store from the start; when it cannot be opened, the store stays closed
  // and empty, and so serves as an empty scratch store held in memory.
  void open();
  Status readInto(const std::string& path);
  // Writes `content` to a new temporary file named `prefix` + a random part and renames
  // it over the store; when either step fails, the temporary file is removed.
  Status replaceVia(const std::string& prefix, const std::string& content);
  // The read-modify-write of every change: under the lock, reads the store again, hands
  // its content to `edit` and puts the result in its place. Writes nothing when `edit`
  // returns false; `failure` opens the message when the store cannot be changed. True
  // when the store was replaced.
  bool rewrite(const std::string& failure,
               const std::function<bool(const std::string&, std::string*)>& edit);

  // Deletes the temporary files `prefix` + a random part (or, from earlier versions, a
  // process id) + `tail` that are older than a minute.
  void removeAbandoned(const std::string& prefix, const std::string& tail);

  Platform& platform_;
  std::ostream& diagnostics_;
  std::string storePath_;
  std::string tempPath_;

  // The open store: its content and the read position.
  bool open_ = false;
  std::string content_;
  std::size_t position_ = 0;

  // The last record found; cachedTime_ 0 means none is cached.
  FeatureVector cachedValues_;
  std::uint64_t cachedTime_ = 0;
  std::string cachedKey_;
};

}  // namespace corvantis
