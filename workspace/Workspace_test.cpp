#include "workspace/Workspace.h"

#include <gtest/gtest.h>

#include <sstream>

#include "test/FakePlatform.h"

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

}  // namespace
}  // namespace corvantis
