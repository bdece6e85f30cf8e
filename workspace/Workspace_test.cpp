#include "workspace/Workspace.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <new>
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

// The real platform, out of memory in one operation (as a copy of a huge capture was).
class ExhaustedPlatform : public test::TestPlatform {
 public:
  explicit ExhaustedPlatform(std::string op) : op_(std::move(op)) {}

 protected:
  std::optional<Status> fault(const std::string& op, const std::string& path) const override {
    if (op == op_) throw std::bad_alloc();
    return TestPlatform::fault(op, path);
  }

 private:
  std::string op_;
};

// The verdict is journalled before the evidence is kept: a failure there, of any kind, is
// told and keeps the other evidence, and the check goes on.
TEST(WorkspaceTest, EvidenceThatCannotBeKeptIsToldAndGoesNoFurther) {
  const struct {
    const char* op;
    const char* told;
    bool rowKept, captureKept;
  } cases[] = {
      {"copyFile", "reject archive capture not kept: out of memory", true, false},
      {"appendDurably", "values log row not kept: out of memory", false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.op);
    test::TempDir dir;
    const std::string debug = dir.file("robots/R1/debug");
    test::writeFile(dir.file("cap.bmp"), "pixels");
    test::writeFile(debug + "/corvantis.csv", "");
    std::filesystem::create_directories(debug + "/rejects");
    ExhaustedPlatform platform(c.op);
    std::ostringstream told;
    CheckRecord rejected;
    rejected.currentPath = dir.file("cap.bmp");
    Workspace workspace(dir.file("robots/R1/ref/part.bmp"), platform, &told);
    EXPECT_NO_THROW(workspace.recordCheck(rejected));
    EXPECT_EQ("corvantis: " + std::string(c.told) + "\n", told.str());
    EXPECT_EQ(c.rowKept, !test::readFile(debug + "/corvantis.csv").empty());
    EXPECT_EQ(c.captureKept, test::fileNamesIn(debug + "/rejects").size() == 1);
  }
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

}  // namespace
}  // namespace corvantis
