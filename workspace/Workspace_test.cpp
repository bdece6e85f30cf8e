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

// What a check writes lands in the cell or nowhere: a Windows path on Linux, whose
// backslashes are no separators here, leaves nothing in the working directory.
TEST(WorkspaceTest, CheckOfAPathOfNoCellHereWritesNothingInTheWorkingDirectory) {
  const FeatureVector values = {937, 312, 4, 123.456, 17.5};
  const std::string cell =
      kPathSeparator == std::string("/") ? R"(C:\cell\robots\R1\)" : "Q:/nowhere/robots/R1/";
  for (const std::string& reference : {cell + R"(ref\part.png)", cell + "ref/part.png"}) {
    test::TempDir dir;
    test::TestPlatform platform;
    std::ostringstream told;
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    {
      Workspace workspace(reference, platform, &told);
      EXPECT_TRUE(workspace.readReference(reference).empty());
      workspace.storeReference(reference, values, 1700000000);
      workspace.writeJournal("Step: 3");
    }
    std::filesystem::current_path(before);
    EXPECT_EQ(std::vector<std::string>{}, test::filesBelow(dir.path().string())) << reference;
    EXPECT_TRUE(test::holds(told.str(), "store not opened")) << told.str();
  }
}

// References of one file name in two folders of the cell keep records of their own.
TEST(WorkspaceTest, ReferencesOfOneFileNameInTwoFoldersHaveRecordsOfTheirOwn) {
  test::TempDir dir;
  test::TestPlatform platform;
  std::ostringstream told;
  std::filesystem::create_directories(dir.file("cell/robots/R1"));
  const std::string st10 = dir.file("cell/robots/R1/ref/st10/part.png");
  const std::string st20 = dir.file("cell/robots/R1/ref/st20/part.png");
  const FeatureVector values10 = {937, 312, 4, 123.456, 17.5}, values20 = {900, 300, 4, 60.5, 9.5};
  Workspace(st10, platform, &told).storeReference(st10, values10, 1700000000);
  Workspace(st20, platform, &told).storeReference(st20, values20, 1700000000);
  EXPECT_EQ(values10, Workspace(st10, platform, &told).readReference(st10));
  EXPECT_EQ(values20, Workspace(st20, platform, &told).readReference(st20));
  EXPECT_EQ("", told.str());
}

}  // namespace
}  // namespace corvantis
