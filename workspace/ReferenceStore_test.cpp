#include "workspace/ReferenceStore.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <sstream>

#include "test/FakePlatform.h"

namespace corvantis {
namespace {

using Op = test::FakePlatform::Op;

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

TEST_F(ReferenceStoreTest, FirstRecordIsOneCrLfLineThatReadsBackExactly) {
  EXPECT_TRUE(reopen().lookup("part.bmp").empty());
  EXPECT_EQ("", onDisk());  // opening creates the store
  store_->update("part.bmp", kValues, 1700000000);
  EXPECT_EQ(kRecord, onDisk());
  EXPECT_EQ(kStoreAndLock, platform_.fileNames());  // no temporary file left
  EXPECT_EQ("", diagnostics_.str());

  const FeatureVector values = {1234, 160, 7, 2.0 / 3.0, 0.1 + 0.2};
  reopen().update("part.bmp", values, 1700000001);
  EXPECT_EQ(values, reopen().lookup("part.bmp"));
  EXPECT_EQ(1700000001u, store_->storedTime("part.bmp"));
}

TEST_F(ReferenceStoreTest, LookupFindsTheFirstCompleteRecordOfExactlyTheKey) {
  const std::string shared = "part.bmp,1,1,1,1,1,1\r\nmypart.bmp,2,2,2,2,2,2\r\n";
  const std::string swapped = "mypart.bmp,2,2,2,2,2,2\r\npart.bmp,1,1,1,1,1,1\r\n";
  const std::string twice =
      "part.bmp,100,1,1,1,1,1\r\nx.bmp,1,9,9,9,9,9\r\npart.bmp,200,2,2,2,2,2\r\n";
  const FeatureVector none, ones(5, 1.0), twos(5, 2.0), count = {1, 2, 3, 4, 5};
  const struct {
    const char* name;
    std::string store;
    std::string key;
    FeatureVector values;
    std::uint64_t time;
  } cases[] = {
      {"comments", "; part.bmp,1,1,1,1,1,1\r\n\r\nx\r\npart.bmp,3,1,2,3,4,5\r\n", "part.bmp", count,
       3},
      {"shared suffix, shorter first", shared, "part.bmp", ones, 1},
      {"shared suffix, shorter first, longer key", shared, "mypart.bmp", twos, 2},
      {"shared suffix, longer first", swapped, "part.bmp", ones, 1},
      {"shared suffix, longer first, longer key", swapped, "mypart.bmp", twos, 2},
      {"key must end at the comma", "part.bmpx,1,1,1,1,1,1\r\n", "part.bmp", none, 0},
      {"key is case-sensitive", "Part.bmp,1,1,1,1,1,1\r\n", "part.bmp", none, 0},
      {"of duplicates the first is read", twice, "part.bmp", ones, 100},
      {"bad time reads on", "part.bmp,abc,1,2,3,4,5\r\npart.bmp,200,1,2,3,4,5\r\n", "part.bmp",
       count, 200},
      {"abc reads as -1", "part.bmp,1,937,abc,4,,17.5\r\n", "part.bmp", {937, -1, 4, -1, 17.5}, 1},
      {"four values are missing", "part.bmp,1,1,2,3,4\r\n", "part.bmp", none, 0},
      {"six values are missing", "part.bmp,1,1,2,3,4,5,6\r\n", "part.bmp", none, 0},
      {"time only is missing", "part.bmp,1\r\n", "part.bmp", none, 0},
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

TEST_F(ReferenceStoreTest, LookupReadsOnFromWhereTheLastOneStopped) {
  platform_.putFile(kStore, "a.bmp,1,1,1,1,1,1\r\nb.bmp,2,2,2,2,2,2\r\n");
  ReferenceStore& store = reopen();
  EXPECT_FALSE(store.lookup("b.bmp").empty());
  EXPECT_TRUE(store.lookup("a.bmp").empty());
  EXPECT_TRUE(store.lookup("missing.bmp").empty());
  EXPECT_TRUE(store.lookup("b.bmp").empty());
  EXPECT_EQ(0u, store.storedTime("b.bmp"));
}

TEST_F(ReferenceStoreTest, UpdateStartsFromTheStoreAsItIsOnDiskNowAndKeepsTheCache) {
  platform_.putFile(kStore, "a.bmp,1,1,1,1,1,1\r\nb.bmp,2,2,2,2,2,2\r\n");
  ReferenceStore& store = reopen();
  ASSERT_FALSE(store.lookup("a.bmp").empty());
  platform_.putFile(kStore, "other.bmp,1,1,1,1,1,1\r\n");  // written by another check meanwhile
  store.update("part.bmp", kValues, 1700000000);
  EXPECT_EQ("other.bmp,1,1,1,1,1,1\r\n" + kRecord, onDisk());
  // Afterwards the store is closed: the cached record stays, nothing else is found.
  EXPECT_EQ(FeatureVector(5, 1.0), store.lookup("a.bmp"));
  EXPECT_TRUE(store.lookup("b.bmp").empty());
}

TEST_F(ReferenceStoreTest, RemoveTakesOutEveryLineOfTheKeyAndLeavesTheRestAsItIs) {
  const std::string others = "; note\r\nmypart.bmp,2,2,2,2,2,2\r\nx\r\n";
  const struct {
    const char* name;
    std::string store;
    bool removed;
    std::string after;
  } cases[] = {
      {"one record among others", "part.bmp,1,1,1,1,1,1\r\n" + others, true, others},
      {"duplicates, no final line end", others + "part.bmp,1,1\r\npart.bmp,2", true, others},
      {"absent", others, false, others},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    platform_.putFile(kStore, c.store);
    EXPECT_EQ(c.removed, reopen().remove("part.bmp"));
    EXPECT_EQ(c.after, onDisk());
    EXPECT_EQ(kStoreAndLock, platform_.fileNames());
  }
  EXPECT_NE(std::string::npos, diagnostics_.str().find("no record of part.bmp"))
      << diagnostics_.str();
}

TEST_F(ReferenceStoreTest, UpdateWhileAnotherCheckHoldsTheLockWritesNothingAndSaysSo) {
  const std::string before = "part.bmp,1,1,1,1,1,1\r\n";
  platform_.putFile(kStore, before);
  std::unique_ptr<FileLock> other;
  ASSERT_TRUE(platform_.lockFile(storeLockPath(kStore), 0, &other).ok());
  reopen().update("part.bmp", kValues, 1700000000);
  EXPECT_EQ(before, onDisk());
  EXPECT_NE(std::string::npos, diagnostics_.str().find("part.bmp not stored ("))
      << diagnostics_.str();

  other.reset();
  reopen().update("part.bmp", kValues, 1700000000);
  EXPECT_EQ(kRecord, onDisk());
  EXPECT_FALSE(platform_.isLocked(storeLockPath(kStore)));
}

// Each case on a cell of its own: the store is replaced completely or stays as it was,
// and no temporary file is left behind either way.
TEST_F(ReferenceStoreTest, UpdateReplacesTheStoreWholeOrNotAtAll) {
  const std::string before = "a.bmp,1,1,1,1,1,1\r\npart.bmp,1,0,0,0,0,0\r\n\r\n";
  const std::string after = "a.bmp,1,1,1,1,1,1\r\n" + kRecord;
  const struct {
    const char* name;
    bool leftover;  // a temporary file of the same process id is in the way
    Op op;
    const char* pathPart;
    const char* reason;  // nullptr: no failure
    bool updated;
  } cases[] = {
      {"leftover temporary file", true, Op::readFile, "", nullptr, true},
      {"rename across file systems", false, Op::replaceFile, "/cell/var/tmp", "cross-device", true},
      {"no temporary file possible", false, Op::writeNewFile, "", "No space left on device", false},
      {"every rename fails", false, Op::replaceFile, "", "Access denied", false},
  };
  for (const auto& c : cases) {
    test::FakePlatform platform;
    platform.addDirectory("/cell/robots/R1");
    platform.addDirectory("/cell/var/tmp");
    platform.putFile(kStore, before);
    if (c.leftover) platform.putFile(std::string(kTemp) + ".4242", "stale");
    if (c.reason != nullptr) platform.failOn(c.op, c.pathPart, c.reason);
    std::ostringstream told;
    ReferenceStore(kStore, kTemp, platform, told).update("part.bmp", kValues, 1700000000);
    EXPECT_EQ(c.updated ? after : before, platform.contentOf(kStore)) << c.name;
    EXPECT_EQ(kStoreAndLock, platform.fileNames()) << c.name;
    if (!c.updated) {
      EXPECT_NE(std::string::npos, told.str().find("not updated")) << c.name << ": " << told.str();
      EXPECT_NE(std::string::npos, told.str().find(c.reason)) << c.name << ": " << told.str();
    }
  }
}

TEST_F(ReferenceStoreTest, MissingTemporaryDirectoryFallsBackBesideTheStore) {
  test::FakePlatform platform;
  platform.addDirectory("/cell/robots/R1");
  platform.putFile(kStore, "a.bmp,1,1,1,1,1,1\r\n");
  ReferenceStore(kStore, kTemp, platform, diagnostics_).update("a.bmp", kValues, 7);
  EXPECT_EQ("a.bmp,7,937,312,4,123.456,17.5\r\n", platform.contentOf(kStore));
  EXPECT_EQ(kStoreAndLock, platform.fileNames());
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
      {"evil\r\nforged.bmp", "holds a line end"},
      {"evil\nforged.bmp", "holds a line end"},
  };
  for (const auto& c : cases) {
    platform_.putFile(kStore, before);
    std::ostringstream told;
    ReferenceStore(kStore, kTemp, platform_, told)
        .update(c.key, c.key == "1.png" ? FeatureVector{1, 2, 3, 4} : kValues, 1700000001);
    EXPECT_EQ(before, onDisk()) << c.key;
    EXPECT_NE(std::string::npos, told.str().find(c.told)) << c.key << ": " << told.str();
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
    EXPECT_EQ(0, platform.callCount(Op::deleteFile));
    EXPECT_NE(std::string::npos, told.str().find("store not opened")) << told.str();
    EXPECT_NE(std::string::npos, told.str().find("Permission denied")) << told.str();
  }
}

// A store that could not be opened at first and can be at the update is written only
// under its own lock.
TEST_F(ReferenceStoreTest, UpdateHoldsTheLockOfTheStoreItWrites) {
  const std::string before = "part.bmp,1,1,1,1,1,1\r\n";
  platform_.putFile(kStore, before);
  platform_.failOn(Op::readFile, kStore);
  ReferenceStore& store = reopen();
  platform_.clearFaults();
  std::unique_ptr<FileLock> other;
  ASSERT_TRUE(platform_.lockFile(storeLockPath(kStore), 0, &other).ok());
  store.update("part.bmp", kValues, 1700000000);
  EXPECT_EQ(before, onDisk());
  other.reset();
  reopen().update("part.bmp", kValues, 1700000000);
  EXPECT_EQ(kRecord, onDisk());
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
  const std::string second = "part.bmp,1700000001,1024,160,7,45.5,17.25\r\n";
  const std::string full = first + second;
  for (std::size_t length = 0; length <= full.size(); ++length) {
    platform_.putFile(kStore, full.substr(0, length));
    const FeatureVector a = reopen().lookup("a.bmp");
    const FeatureVector part = reopen().lookup("part.bmp");
    EXPECT_TRUE(a.empty() || a.size() == kFeatureCount) << "cut at " << length;
    EXPECT_TRUE(part.empty() || part.size() == kFeatureCount) << "cut at " << length;
    if (length >= first.size() - 2) {
      EXPECT_EQ((FeatureVector{937, 312, 4, 123.456, 2.0 / 3.0}), a) << "cut at " << length;
    }
    if (length >= full.size() - 2) {
      EXPECT_EQ((FeatureVector{1024, 160, 7, 45.5, 17.25}), part) << "cut at " << length;
    }
    if (length < first.size()) {
      EXPECT_TRUE(part.empty()) << "cut at " << length;
    }
  }
}

}  // namespace
}  // namespace corvantis
