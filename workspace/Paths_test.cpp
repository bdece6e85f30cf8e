#include "workspace/Paths.h"

#include <gtest/gtest.h>

#include "workspace/FileNames.h"
#include "workspace/Platform.h"

namespace corvantis {
namespace {

struct PathCase {
  std::string input;
  std::string expected;
};

class PathsTest : public ::testing::Test {};

TEST_F(PathsTest, BaseDirIsTheDirectoryBelowTheFirstRobotsDirectory) {
  const PathCase cases[] = {
      {R"(D:\cell\robots\R1\images\ref.bmp)", R"(D:\cell\robots\R1\)"},
      {R"(D:\robots\R\a.bmp)", R"(D:\robots\R\)"},
      {R"(D:\robots2\R1\a.bmp)", R"(D:\robots2\R1\)"},
      {R"(D:\cell\robots\part.bmp)", ""},
      {R"(D:\cell\Robots\R1\part.bmp)", ""},
      {R"(D:\images\part.bmp)", ""},
      {R"(D:\cell\robots\R1\robots\R2\a.bmp)", R"(D:\cell\robots\R1\)"},
      {"/work/cell/robots/R1/images/ref.bmp", "/work/cell/robots/R1/"},
      {"/robots/R/a.bmp", "/robots/R/"},
      {"/work/robots/R1", ""},
      {"robots/R1/ref/a.bmp", "robots/R1/"},
      {R"(robots\R1\a.bmp)", R"(robots\R1\)"},
      {"myrobots/R1/a.bmp", ""},
      {R"(C:/cell/robots\R1/a.bmp)", R"(C:/cell/robots\R1/)"},
      {"", ""},
  };
  for (const PathCase& c : cases)
    EXPECT_EQ(c.expected, deriveBaseDir(c.input)) << "path " << c.input;
}

TEST_F(PathsTest, DoublesBackslashesFromTheThirdCharacterOn) {
  const PathCase cases[] = {
      {R"(D:\a\b)", R"(D:\\a\\b)"},
      {R"(\\srv\share\x)", R"(\\srv\\share\\x)"},
      {R"(D:\cell\robots\R1\)", R"(D:\\cell\\robots\\R1\\)"},
      {R"(a\)", R"(a\)"},
      {R"(ab\)", R"(ab\\)"},
      {"", ""},
      {"/work/cell/robots/R1/", "/work/cell/robots/R1/"},
  };
  for (const PathCase& c : cases)
    EXPECT_EQ(c.expected, doubleBackslashes(c.input)) << "path " << c.input;
}

TEST_F(PathsTest, TempRootIsTheParentOfTheWorkingDirectory) {
  const std::string deep = "/work/" + std::string(300, 'd') + "/bin";
  const PathCase cases[] = {
      {R"(C:\cell\bin)", R"(C:\\cell)"},
      {R"(D:\cell\bin)", R"(D:\\cell)"},
      {R"(C:\bin)", "C:"},
      {R"(C:\)", "C:"},
      {"/work/cell/bin", "/work/cell"},
      {"/bin", ""},
      {"/", ""},
      {deep, "/work/" + std::string(300, 'd')},
  };
  for (const PathCase& c : cases)
    EXPECT_EQ(c.expected, deriveTempRoot(c.input)) << "cwd " << c.input;
}

TEST_F(PathsTest, DerivedFilesSitBelowTheirDirectories) {
  const std::string sep = kPathSeparator;
  EXPECT_EQ("/cell/robots/R1/" + sep + "debug" + sep + "corvantis.log",
            journalPathOf("/cell/robots/R1/"));
  EXPECT_EQ("/cell/robots/R1/corvantis.dat", storePathOf("/cell/robots/R1/"));
  EXPECT_EQ("corvantis.dat", storePathOf(""));
  EXPECT_EQ("/cell" + sep + "var" + sep + "tmp" + sep + "a_kivro.tmp", tempPathOf("/cell"));
}

TEST_F(PathsTest, GenerationsAreNumberedBeforeTheLogExtension) {
  const std::vector<std::string> names = rotatedNames("/c/robots/R1//debug/corvantis.log");
  ASSERT_EQ(5u, names.size());
  EXPECT_EQ("/c/robots/R1//debug/corvantis_1.log", names[0]);
  EXPECT_EQ("/c/robots/R1//debug/corvantis_5.log", names[4]);
}

TEST(FileNamesTest, FileNameIsThePartAfterTheLastSeparator) {
  const PathCase cases[] = {
      {R"(C:\cell\ref\part07.bmp)", "part07.bmp"},
      {"C:/cell/part07.bmp", "part07.bmp"},
      {"part07.bmp", "part07.bmp"},
      {R"(C:\cell\ref\)", ""},
      {"/cell/ref/", ""},
      {R"(\\srv\share\a.bmp)", "a.bmp"},
      {R"(C:\cell/ref\Part 07.BMP)", "Part 07.BMP"},
      {"", ""},
  };
  for (const PathCase& c : cases) EXPECT_EQ(c.expected, fileNameOf(c.input)) << "path " << c.input;
}

}  // namespace
}  // namespace corvantis
