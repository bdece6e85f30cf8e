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

TEST(PathsTest, BaseDirIsTheDirectoryBelowTheFirstRobotsDirectory) {
  const PathCase cases[] = {
      {R"(D:\cell\robots\R1\images\ref.bmp)", R"(D:\cell\robots\R1\)"},
      {R"(D:\robots\R\a.bmp)", R"(D:\robots\R\)"},
      {R"(D:\robots2\R1\a.bmp)", R"(D:\robots2\R1\)"},
      {R"(D:\cell\robots\part.bmp)", ""},
      {R"(D:\cell\Robots\R1\part.bmp)", ""},
      {R"(D:\images\part.bmp)", ""},
      {R"(D:\cell\robots\R1\robots\R2\a.bmp)", R"(D:\cell\robots\R1\)"},
      {"/work/cell/robots/R1/images/ref.bmp", "/work/cell/robots/R1/"},
      {"/work/robots/R1", ""},
      {"robots/R1/ref/a.bmp", "robots/R1/"},
      {"myrobots/R1/a.bmp", ""},
      {R"(C:/cell/robots\R1/a.bmp)", R"(C:/cell/robots\R1/)"},
      {"", ""},
  };
  for (const PathCase& c : cases)
    EXPECT_EQ(c.expected, deriveBaseDir(c.input)) << "path " << c.input;
}

TEST(PathsTest, DoublesBackslashesFromTheThirdCharacterOn) {
  const PathCase cases[] = {
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

TEST(PathsTest, TempFilesAreBelowTheParentOfTheWorkingDirectory) {
  const std::string deep = "/work/" + std::string(300, 'd') + "/bin";
  const PathCase cases[] = {
      {R"(D:\cell\bin)", R"(D:\\cell)"},        {R"(C:\bin)", "C:"}, {R"(C:\)", "C:"},
      {"/work/cell/bin", "/work/cell"},         {"/bin", ""},        {"/", ""},
      {deep, "/work/" + std::string(300, 'd')},
  };
  for (const PathCase& c : cases)
    EXPECT_EQ(c.expected, deriveTempRoot(c.input)) << "cwd " << c.input;
  const std::string sep = kPathSeparator;
  EXPECT_EQ("/cell" + sep + "var" + sep + "tmp" + sep + "a_kivro.tmp", tempPathOf("/cell"));
}

TEST(FileNamesTest, FileNameIsThePartAfterTheLastSeparator) {
  const PathCase cases[] = {
      {R"(C:\cell\ref\part07.bmp)", "part07.bmp"},
      {"C:/cell/part07.bmp", "part07.bmp"},
      {"part07.bmp", "part07.bmp"},
      {R"(C:\cell\ref\)", ""},
      {"/cell/ref/", ""},
      {R"(C:\cell/ref\Part 07.BMP)", "Part 07.BMP"},
      {"", ""},
  };
  for (const PathCase& c : cases) EXPECT_EQ(c.expected, fileNameOf(c.input)) << "path " << c.input;
}

}  // namespace
}  // namespace corvantis
