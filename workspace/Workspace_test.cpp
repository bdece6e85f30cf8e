#include "workspace/Workspace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "test/FakePlatform.h"
#include "test/TestUtil.h"

namespace corvantis {
namespace {

const std::string kSep = kPathSeparator;
const FeatureVector kValues = {937, 312, 4, 123.456, 17.5};
const std::string kRecord = "part.bmp,1700000000,937,312,4,123.456,17.5\r\n";

class WorkspaceTest : public ::testing::Test {
 protected:
  WorkspaceTest() { platform_.addDirectory("/cell/robots/R1/debug"); }

  test::FakePlatform platform_;
  std::ostringstream diagnostics_;
};

TEST_F(WorkspaceTest, PathsDeriveFromTheReferencePathAndTheWorkingDirectory) {
  const std::string journal = kSep + "debug" + kSep + "corvantis.log";
  const struct {
    std::string cwd, reference, baseDir, journalPath, tempRoot, storePath;
  } cases[] = {
      {"/cell/bin", "/cell/robots/R1/ref/part.bmp", "/cell/robots/R1/",
       "/cell/robots/R1/" + journal, "/cell", "/cell/robots/R1/corvantis.dat"},
      {R"(D:\cell\bin)", R"(D:\cell\robots\R1\ref\part.bmp)", R"(D:\\cell\\robots\\R1\\)",
       R"(D:\\cell\\robots\\R1\\)" + journal, R"(D:\\cell)",
       R"(D:\\cell\\robots\\R1\\corvantis.dat)"},
      {"/cell/bin", "/images/part.bmp", "", journal, "/cell", "corvantis.dat"},
  };
  for (const auto& c : cases) {
    platform_.setWorkingDirectory(c.cwd);
    const Workspace workspace(c.reference, platform_, &diagnostics_);
    EXPECT_EQ(c.baseDir, workspace.baseDir()) << c.reference;
    EXPECT_EQ(c.journalPath, workspace.journalPath()) << c.reference;
    EXPECT_EQ(c.tempRoot, workspace.tempRoot()) << c.reference;
    EXPECT_EQ(c.storePath, workspace.storePath()) << c.reference;
  }
}

TEST_F(WorkspaceTest, ReferenceIsStoredByFileNameAndTheJournalGoesToTheDebugDirectory) {
  {
    Workspace first("/cell/robots/R1/ref/part.bmp", platform_, &diagnostics_);
    // Construction creates the store and nothing else.
    EXPECT_EQ(std::vector<std::string>{"/cell/robots/R1/corvantis.dat"}, platform_.fileNames());
    EXPECT_TRUE(first.readReference("/cell/robots/R1/ref/part.bmp").empty());
    first.storeReference("/cell/robots/R1/ref/part.bmp", kValues, 1700000000);
    first.writeJournal("Step: 3");
  }
  EXPECT_EQ(kRecord, platform_.contentOf("/cell/robots/R1/corvantis.dat"));
  EXPECT_EQ("[05/12/2026 07:04:09] - Step: 3\r\n",
            platform_.contentOf("/cell/robots/R1/debug/corvantis.log"));
  EXPECT_EQ("", diagnostics_.str());
  Workspace second("/cell/robots/R1/ref/part.bmp", platform_, &diagnostics_);
  EXPECT_EQ(kValues, second.readReference(R"(C:\elsewhere\part.bmp)"));
  EXPECT_EQ(1700000000u, second.storedTime("/cell/robots/R1/ref/part.bmp"));
  // A path without a separator is its own key.
  second.storeReference("other.bmp", kValues, 1);
  EXPECT_EQ(kRecord + "other.bmp,1,937,312,4,123.456,17.5\r\n",
            platform_.contentOf("/cell/robots/R1/corvantis.dat"));
}

TEST_F(WorkspaceTest, WithoutRobotsDirectoryTheStoreIsInTheWorkingDirectoryAndNoJournalIsWritten) {
  platform_.addDirectory("/debug");  // a journal must not land at the file-system root
  Workspace workspace("/images/part.bmp", platform_, &diagnostics_);
  workspace.writeJournal("Step: 3");
  EXPECT_EQ(std::vector<std::string>{"/cell/bin/corvantis.dat"}, platform_.fileNames());
  EXPECT_EQ(
      "corvantis: reference path /images/part.bmp names no cell (no directory below a "
      "\"robots\" directory): no journal line is written and the store is kept in the "
      "working directory\n",
      diagnostics_.str());
}

TEST_F(WorkspaceTest, ReferenceIsFoundByFileNameInALaterCheck) {
  {
    Workspace first("/cell/robots/R1/ref/part.bmp", platform_, &diagnostics_);
    EXPECT_TRUE(first.readReference("/cell/robots/R1/ref/part.bmp").empty());
    first.storeReference("/cell/robots/R1/ref/part.bmp", kValues, 1700000000);
  }
  EXPECT_EQ(kRecord, platform_.contentOf("/cell/robots/R1/corvantis.dat"));
  Workspace second("/cell/robots/R1/ref/part.bmp", platform_, &diagnostics_);
  EXPECT_EQ(kValues, second.readReference(R"(C:\elsewhere\part.bmp)"));
  EXPECT_EQ(1700000000u, second.storedTime("/cell/robots/R1/ref/part.bmp"));
}

TEST_F(WorkspaceTest, PathWithoutSeparatorIsItsOwnKey) {
  Workspace workspace("/cell/robots/R1/ref/part.bmp", platform_, &diagnostics_);
  workspace.storeReference("part.bmp", kValues, 1);
  EXPECT_EQ("part.bmp,1,937,312,4,123.456,17.5\r\n",
            platform_.contentOf("/cell/robots/R1/corvantis.dat"));
}

// The same workspace on real files of a cell, with the system's own separators: on
// Windows the doubled backslashes of the derived paths must name the cell's files.
class WorkspaceOnDiskTest : public ::testing::Test {
 protected:
  WorkspaceOnDiskTest() {
    for (const char* directory : {"robots/R1/ref", "robots/R1/debug", "var/tmp", "bin"})
      std::filesystem::create_directories(cell_ / directory);
    std::filesystem::current_path(cell_ / "bin");
  }
  ~WorkspaceOnDiskTest() override { std::filesystem::current_path(workingDirectory_); }

