#include "workspace/ReferenceStore.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>

#include "test/TestPlatform.h"
#include "test/TestUtil.h"
#include "workspace/StoreRecord.h"

namespace corvantis {
namespace {

using test::holds;

// An update leaves the lock file beside the store: removing it would let two checks
// lock different files of the same name.
const std::vector<std::string> kStoreAndLock = {"cell/robots/R1/corvantis.dat",
                                                "cell/robots/R1/corvantis.dat.lock"};

const FeatureVector kValues = {937, 312, 4, 123.456, 17.5, 6};  // only five are stored
const std::string kRecord = "part.bmp,1700000000,937,312,4,123.456,17.5\r\n";

class ReferenceStoreTest : public ::testing::Test {
 protected:
  ReferenceStoreTest() {
    std::filesystem::create_directories(dir_.file("cell/robots/R1"));
    std::filesystem::create_directories(dir_.file("cell/var/tmp"));
  }
  // A store freshly opened on what is on disk now, as a new check sees it.
  ReferenceStore& reopen() {
    store_ = std::make_unique<ReferenceStore>(storePath_, temp_, platform_, told_);
    return *store_;
  }
  void put(const std::string& content) const { test::writeFile(storePath_, content); }
  std::string onDisk() const { return test::readFile(storePath_); }
  std::vector<std::string> files() const { return test::filesBelow(dir_.path().string()); }

