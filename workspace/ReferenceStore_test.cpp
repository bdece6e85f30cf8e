#include "workspace/ReferenceStore.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <sstream>

#include "test/TestPlatform.h"
#include "test/TestUtil.h"

namespace corvantis {
namespace {

using Op = test::TestPlatform::Op;
using test::holds;

// An update leaves the lock file beside the store: removing it would let two checks
// lock different files of the same name.
const std::vector<std::string> kStoreAndLock = {"cell/robots/R1/corvantis.dat",
                                                "cell/robots/R1/corvantis.dat.lock"};

const FeatureVector kValues = {937, 312, 4, 123.456, 17.5};
const std::string kRecord = "part.bmp,1700000000,937,312,4,123.456,17.5\r\n";

// A cell in a directory of its own; `withTemp`: with the preferred temporary directory.
struct Cell {
  explicit Cell(bool withTemp = true) {
    std::filesystem::create_directories(dir.file("cell/robots/R1"));
    if (withTemp) std::filesystem::create_directories(dir.file("cell/var/tmp"));
  }
  std::string onDisk() const { return test::readFile(store); }
  std::vector<std::string> files() const { return test::filesBelow(dir.path().string()); }

  test::TempDir dir;
  const std::string store = dir.file("cell/robots/R1/corvantis.dat");
  const std::string temp = dir.file("cell/var/tmp/a_kivro.tmp");
  const std::string scratch = dir.file("cell/bin/corvantis.dat");
  test::TestPlatform platform;
};

class ReferenceStoreTest : public ::testing::Test {
 protected:
  // A store freshly opened on what is on disk now, as a new check sees it.
  ReferenceStore& reopen() {
    store_ = std::make_unique<ReferenceStore>(cell_.store, cell_.temp, cell_.platform, told_);
    return *store_;
  }
  void put(const std::string& content) const { test::writeFile(cell_.store, content); }

