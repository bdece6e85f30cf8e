#include "workspace/ReferenceStore.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "workspace/FakePlatform.h"

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

TEST_F(ReferenceStoreTest, FirstRecordOfAnEmptyStoreIsOneCrLfLine) {
  ReferenceStore& store = reopen();
  EXPECT_EQ("", onDisk());  // opening creates the store
  EXPECT_TRUE(store.lookup("part.bmp").empty());
  store.update("part.bmp", kValues, 1700000000);
  EXPECT_EQ(kRecord, onDisk());
  EXPECT_EQ(kStoreAndLock, platform_.fileNames());  // no temporary file left
  EXPECT_EQ("", diagnostics_.str());
}

TEST_F(ReferenceStoreTest, LookupReturnsTheStoredDoublesExactly) {
  const FeatureVector values = {1234, 160, 7, 2.0 / 3.0, 0.1 + 0.2};
  reopen().update("part.bmp", values, 1700000000);
  ReferenceStore& store = reopen();
  EXPECT_EQ(values, store.lookup("part.bmp"));
  EXPECT_EQ(1700000000u, store.storedTime("part.bmp"));
}

TEST_F(ReferenceStoreTest, StoredTimeOfTheLookedUpKeyComesFromTheCache) {
  // Were the store read on, the second record's time would show.
  platform_.putFile(kStore, "part.bmp,100,1,2,3,4,5\r\npart.bmp,200,1,2,3,4,5\r\n");
  ReferenceStore& store = reopen();
  ASSERT_FALSE(store.lookup("part.bmp").empty());
  EXPECT_EQ(100u, store.storedTime("part.bmp"));
  EXPECT_EQ(100u, store.storedTime("part.bmp"));
  EXPECT_EQ(1, platform_.callCount(Op::readFile));
}

