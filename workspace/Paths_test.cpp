#include "workspace/Paths.h"

#include <gtest/gtest.h>

#include "workspace/FileNames.h"
#include "workspace/Platform.h"

namespace corvantis {
namespace {

// The reference image path gives the base directory and the store's key, the working
// directory the root of the temporary files.
TEST(PathsTest, DerivedDirectoriesAndFileNames) {
  using Derive = std::string (*)(const std::string&);
  const std::string sep = kPathSeparator;
  // Where a backslash is no separator, it cannot end the base directory either.
  const std::string backslashBase =
      sep == "/" ? R"(C:\\cell\\robots\\R1\\/)" : R"(C:\\cell\\robots\\R1\\)";
  const std::string deep = "/work/" + std::string(300, 'd');
  const struct {
    Derive derive;
    std::string input;
    std::string expected;
  } cases[] = {
      // The directory directly below the first "robots" directory.
      {deriveBaseDir, R"(D:\cell\robots\R1\images\ref.bmp)", R"(D:\cell\robots\R1\)"},
      {deriveBaseDir, R"(D:\robots\R\a.bmp)", R"(D:\robots\R\)"},
      {deriveBaseDir, R"(D:\robots2\R1\a.bmp)", R"(D:\robots2\R1\)"},
      {deriveBaseDir, R"(D:\cell\robots\part.bmp)", ""},
      {deriveBaseDir, R"(D:\cell\Robots\R1\part.bmp)", ""},
      {deriveBaseDir, R"(D:\cell\robots\R1\robots\R2\a.bmp)", R"(D:\cell\robots\R1\)"},
      {deriveBaseDir, "robots/R1/ref/a.bmp", "robots/R1/"},
      {deriveBaseDir, "myrobots/R1/a.bmp", ""},
      {deriveBaseDir, R"(C:/cell/robots\R1/a.bmp)", R"(C:/cell/robots\R1/)"},
      // Kept with every backslash from the third character on doubled, so that a
      // network path keeps its leading pair.
      {doubleBackslashes, R"(\\srv\share\x)", R"(\\srv\\share\\x)"},
      // Shown to a person in the form typed, the network path's pair kept.
      {shownPath, R"(D:\\cell\\robots\\R1\\\\debug\\)", R"(D:\cell\robots\R1\debug\)"},
      {shownPath, R"(\\srv\\share\\x)", R"(\\srv\share\x)"},
      {shownPath, "robots/R1//debug/", "robots/R1/debug/"},
      {shownPath, R"(C:/cell/robots\\R1/\\debug\\)", R"(C:/cell/robots\R1/debug\)"},
      // The parent of the working directory, doubled; a drive root gives the drive.
      {deriveTempRoot, R"(D:\cell\bin)", R"(D:\\cell)"},
      {deriveTempRoot, R"(C:\)", "C:"},
      {deriveTempRoot, "/bin", ""},
      {deriveTempRoot, deep + "/bin", deep},
      // The part after the last separator, either of the two.
      {fileNameOf, "part07.bmp", "part07.bmp"},
      {fileNameOf, R"(C:\cell\ref\)", ""},
      {fileNameOf, R"(C:\cell\ref/Part 07.BMP)", "Part 07.BMP"},
      // The store's key: the path below the base directory with "/" between its parts,
      // so that one file name in two folders gives two keys, and a store written on
      // Windows serves on Linux. Outside a cell, the whole path.
      {storeKeyOf, "/cell/robots/R1/ref/st10/part.png", "ref/st10/part.png"},
      {storeKeyOf, "/cell/robots/R1/ref/st20/part.png", "ref/st20/part.png"},
      {storeKeyOf, R"(D:\cell\robots\R1\ref\st10\part.png)", "ref/st10/part.png"},
      {storeKeyOf, R"(D:\cell\robots\R1\\ref\\.\\part.png)", "ref/part.png"},
      {storeKeyOf, "robots/R1/ref//part.png", "ref/part.png"},
      {storeKeyOf, "/cell/robots/R1/part.png", "part.png"},
      {storeKeyOf, "/images/a.bmp", "/images/a.bmp"},
      {storeKeyOf, R"(C:\images\a.bmp)", "C:/images/a.bmp"},
      {storeKeyOf, "a.bmp", "a.bmp"},
      // The store in the base directory, also when its backslashes are no separators.
      {storePathOf, "", "corvantis.dat"},
      {storePathOf, "/cell/robots/R1/", "/cell/robots/R1/corvantis.dat"},
      {storePathOf, R"(C:\\cell\\robots\\R1\\)", backslashBase + "corvantis.dat"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, c.derive(c.input)) << "from " << c.input;
  EXPECT_EQ("/cell" + sep + "var" + sep + "tmp" + sep + "a_kivro.tmp", tempPathOf("/cell"));
}

}  // namespace
}  // namespace corvantis
