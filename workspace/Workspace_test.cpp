#include "workspace/Workspace.h"

#include <gtest/gtest.h>

#include <sstream>

#include "workspace/FakePlatform.h"

namespace corvantis {
namespace {

const std::string kSep = kPathSeparator;
const FeatureVector kValues = {937, 312, 4, 123.456, 17.5};

class WorkspaceTest : public ::testing::Test {
 protected:
  WorkspaceTest() { platform_.addDirectory("/cell/robots/R1/debug"); }

  test::FakePlatform platform_;
  std::ostringstream diagnostics_;
};

TEST_F(WorkspaceTest, PathsDeriveFromTheReferencePathAndTheWorkingDirectory) {
  const Workspace workspace("/cell/robots/R1/ref/part.bmp", platform_, &diagnostics_);
  EXPECT_EQ("/cell/robots/R1/", workspace.baseDir());
  EXPECT_EQ("/cell/robots/R1/" + kSep + "debug" + kSep + "corvantis.log", workspace.journalPath());
  EXPECT_EQ("/cell", workspace.tempRoot());
  EXPECT_EQ("/cell/robots/R1/corvantis.dat", workspace.storePath());
}

TEST_F(WorkspaceTest, BackslashPathsAreKeptDoubled) {
  platform_.setWorkingDirectory(R"(D:\cell\bin)");
  const Workspace workspace(R"(D:\cell\robots\R1\ref\part.bmp)", platform_, &diagnostics_);
  EXPECT_EQ(R"(D:\\cell\\robots\\R1\\)", workspace.baseDir());
  EXPECT_EQ(R"(D:\\cell\\robots\\R1\\)" + kSep + "debug" + kSep + "corvantis.log",
            workspace.journalPath());
  EXPECT_EQ(R"(D:\\cell)", workspace.tempRoot());
}

TEST_F(WorkspaceTest, ConstructionCreatesTheStoreAndNothingElse) {
  const Workspace workspace("/cell/robots/R1/ref/part.bmp", platform_, &diagnostics_);
  EXPECT_EQ(std::vector<std::string>{"/cell/robots/R1/corvantis.dat"}, platform_.fileNames());
  EXPECT_EQ("", diagnostics_.str());
}

TEST_F(WorkspaceTest, JournalLineGoesToTheDebugDirectory) {
  Workspace workspace("/cell/robots/R1/ref/part.bmp", platform_, &diagnostics_);
  workspace.writeJournal("Step: 3");
  EXPECT_EQ("[05/12/2026 07:04:09] - Step: 3\r\n",
            platform_.contentOf("/cell/robots/R1/debug/corvantis.log"));
}

TEST_F(WorkspaceTest, WithoutRobotsDirectoryTheStoreIsInTheWorkingDirectoryAndNoJournalIsWritten) {
  platform_.addDirectory("/debug");  // a journal must not land at the file-system root
  Workspace workspace("/images/part.bmp", platform_, &diagnostics_);
  EXPECT_EQ("", workspace.baseDir());
  EXPECT_EQ("corvantis.dat", workspace.storePath());
  workspace.writeJournal("Step: 3");
  EXPECT_EQ(std::vector<std::string>{"/cell/bin/corvantis.dat"}, platform_.fileNames());
  EXPECT_EQ("corvantis: no robots directory in /images/part.bmp; journal line not written\n",
            diagnostics_.str());
}

TEST_F(WorkspaceTest, ReferenceIsFoundByFileNameInALaterCheck) {
  {
    Workspace first("/cell/robots/R1/ref/part.bmp", platform_, &diagnostics_);
    EXPECT_TRUE(first.readReference("/cell/robots/R1/ref/part.bmp").empty());
    first.storeReference("/cell/robots/R1/ref/part.bmp", kValues, 1700000000);
  }
  EXPECT_EQ("part.bmp,1700000000,937,312,4,123.456,17.5\r\n",
            platform_.contentOf("/cell/robots/R1/corvantis.dat"));
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

}  // namespace
}  // namespace corvantis