  Cell cell_;
  test::TestPlatform& platform_ = cell_.platform;
  std::ostringstream told_;
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
    put(c.store);
    ReferenceStore& store = reopen();
    EXPECT_EQ(c.values, store.lookup(c.key)) << c.name;
    EXPECT_EQ(c.time, store.storedTime(c.key)) << c.name;
  }
}

TEST_F(ReferenceStoreTest, RemoveTakesOutEveryLineOfTheKeyAndLeavesTheRestAsItIs) {
  const std::string others = "; note\r\nmypart.bmp,2,2,2,2,2,2\r\nx\r\n";
  for (const std::string& store :
       {"part.bmp,1,1,1,1,1,1\r\n" + others, others + "part.bmp,1,1\r\npart.bmp,2", others}) {
    put(store);
    EXPECT_EQ(store != others, reopen().remove("part.bmp")) << store;
    EXPECT_EQ(others, cell_.onDisk());
    EXPECT_EQ(kStoreAndLock, cell_.files());
  }
  EXPECT_TRUE(holds(told_.str(), "no record of part.bmp"));
  // A record that cannot be taken out is still there.
  put("part.bmp,1,1,1,1,1,1\r\n");
  platform_.failOn(Op::replaceFile);
  EXPECT_FALSE(reopen().remove("part.bmp"));
  EXPECT_EQ("part.bmp,1,1,1,1,1,1\r\n", cell_.onDisk());
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
    const char* reason;  // empty: no failure
    bool updated;
  } cases[] = {
      {"no temporary directory", false, Op::readFile, "", "", true},
      {"rename across file systems", true, Op::replaceFile, "a_kivro", "cross-device", true},
      {"no temporary file possible", true, Op::writeNewFile, "", "No space left", false},
      {"every rename fails", true, Op::replaceFile, "", "Access denied", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Cell cell(c.tempDir);
    test::writeFile(cell.store, before);
    if (*c.reason != '\0') cell.platform.failOn(c.op, c.pathPart, c.reason);
    std::ostringstream told;
    ReferenceStore(cell.store, cell.temp, cell.platform, told)
        .update("part.bmp", kValues, 1700000000);
    EXPECT_EQ(c.updated ? after : before, cell.onDisk());
    EXPECT_EQ(kStoreAndLock, cell.files());
    EXPECT_EQ(c.updated, !holds(told.str(), "not updated"));
    EXPECT_TRUE(holds(told.str(), c.updated ? "" : c.reason));
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
    put(before);
    std::ostringstream told;
    ReferenceStore(cell_.store, cell_.temp, platform_, told)
        .update(c.key, c.key == "1.png" ? FeatureVector{1, 2, 3, 4} : kValues, 1700000001);
    EXPECT_EQ(before, cell_.onDisk()) << c.key;
    EXPECT_TRUE(holds(told.str(), c.told));
  }
  EXPECT_EQ(1700000000u, reopen().storedTime("part"));
}

// In the working directory may lie another robot's real store: an unopenable store (in a
// mistyped robot folder, or unreadable) is replaced by an empty one in memory, and no
// file is deleted, created or written.
TEST_F(ReferenceStoreTest, UnopenableStoreIsAnEmptyOneInMemory) {
  const std::string other = "part.bmp,1,1,1,1,1,1\r\n";
  for (const bool mistyped : {true, false}) {
    Cell cell;
    test::writeFile(cell.scratch, other);
    const std::string store =
        mistyped ? cell.dir.file("cell/robots/R2/corvantis.dat") : cell.scratch;
    SCOPED_TRACE(store);
    if (!mistyped)  // unreadable, in a directory that cannot be written either
      for (const Op op : {Op::createFile, Op::readFile, Op::lockFile})
        cell.platform.failOn(op, store, "Permission denied");
    std::ostringstream told;
    ReferenceStore scratch(store, cell.temp, cell.platform, told);
    EXPECT_TRUE(scratch.lookup("part.bmp").empty());
    scratch.update("part.bmp", kValues, 1700000000);
    EXPECT_EQ(std::vector<std::string>{"cell/bin/corvantis.dat"}, cell.files());
    EXPECT_EQ(other, test::readFile(cell.scratch));
    EXPECT_TRUE(holds(told.str(), "store not opened (" + store + ": "));
  }
}

// Also a store that could not be opened at first and can be at the update is written
// only under its own lock (while another check holds it, nothing is written), and from
// what it holds at that moment.
TEST_F(ReferenceStoreTest, UpdateHoldsTheLockOfTheStoreItWrites) {
  const std::string before = "a.bmp,1,1,1,1,1,1\r\n";
  put(before);
  platform_.failOn(Op::readFile, cell_.store);
  ReferenceStore& store = reopen();
  platform_.clearFaults();
  std::unique_ptr<FileLock> other;
  ASSERT_TRUE(platform_.lockFile(storeLockPath(cell_.store), 0, &other).ok());
  store.update("part.bmp", kValues, 1700000000);
  EXPECT_EQ(before, cell_.onDisk());
  EXPECT_TRUE(holds(told_.str(), "part.bmp not stored ("));
  other.reset();
  store.update("part.bmp", kValues, 1700000000);
  EXPECT_EQ(before + kRecord, cell_.onDisk());
  EXPECT_TRUE(platform_.lockFile(storeLockPath(cell_.store), 0, &other).ok());
}

// Temporary files of updates that were killed: gone once their process has ended or
// they are older than a minute; those of running checks and other files stay.
TEST_F(ReferenceStoreTest, UpdateRemovesAbandonedTemporaryFiles) {
  const std::uint64_t self = platform_.processId();
  const auto id = [&](std::uint64_t n) { return "." + std::to_string(n); };
  const struct {
    std::string path;
    int age;  // seconds
    bool stays;
  } files[] = {
      {cell_.temp + id(self), 0, false},                // this check's own, in its way
      {cell_.temp + id(self + 1), 0, false},            // its process has ended
      {cell_.temp + id(self + 2), 60, true},            // a running check's
      {cell_.temp + id(self + 3), 61, false},           // running id, but too old
      {cell_.store + id(self + 1) + ".tmp", 0, false},  // beside the store
      {cell_.store + id(self + 2) + ".tmp", 0, true},
      {cell_.temp + ".keep", 999, true},  // no process id
      {cell_.dir.file("cell/var/tmp/other") + id(self + 1), 999, true},
  };
  platform_.addProcess(self + 2);
  platform_.addProcess(self + 3);
  test::writeFile(files[0].path, "leftover");
  const auto written = std::filesystem::last_write_time(files[0].path);
  platform_.setCurrentTime(platform_.fileTime(files[0].path));
  for (const auto& f : files) {
    test::writeFile(f.path, "leftover");
    std::filesystem::last_write_time(f.path, written - std::chrono::seconds(f.age));
  }
  reopen().update("part.bmp", kValues, 1700000000);
  EXPECT_EQ(kRecord, cell_.onDisk());
  for (const auto& f : files) EXPECT_EQ(f.stays, std::filesystem::exists(f.path)) << f.path;
}

TEST_F(ReferenceStoreTest, StoreCutAtAnyLengthGivesACompleteRecordOrNone) {
  const std::string first = "a.bmp,1700000000,937,312,4,123.456,0.66666666666666663\r\n";
  const std::string full = first + "part.bmp,1700000001,1024,160,7,45.5,17.25\r\n";
  for (std::size_t length = 0; length <= full.size(); ++length) {
    put(full.substr(0, length));
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