  test::TempDir dir_;
  const std::string storePath_ = dir_.file("cell/robots/R1/corvantis.dat");
  const std::string temp_ = dir_.file("cell/var/tmp/a_kivro.tmp");
  test::TestPlatform platform_;
  std::ostringstream told_;
  std::unique_ptr<ReferenceStore> store_;
};

TEST_F(ReferenceStoreTest, LookupTrustsOnlyTheFirstCompleteRecordOfExactlyTheKey) {
  const FeatureVector none, ones(5, 1.0), count = {1, 2, 3, 4, 5};
  const struct {
    std::string store;
    std::string key;
    FeatureVector values;
    std::uint64_t time;
  } cases[] = {
      {"; part.bmp,1,1,1,1,1,1\r\n\r\nx\r\npart.bmp,3,1,2,3,4,5\r\n", "part.bmp", count, 3},
      {"part.bmp,100,1,1,1,1,1\r\npart.bmp,200,2,2,2,2,2\r\n", "part.bmp", ones, 100},
      // Only a record of five finite numbers and a time counts (the parser's table has
      // every reason), also where a store was cut short; then the first record decides.
      {"part.bmp,1,1,2,3,-inf,5\r\npart.bmp,200,1,2,3,4,5\r\n", "part.bmp", none, 0},
      {"part.bmp,1,1,2,3,inf,5\r\n", "part.bmp", none, 0},
      {"a.bmp,1,1,1,1,1,1\r\npart.bmp,3,1,2,3,4,5", "part.bmp", count, 3},
      {";odd.bmp,1,1,2,3,4,5\r\n", ";odd.bmp", none, 0},
      {"part,1.png,1,1,2,3,4,5\r\n", "part,1.png", none, 0},
  };
  for (const auto& c : cases) {
    put(c.store);
    ReferenceStore& store = reopen();
    EXPECT_EQ(c.values, store.lookup(c.key)) << c.store;
    // A check asks for the time only of a record it found, and may ask for it again.
    if (!c.values.empty()) {
      EXPECT_EQ(c.time, store.storedTime(c.key)) << c.store;
      EXPECT_EQ(c.values, store.lookup(c.key)) << "asked again: " << c.store;
    }
  }
  // Cut at every length, as a copy or a full disk may leave it, a store gives each key
  // five values or none.
  const std::string full = "a.bmp,1,1,1,1,1,1\r\npart.bmp,3,1,2,3,4,5\r\n";
  for (std::size_t length = 0; length <= full.size(); ++length) {
    put(full.substr(0, length));
    for (const char* key : {"a.bmp", "part.bmp"}) {
      const std::size_t found = reopen().lookup(key).size();
      EXPECT_TRUE(found == 0 || found == kFeatureCount) << key << " cut at " << length;
    }
  }
}

TEST_F(ReferenceStoreTest, RemoveTakesOutEveryLineOfTheKeyAndLeavesTheRestAsItIs) {
  const std::string others = "; note\r\nmypart.bmp,2,2,2,2,2,2\r\nx\r\n";
  for (const std::string& store :
       {"part.bmp,1,1,1,1,1,1\r\n" + others, others + "part.bmp,1,1\r\npart.bmp,2", others}) {
    put(store);
    EXPECT_EQ(store != others, reopen().remove("part.bmp")) << store;
    EXPECT_EQ(others, onDisk());
    EXPECT_EQ(kStoreAndLock, files());
  }
  EXPECT_TRUE(holds(told_.str(), "no record of part.bmp"));
}

// A record under the file name alone, as earlier versions keyed every reference, may
// hold another folder's signature: it goes when the reference's own record is written.
TEST_F(ReferenceStoreTest, UpdateDropsTheRecordUnderTheFileNameAlone) {
  const std::string mine = formatRecord("ref/st10/part.bmp", kValues, 1700000000);
  const std::string other = "ref/st20/part.bmp,1,1,1,1,1,1\r\nmypart.bmp,2,2,2,2,2,2\r\n";
  const struct {
    std::string before;
    std::string after;
  } cases[] = {
      {"part.bmp,1,1,1,1,1,1\r\n" + other, other + mine},
      {other + "ref/st10/part.bmp,1,0,0,0,0,0\r\npart.bmp,1,1,1,1,1,1\r\n", other + mine},
      {other, other + mine},
  };
  for (const auto& c : cases) {
    put(c.before);
    reopen().update("ref/st10/part.bmp", kValues, 1700000000);
    EXPECT_EQ(c.after, onDisk()) << c.before;
  }
  EXPECT_EQ("", told_.str());
}

// The store is replaced completely or stays as it was, and no temporary file is left
// behind either way. A rename out of var/tmp may fail (another file system): then one
// beside the store serves; where that fails too, the store stays.
TEST_F(ReferenceStoreTest, UpdateReplacesTheStoreWholeOrNotAtAll) {
  const std::string before = "a.bmp,1,1,1,1,1,1\r\npart.bmp,1,0,0,0,0,0\r\n\r\n";
  const std::string after = "a.bmp,1,1,1,1,1,1\r\n" + kRecord;
  for (const std::string failing : {"a_kivro", ""}) {
    SCOPED_TRACE("renames fail from " + failing);
    const bool updated = !failing.empty();
    put(before);
    test::TestPlatform platform;
    platform.failOn("replaceFile", failing, "cross-device");
    told_.str("");
    ReferenceStore(storePath_, temp_, platform, told_).update("part.bmp", kValues, 1700000000);
    EXPECT_EQ(updated ? after : before, onDisk());
    EXPECT_EQ(kStoreAndLock, files());
    EXPECT_EQ(updated, told_.str().empty()) << told_.str();
    EXPECT_EQ(!updated, holds(told_.str(), "not updated; it stays as it was"));
  }
}

// Such a key would make its record another key's (part,1.png's line belongs to part) or
// a comment; it is computed again in every check instead.
TEST_F(ReferenceStoreTest, KeysTheRecordCannotHoldAreNeverStored) {
  const std::string before = "part,1700000000,1,1,1,1,1\r\n";
  const std::pair<std::string, const char*> cases[] = {
      {"1.png", "4 values instead of 5"},  // fewer values than a record holds
      {"inf.png", "value 4 (\"inf\") is no finite number"},
      {"part,1.png", "holds a comma"},
      {";odd.bmp", "begins with ';'"},
      {"evil\nforged.bmp", "holds a line end"},
  };
  for (const auto& [key, told] : cases) {
    put(before);
    const FeatureVector values = key == "1.png"     ? FeatureVector{1, 2, 3, 4}
                                 : key == "inf.png" ? FeatureVector{1, 2, 3, HUGE_VAL, 5}
                                                    : kValues;
    reopen().update(key, values, 1700000001);
    EXPECT_EQ(before, onDisk()) << key;
    EXPECT_TRUE(holds(told_.str(), told));
  }
  EXPECT_EQ(1700000000u, reopen().storedTime("part"));
}

// In the working directory may lie another robot's real store: an unopenable store (in a
// mistyped robot folder, or unreadable) is replaced by an empty one in memory, and no
// file is deleted, created or written.
TEST_F(ReferenceStoreTest, UnopenableStoreIsAnEmptyOneInMemory) {
  const std::string scratch = dir_.file("cell/bin/corvantis.dat");
  const std::string other = "part.bmp,1,1,1,1,1,1\r\n";
  test::writeFile(scratch, other);
  for (const std::string& store : {dir_.file("cell/robots/R2/corvantis.dat"), scratch}) {
    SCOPED_TRACE(store);
    if (store == scratch)  // unreadable, in a directory that cannot be written either
      for (const char* op : {"createFile", "readFile", "lockFile"})
        platform_.failOn(op, store, "Permission denied");
    ReferenceStore unopened(store, temp_, platform_, told_);
    EXPECT_TRUE(unopened.lookup("part.bmp").empty());
    unopened.update("part.bmp", kValues, 1700000000);
    EXPECT_EQ(std::vector<std::string>{"cell/bin/corvantis.dat"}, files());
    EXPECT_EQ(other, test::readFile(scratch));
    EXPECT_TRUE(holds(told_.str(), "store not opened (" + store + ": "));
  }
}

// Also a store that could not be opened at first (its directory was missing) and can be
// at the update is written only under its own lock (while another check holds it,
// nothing is written), and from what it holds at that moment.
TEST_F(ReferenceStoreTest, UpdateHoldsTheLockOfTheStoreItWrites) {
  const std::string before = "a.bmp,1,1,1,1,1,1\r\n";
  std::filesystem::remove_all(dir_.file("cell/robots"));
  ReferenceStore& store = reopen();
  put(before);
  std::unique_ptr<FileLock> other;
  ASSERT_TRUE(platform_.lockFile(storeLockPath(storePath_), 0, &other).ok());
  store.update("part.bmp", kValues, 1700000000);
  EXPECT_EQ(before, onDisk());
  EXPECT_TRUE(holds(told_.str(), "part.bmp not stored ("));
  other.reset();
  store.update("part.bmp", kValues, 1700000000);
  EXPECT_EQ(before + kRecord, onDisk());
  EXPECT_TRUE(platform_.lockFile(storeLockPath(storePath_), 0, &other).ok());
}

// The store holds whole seconds: a reference of the current second may still be
// rewritten within it under the same time, so its record waits for the next check. A
// time ahead of the clock is told, as every check computes that reference until then.
TEST_F(ReferenceStoreTest, RecordIsStoredOnlyOnceItsSecondHasPassed) {
  const struct {
    std::uint64_t time;
    bool stored;
    const char* told;
  } cases[] = {
      {1699999999, true, ""},
      {1700000000, false, ""},
      {1700000100, false, "its file time lies 100 s ahead of the clock"},
  };
  platform_.setCurrentTime(1700000000);
  for (const auto& c : cases) {
    put("");
    told_.str("");
    reopen().update("part.bmp", kValues, c.time);
    EXPECT_EQ(c.stored ? formatRecord("part.bmp", kValues, c.time) : "", onDisk()) << c.time;
    EXPECT_EQ(std::string(c.told).empty(), told_.str().empty()) << told_.str();
    EXPECT_TRUE(holds(told_.str(), c.told));
  }
}

// Calls `between` once, at the first rename this platform is asked for, in place of it.
class InterleavedPlatform : public test::TestPlatform {
 public:
  mutable std::function<std::optional<Status>(const std::string& from)> between;

