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

TEST_F(ReferenceStoreTest, KeyThatLooksLikeACommentIsStoredAndReplaced) {
  reopen().update(";odd.bmp", kValues, 5);
  reopen().update(";odd.bmp", kValues, 6);
  EXPECT_EQ(";odd.bmp,6,937,312,4,123.456,17.5\r\n", onDisk());
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

TEST_F(ReferenceStoreTest, KeyWithALineEndOrFewerThanFiveValuesAreNeverWritten) {
  platform_.putFile(kStore, "part.bmp,1,1,1,1,1,1\r\n");
  reopen().update("evil\r\nforged.bmp", kValues, 1);
  reopen().update("evil\nforged.bmp", kValues, 1);
  EXPECT_NE(std::string::npos, diagnostics_.str().find("not stored"));
  reopen().update("part.bmp", {1, 2, 3, 4}, 9);
  EXPECT_EQ("part.bmp,1,1,1,1,1,1\r\n", onDisk());
}

TEST_F(ReferenceStoreTest, MissingTemporaryDirectoryFallsBackBesideTheStore) {
  test::FakePlatform platform;
  platform.addDirectory("/cell/robots/R1");
  platform.putFile(kStore, "a.bmp,1,1,1,1,1,1\r\n");
  ReferenceStore(kStore, kTemp, platform, diagnostics_).update("a.bmp", kValues, 7);
  EXPECT_EQ("a.bmp,7,937,312,4,123.456,17.5\r\n", platform.contentOf(kStore));
  EXPECT_EQ(kStoreAndLock, platform.fileNames());
}

TEST_F(ReferenceStoreTest, UnopenableStoreFallsBackToAnEmptyScratchStore) {
  platform_.putFile(kScratch, "part.bmp,1,1,1,1,1,1\r\n");  // left by an earlier check
  platform_.failOn(Op::createFile, kStore, "Permission denied");
  ReferenceStore& store = reopen();
  EXPECT_TRUE(store.lookup("part.bmp").empty());
  store.update("part.bmp", kValues, 1700000000);
  EXPECT_EQ(kRecord, platform_.contentOf(kScratch));
  EXPECT_FALSE(platform_.contentOf(kStore));
  EXPECT_NE(std::string::npos, diagnostics_.str().find("Permission denied"));
}

TEST_F(ReferenceStoreTest, WithNoStoreAtAllLookupsFindNothingAndWritesAreLost) {
  platform_.failOn(Op::createFile);
  ReferenceStore& store = reopen();
  EXPECT_TRUE(store.lookup("part.bmp").empty());
  store.update("part.bmp", kValues, 1700000000);
  EXPECT_EQ(std::vector<std::string>{}, platform_.fileNames());
  EXPECT_NE(std::string::npos, diagnostics_.str().find("no store"));
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