  std::string at(const std::string& relative) const {
    return (cell_ / relative).make_preferred().string();
  }
  std::vector<std::string> entriesOf(const std::string& relative) const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(cell_ / relative))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  // Stores a first signature of part.bmp, then replaces it with kValues.
  void storeTwice() {
    Workspace(reference_, defaultPlatform(), &diagnostics_)
        .storeReference(reference_, {1, 2, 3, 4, 5}, 1);
    Workspace(reference_, defaultPlatform(), &diagnostics_)
        .storeReference(reference_, kValues, 1700000000);
  }

  const std::filesystem::path workingDirectory_ = std::filesystem::current_path();
  test::TempDir dir_;
  const std::filesystem::path cell_ = dir_.path() / "cell";
  const std::string reference_ = at("robots/R1/ref/part.bmp");
  std::ostringstream diagnostics_;
};

TEST_F(WorkspaceOnDiskTest, StoreIsReplacedInTheBaseDirectoryWithOrWithoutTheTemporaryOne) {
  for (const bool withTemp : {true, false}) {
    SCOPED_TRACE(withTemp ? "with var/tmp" : "without var/tmp");
    if (!withTemp) std::filesystem::remove(cell_ / "var" / "tmp");
    storeTwice();
    EXPECT_EQ(kRecord, test::readFile(at("robots/R1/corvantis.dat")));
    EXPECT_EQ(kValues, Workspace(reference_).readReference(reference_));
    // Only the lock file that updates take turns on stays beside the store.
    EXPECT_EQ((std::vector<std::string>{"corvantis.dat", "corvantis.dat.lock", "debug", "ref"}),
              entriesOf("robots/R1"));
    if (withTemp) {
      EXPECT_EQ(std::vector<std::string>{}, entriesOf("var/tmp"));
    }
    EXPECT_EQ("", diagnostics_.str());
  }
}

TEST_F(WorkspaceOnDiskTest, JournalLinesEndInOneCrLfAndRotateWithAGenerationMissing) {
  const auto journal = [this](const std::string& name) { return at("robots/R1/debug/" + name); };
  test::writeFile(journal("corvantis.log"), std::string(5242880, 'j'));
  for (const char n : {'1', '2', '4'})
    test::writeFile(journal(std::string("corvantis_") + n + ".log"),
                    std::string("generation ") + n);
  Workspace workspace(reference_, defaultPlatform(), &diagnostics_);
  workspace.writeJournal("Step: 1");
  workspace.writeJournal("Step: 2");
  const std::string lines = test::readFile(journal("corvantis.log"));
  ASSERT_EQ(66u, lines.size()) << lines;
  EXPECT_EQ("] - Step: 1\r\n", lines.substr(20, 13));
  EXPECT_EQ("] - Step: 2\r\n", lines.substr(53, 13));
  EXPECT_EQ(std::string(5242880, 'j'), test::readFile(journal("corvantis_1.log")));
  EXPECT_EQ("generation 1", test::readFile(journal("corvantis_2.log")));
  EXPECT_EQ("generation 2", test::readFile(journal("corvantis_3.log")));
  EXPECT_FALSE(std::filesystem::exists(journal("corvantis_4.log")));
  EXPECT_EQ("generation 4", test::readFile(journal("corvantis_5.log")));
}

}  // namespace
}  // namespace corvantis