 protected:
  std::optional<Status> fault(const std::string& op, const std::string& path) const override {
    if (op != "replaceFile" || !between) return TestPlatform::fault(op, path);
    const auto once = std::move(between);
    between = nullptr;
    return once(path);
  }
};

// Robots in containers of their own share the cell's var/tmp and may both be process 4.
// Check Y of R2 writes its temporary file after X of R1 has written its own, X renames
// its file before Y does: each store still gets its own robot's record.
TEST_F(ReferenceStoreTest, UpdatesOfProcessesWithOneIdNeverMeet) {
  const std::string r2 = dir_.file("cell/robots/R2/corvantis.dat");
  std::filesystem::create_directories(dir_.file("cell/robots/R2"));
  const FeatureVector values2 = {1, 2, 3, 4, 5};
  InterleavedPlatform x, y;
  x.setProcessId(4);
  y.setProcessId(4);
  ReferenceStore storeX(storePath_, temp_, x, told_), storeY(r2, temp_, y, told_);
  x.between = [&](const std::string& fromX) {
    y.between = [&, fromX](const std::string&) -> std::optional<Status> {
      EXPECT_TRUE(defaultPlatform().replaceFile(fromX, storePath_).ok());
      return std::nullopt;  // then Y's own rename
    };
    storeY.update("part.bmp", values2, 1700000000);
    return Status::success();  // X's rename is made within Y's update
  };
  storeX.update("part.bmp", kValues, 1700000000);
  EXPECT_EQ(kRecord, onDisk());
  EXPECT_EQ(formatRecord("part.bmp", values2, 1700000000), test::readFile(r2));
  EXPECT_EQ((std::vector<std::string>{
                "cell/robots/R1/corvantis.dat", "cell/robots/R1/corvantis.dat.lock",
                "cell/robots/R2/corvantis.dat", "cell/robots/R2/corvantis.dat.lock"}),
            files());
  EXPECT_EQ("", told_.str());
}

// Temporary files of updates that were killed: gone once they are older than a minute,
// whatever their names say about a process, as an id of another container says
// nothing here. Those of live updates and other files stay.
TEST_F(ReferenceStoreTest, UpdateRemovesOnlyTemporaryFilesOlderThanAMinute) {
  const std::string self = std::to_string(platform_.processId());
  const std::string beside = storePath_ + ".tmp.";
  const struct {
    std::string path;
    int age;  // seconds
    bool stays;
  } files[] = {
      {temp_ + "." + self, 0, true},  // a live update of another container's process
      {temp_ + ".4", 0, true},
      {temp_ + ".7", 61, false},  // left by an earlier version
      {temp_ + ".k3x9q0a7m2z1", 60, true},
      {temp_ + ".k3x9q0a7m2z2", 61, false},
      {beside + "k3x9q0a7m2z3", 0, true},
      {beside + "k3x9q0a7m2z4", 61, false},
      {storePath_ + ".7.tmp", 61, false},  // an earlier version's, beside the store
      {storeLockPath(storePath_), 999, true},
      {temp_, 999, true},  // names of other programs
      {temp_ + ".K3X9Q0A7M2Z5", 999, true},
      {dir_.file("cell/var/tmp/other.4"), 999, true},
  };
  test::writeFile(files[0].path, "leftover");
  const auto written = std::filesystem::last_write_time(files[0].path);
  platform_.setCurrentTime(platform_.fileTime(files[0].path));
  for (const auto& f : files) {
    test::writeFile(f.path, "leftover");
    std::filesystem::last_write_time(f.path, written - std::chrono::seconds(f.age));
  }
  reopen().update("part.bmp", kValues, 1700000000);
  EXPECT_EQ(kRecord, onDisk());
  for (const auto& f : files) EXPECT_EQ(f.stays, std::filesystem::exists(f.path)) << f.path;
}

}  // namespace
}  // namespace corvantis
