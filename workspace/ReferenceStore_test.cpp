#include "workspace/ReferenceStore.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "test/FakePlatform.h"
#include "test/TestUtil.h"

namespace corvantis {
namespace {

using Op = test::FakePlatform::Op;
using test::holds;

constexpr char kStore[] = "/cell/robots/R1/corvantis.dat";
constexpr char kTemp[] = "/cell/var/tmp/a_kivro.tmp";
constexpr char kScratch[] = "/cell/bin/corvantis.dat";
// An update leaves the lock file beside the store: removing it would let two checks
// lock different files of the same name.
const std::vector<std::string> kStoreAndLock = {kStore, "/cell/robots/R1/corvantis.dat.lock"};

const FeatureVector kValues = {937, 312, 4, 123.456, 17.5};
const std::string kRecord = "part.bmp,1700000000,937,312,4,123.456,17.5\r\n";

class ReferenceStoreTest : public ::testing::Test {
 protected:
  ReferenceStoreTest() {
    platform_.addDirectory("/cell/robots/R1");
    platform_.addDirectory("/cell/var/tmp");
  }

  // A store freshly opened on what is on disk now, as a new check sees it.
  ReferenceStore& reopen() {
    store_ = std::make_unique<ReferenceStore>(kStore, kTemp, platform_, diagnostics_);
    return *store_;
  }
  std::string onDisk() const { return platform_.contentOf(kStore).value_or("<missing>"); }