TEST_F(ReferenceStoreTest, StoredTimeOfZeroReadsOnFromWhereTheLookupStopped) {
  platform_.putFile(kStore, "part.bmp,abc,1,2,3,4,5\r\npart.bmp,200,1,2,3,4,5\r\n");
  ReferenceStore& store = reopen();
  EXPECT_EQ((FeatureVector{1, 2, 3, 4, 5}), store.lookup("part.bmp"));
  EXPECT_EQ(200u, store.storedTime("part.bmp"));
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

TEST_F(ReferenceStoreTest, KeysThatEndAlikeAreKeptApart) {
  // Which record the update touches is decided by the same rule, in StoreRecord_test.
  for (const std::string content : {"part.bmp,1,1,1,1,1,1\r\nmypart.bmp,2,2,2,2,2,2\r\n",
                                    "mypart.bmp,2,2,2,2,2,2\r\npart.bmp,1,1,1,1,1,1\r\n"}) {
    platform_.putFile(kStore, content);
    EXPECT_EQ(FeatureVector(5, 1.0), reopen().lookup("part.bmp")) << content;
    EXPECT_EQ(FeatureVector(5, 2.0), reopen().lookup("mypart.bmp")) << content;
  }
}

TEST_F(ReferenceStoreTest, KeyThatLooksLikeACommentIsStoredButNeverFound) {
  ReferenceStore& store = reopen();
  store.update(";odd.bmp", kValues, 5);
  EXPECT_TRUE(reopen().lookup(";odd.bmp").empty());
  reopen().update(";odd.bmp", kValues, 6);
  EXPECT_EQ(";odd.bmp,6,937,312,4,123.456,17.5\r\n", onDisk());
}

TEST_F(ReferenceStoreTest, OfDuplicateRecordsTheFirstIsRead) {
  platform_.putFile(kStore,
                    "part.bmp,1,1,1,1,1,1\r\nx.bmp,1,9,9,9,9,9\r\npart.bmp,2,2,2,2,2,2\r\n");
  EXPECT_EQ(FeatureVector(5, 1.0), reopen().lookup("part.bmp"));
}

TEST_F(ReferenceStoreTest, ValueThatIsNoNumberReadsAsMinusOne) {
  platform_.putFile(kStore, "part.bmp,1,937,abc,4,,17.5\r\n");
  EXPECT_EQ((FeatureVector{937, -1, 4, -1, 17.5}), reopen().lookup("part.bmp"));
}

TEST_F(ReferenceStoreTest, RecordWithoutExactlyFiveValuesIsMissing) {
  for (const std::string record :
       {"part.bmp,1,1,2,3,4\r\n", "part.bmp,1,1,2,3,4,5,6\r\n", "part.bmp,1\r\n"}) {
    platform_.putFile(kStore, record);
    ReferenceStore& store = reopen();
    EXPECT_TRUE(store.lookup("part.bmp").empty()) << record;
    EXPECT_EQ(0u, store.storedTime("part.bmp")) << record;
    store.update("part.bmp", kValues, 1700000000);
    EXPECT_EQ(kRecord, onDisk()) << record;
  }
}

TEST_F(ReferenceStoreTest, UpdateStartsFromTheStoreAsItIsOnDiskNow) {
  ReferenceStore& store = reopen();
  platform_.putFile(kStore, "other.bmp,1,1,1,1,1,1\r\n");  // written by another check meanwhile
  store.update("part.bmp", kValues, 1700000000);
  EXPECT_EQ("other.bmp,1,1,1,1,1,1\r\n" + kRecord, onDisk());
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

TEST_F(ReferenceStoreTest, AfterAnUpdateTheStoreIsClosedAndTheCacheStays) {
  platform_.putFile(kStore, "a.bmp,1,1,1,1,1,1\r\nb.bmp,2,2,2,2,2,2\r\n");
  ReferenceStore& store = reopen();
  ASSERT_FALSE(store.lookup("a.bmp").empty());
  store.update("part.bmp", kValues, 1700000000);
  EXPECT_EQ(FeatureVector(5, 1.0), store.lookup("a.bmp"));
  EXPECT_TRUE(store.lookup("b.bmp").empty());
}

TEST_F(ReferenceStoreTest, LeftoverTemporaryFileOfTheSameProcessIdIsReplaced) {
  platform_.putFile(std::string(kTemp) + ".4242", "stale");
  reopen().update("part.bmp", kValues, 1700000000);
  EXPECT_EQ(kRecord, onDisk());
  EXPECT_EQ(kStoreAndLock, platform_.fileNames());
}

TEST_F(ReferenceStoreTest, MissingTemporaryDirectoryFallsBackBesideTheStore) {
  test::FakePlatform platform;
  platform.addDirectory("/cell/robots/R1");
  platform.putFile(kStore, "a.bmp,1,1,1,1,1,1\r\n");
  ReferenceStore store(kStore, kTemp, platform, diagnostics_);
  store.update("a.bmp", kValues, 7);
  EXPECT_EQ("a.bmp,7,937,312,4,123.456,17.5\r\n", platform.contentOf(kStore));
  EXPECT_EQ(kStoreAndLock, platform.fileNames());
  EXPECT_EQ(2, platform.callCount(Op::writeNewFile));
}

TEST_F(ReferenceStoreTest, RenameAcrossFileSystemsFallsBackBesideTheStore) {
  platform_.failOn(Op::replaceFile, "/cell/var/tmp", "Invalid cross-device link");
  reopen().update("part.bmp", kValues, 1700000000);
  EXPECT_EQ(kRecord, onDisk());
  EXPECT_EQ(kStoreAndLock, platform_.fileNames());
}

TEST_F(ReferenceStoreTest, WithoutAnyTemporaryFileTheStoreStaysAsItWas) {
  const std::string before = "a.bmp,1,1,1,1,1,1\r\npart.bmp,1,0,0,0,0,0\r\n\r\n";
  platform_.putFile(kStore, before);
  platform_.failOn(Op::writeNewFile, "", "No space left on device");
  reopen().update("part.bmp", kValues, 1700000000);
  EXPECT_EQ(before, onDisk());
  EXPECT_EQ(kStoreAndLock, platform_.fileNames());
  const std::string told = diagnostics_.str();
  EXPECT_NE(std::string::npos, told.find("not updated")) << told;
  EXPECT_NE(std::string::npos, told.find("No space left on device")) << told;
}

TEST_F(ReferenceStoreTest, FailedRenameLeavesTheStoreAndNoTemporaryFile) {
  const std::string before = "a.bmp,1,1,1,1,1,1\r\n";
  platform_.putFile(kStore, before);
  platform_.failOn(Op::replaceFile);
  reopen().update("part.bmp", kValues, 1700000000);
  EXPECT_EQ(before, onDisk());
  EXPECT_EQ(kStoreAndLock, platform_.fileNames());
}

TEST_F(ReferenceStoreTest, KeyWithALineEndIsNeverWritten) {
  reopen().update("evil\r\nforged.bmp", kValues, 1);
  reopen().update("evil\nforged.bmp", kValues, 1);
  EXPECT_EQ("", onDisk());
  EXPECT_NE(std::string::npos, diagnostics_.str().find("not stored"));
}

TEST_F(ReferenceStoreTest, FewerThanFiveValuesWriteNothing) {
  platform_.putFile(kStore, "part.bmp,1,1,1,1,1,1\r\n");
  reopen().update("part.bmp", {1, 2, 3, 4}, 9);
  EXPECT_EQ("part.bmp,1,1,1,1,1,1\r\n", onDisk());
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
