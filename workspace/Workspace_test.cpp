#include "workspace/Workspace.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "test/TestPlatform.h"
#include "test/TestUtil.h"

namespace corvantis {
namespace {

// A journal must not land at the file-system root, and the store is the working
// directory's. Run from the cell's bin directory, as the cell's controller runs a check.
TEST(WorkspaceTest, WithoutRobotsDirectoryTheStoreIsInTheWorkingDirectoryAndNoJournalIsWritten) {
  test::TempDir dir;
  test::TestPlatform platform;
  std::ostringstream told;
  std::filesystem::create_directories(dir.file("cell/bin"));
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(dir.file("cell/bin"));
  Workspace workspace("/images/part.bmp", platform, &told);
  workspace.writeJournal("Step: 3");
  std::filesystem::current_path(before);
  EXPECT_EQ(std::vector<std::string>{"cell/bin/corvantis.dat"},
            test::filesBelow(dir.path().string()));
  EXPECT_EQ(
      "corvantis: reference path /images/part.bmp names no cell (no directory below a "
      "\"robots\" directory): no journal line is written and the store is kept in the "
      "working directory\n",
      told.str());
}

// A cell set up without debug/ keeps no journal: the check says how to switch it on, in
// the path as it is typed, and creates nothing.
TEST(WorkspaceTest, WithoutDebugDirectoryTheCheckSaysThatCreatingItSwitchesTheJournalOn) {
  test::TempDir dir;
  test::TestPlatform platform;
  std::ostringstream told;
  std::filesystem::create_directories(dir.file("robots/R1/ref"));
  Workspace workspace(dir.file("robots/R1/ref/part.png"), platform, &told);
  workspace.writeJournal("Step: 3");
  EXPECT_EQ("corvantis: journal off: " + dir.file("robots/R1/debug") + kPathSeparator[0] +
                " does not exist; create it to switch the journal on\n",
            told.str());
  EXPECT_FALSE(std::filesystem::exists(dir.file("robots/R1/debug")));
}

}  // namespace
}  // namespace corvantis