  test::FakePlatform platform_;
  std::ostringstream diagnostics_;
  std::unique_ptr<ReferenceStore> store_;
};

TEST_F(ReferenceStoreTest, LookupFindsTheFirstCompleteRecordOfExactlyTheKey) {
  const FeatureVector none, ones(5, 1.0), count = {1, 2, 3, 4, 5};
  const struct {
    const char* name;
    std::string store;
    std::string key;
    FeatureVector values;
    std::uint64_t time;
  } cases[] = {
      {"comments", "; part.bmp,1,1,1,1,1,1\r\n\r\nx\r\npart.bmp,3,1,2,3,4,5\r\n", "part.bmp", count,
       3},
      {"another key first", "mypart.bmp,2,2,2,2,2,2\r\npart.bmp,1,1,1,1,1,1\r\n", "part.bmp", ones,
       1},
      {"of duplicates the first is read", "part.bmp,100,1,1,1,1,1\r\npart.bmp,200,2,2,2,2,2\r\n",
       "part.bmp", ones, 100},
      {"bad time reads on", "part.bmp,abc,1,2,3,4,5\r\npart.bmp,200,1,2,3,4,5\r\n", "part.bmp",
       count, 200},
      {"six values are missing", "part.bmp,1,1,2,3,4,5,6\r\n", "part.bmp", none, 0},
      {"a ';' key is never found", ";odd.bmp,1,1,2,3,4,5\r\n", ";odd.bmp", none, 0},
      {"a key with a comma is never found", "part,1.png,1,1,2,3,4,5\r\n", "part,1.png", none, 0},
  };
  for (const auto& c : cases) {
    platform_.putFile(kStore, c.store);
    ReferenceStore& store = reopen();
    EXPECT_EQ(c.values, store.lookup(c.key)) << c.name;
    EXPECT_EQ(c.time, store.storedTime(c.key)) << c.name;
  }
}

TEST_F(ReferenceStoreTest, RemoveTakesOutEveryLineOfTheKeyAndLeavesTheRestAsItIs) {
  const std::string others = "; note\r\nmypart.bmp,2,2,2,2,2,2\r\nx\r\n";
  for (const std::string& store :
       {"part.bmp,1,1,1,1,1,1\r\n" + others, others + "part.bmp,1,1\r\npart.bmp,2", others}) {
    platform_.putFile(kStore, store);
    EXPECT_EQ(store != others, reopen().remove("part.bmp")) << store;
    EXPECT_EQ(others, onDisk());
    EXPECT_EQ(kStoreAndLock, platform_.fileNames());
  }
  EXPECT_TRUE(holds(diagnostics_.str(), "no record of part.bmp"));
  // A record that cannot be taken out is still there.
  platform_.putFile(kStore, "part.bmp,1,1,1,1,1,1\r\n");
  platform_.failOn(Op::replaceFile);
  EXPECT_FALSE(reopen().remove("part.bmp"));
  EXPECT_EQ("part.bmp,1,1,1,1,1,1\r\n", onDisk());
}

// Each case on a cell of its own: the store is replaced completely or stays as it was,
// and no temporary file is left behind either way.
TEST_F(ReferenceStoreTest, UpdateReplacesTheStoreWholeOrNotAtAll) {
  const std::string before = "a.bmp,1,1,1,1,1,1\r\npart.bmp,1,0,0,0,0,0\r\n\r\n";
  const std::string after = "a.bmp,1,1,1,1,1,1\r\n" + kRecord;
  const struct {
    const char* name;
    bool tempDir;  // var/tmp exists; without it the temporary file goes beside the store
    Op op;
    const char* pathPart;
    const char* reason;  // nullptr: no failure
    bool updated;
  } cases[] = {
      {"no temporary directory", false, Op::readFile, "", nullptr, true},
      {"rename across file systems", true, Op::replaceFile, "/cell/var/tmp", "cross-device", true},
      {"no temporary file possible", true, Op::writeNewFile, "", "No space left", false},
      {"every rename fails", true, Op::replaceFile, "", "Access denied", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::FakePlatform platform;
    platform.putFile(kStore, before);
    if (c.tempDir) platform.addDirectory("/cell/var/tmp");
    if (c.reason != nullptr) platform.failOn(c.op, c.pathPart, c.reason);
    std::ostringstream told;
    ReferenceStore(kStore, kTemp, platform, told).update("part.bmp", kValues, 1700000000);
    EXPECT_EQ(c.updated ? after : before, platform.contentOf(kStore));
    EXPECT_EQ(kStoreAndLock, platform.fileNames());
    if (!c.updated) {
      EXPECT_TRUE(holds(told.str(), "not updated"));
      EXPECT_TRUE(holds(told.str(), c.reason));
    }
  }
}

// Such a key would make its record another key's (part,1.png's line belongs to part) or
// a comment; it is computed again in every check instead.
TEST_F(ReferenceStoreTest, KeysTheRecordCannotHoldAreNeverStored) {
  const std::string before = "part,1700000000,1,1,1,1,1\r\n";
  const struct {
    std::string key;
    const char* told;
  } cases[] = {
      {"1.png", "4 values instead of 5"},  // fewer values than a record holds
      {"part,1.png", "holds a comma"},
      {";odd.bmp", "begins with ';'"},
      {"evil\nforged.bmp", "holds a line end"},
  };
  for (const auto& c : cases) {
    platform_.putFile(kStore, before);
    std::ostringstream told;
    ReferenceStore(kStore, kTemp, platform_, told)
        .update(c.key, c.key == "1.png" ? FeatureVector{1, 2, 3, 4} : kValues, 1700000001);
    EXPECT_EQ(before, onDisk()) << c.key;
    EXPECT_TRUE(holds(told.str(), c.told));
  }
  EXPECT_EQ(1700000000u, reopen().storedTime("part"));
}

// In the working directory may lie another robot's real store: an unopenable store is
// replaced by an empty one in memory, and no file is deleted, created or written.
TEST_F(ReferenceStoreTest, UnopenableStoreIsAnEmptyOneInMemory) {
  const std::string other = "part.bmp,1,1,1,1,1,1\r\n";
  for (const char* store : {kStore, kScratch}) {
    SCOPED_TRACE(store);
    test::FakePlatform platform;
    platform.addDirectory("/cell/var/tmp");
    platform.putFile(kScratch, other);
    platform.failOn(Op::createFile, store, "Permission denied");
    platform.failOn(Op::readFile, store, "Permission denied");
    std::ostringstream told;
    ReferenceStore scratch(store, kTemp, platform, told);
    EXPECT_TRUE(scratch.lookup("part.bmp").empty());
    scratch.update("part.bmp", kValues, 1700000000);
    EXPECT_EQ(std::vector<std::string>{kScratch}, platform.fileNames());
    EXPECT_EQ(other, platform.contentOf(kScratch));
    EXPECT_TRUE(
        holds(told.str(), "store not opened (" + std::string(store) + ": Permission denied)"));
  }
}

// Also a store that could not be opened at first and can be at the update is written
// only under its own lock (while another check holds it, nothing is written), and from
// what it holds at that moment.
TEST_F(ReferenceStoreTest, UpdateHoldsTheLockOfTheStoreItWrites) {
  const std::string before = "a.bmp,1,1,1,1,1,1\r\n";
  platform_.putFile(kStore, before);
  platform_.failOn(Op::readFile, kStore);
  ReferenceStore& store = reopen();
  platform_.clearFaults();
  std::unique_ptr<FileLock> other;
  ASSERT_TRUE(platform_.lockFile(storeLockPath(kStore), 0, &other).ok());
  store.update("part.bmp", kValues, 1700000000);
  EXPECT_EQ(before, onDisk());
  EXPECT_TRUE(holds(diagnostics_.str(), "part.bmp not stored ("));
  other.reset();
  store.update("part.bmp", kValues, 1700000000);
  EXPECT_EQ(before + kRecord, onDisk());
  EXPECT_FALSE(platform_.isLocked(storeLockPath(kStore)));
}

// Temporary files of updates that were killed: gone once their process has ended or
// they are older than a minute; those of running checks and other files stay.
TEST_F(ReferenceStoreTest, UpdateRemovesAbandonedTemporaryFiles) {
  const std::uint64_t now = 1700000000;
  const struct {
    std::string path;
    std::uint64_t time;
    bool stays;
  } files[] = {
      {std::string(kTemp) + ".4242", now, false},     // this check's own, in its way
      {std::string(kTemp) + ".77", now, false},       // its process has ended
      {std::string(kTemp) + ".78", now - 30, true},   // a running check's
      {std::string(kTemp) + ".79", now - 61, false},  // running id, but too old
      {std::string(kStore) + ".77.tmp", now, false},  // beside the store
      {std::string(kStore) + ".78.tmp", now, true},
      {std::string(kTemp) + ".keep", now - 999, true},  // no process id
      {"/cell/var/tmp/other.77", now - 999, true},
  };
  platform_.setCurrentTime(now);
  platform_.addProcess(78);
  platform_.addProcess(79);
  for (const auto& f : files) {
    platform_.putFile(f.path, "leftover");
    platform_.setFileTime(f.path, f.time);
  }
  reopen().update("part.bmp", kValues, now);
  EXPECT_EQ(kRecord, onDisk());
  for (const auto& f : files) EXPECT_EQ(f.stays, platform_.contentOf(f.path).has_value()) << f.path;
}

TEST_F(ReferenceStoreTest, StoreCutAtAnyLengthGivesACompleteRecordOrNone) {
  const std::string first = "a.bmp,1700000000,937,312,4,123.456,0.66666666666666663\r\n";
  const std::string full = first + "part.bmp,1700000001,1024,160,7,45.5,17.25\r\n";
  for (std::size_t length = 0; length <= full.size(); ++length) {
    platform_.putFile(kStore, full.substr(0, length));
    const FeatureVector a = reopen().lookup("a.bmp");
    const FeatureVector part = reopen().lookup("part.bmp");
    SCOPED_TRACE("cut at " + std::to_string(length));
    EXPECT_TRUE(a.empty() || a.size() == kFeatureCount);
    EXPECT_TRUE(part.empty() || part.size() == kFeatureCount);
    EXPECT_TRUE(length < first.size() - 2 || a == FeatureVector({937, 312, 4, 123.456, 2.0 / 3.0}));
    EXPECT_TRUE(length < full.size() - 2 || part == FeatureVector({1024, 160, 7, 45.5, 17.25}));
    EXPECT_TRUE(length >= first.size() || part.empty());
  }
}

}  // namespace
}  // namespace corvantis
