#include "workspace/FileNames.h"

#include <gtest/gtest.h>

namespace corvantis {
namespace {

class FileNamesTest : public ::testing::Test {};

TEST_F(FileNamesTest, FileNameIsThePartAfterTheLastSeparator) {
  const struct {
    std::string path;
    std::string name;
  } cases[] = {
      {R"(C:\cell\ref\part07.bmp)", "part07.bmp"},
      {"C:/cell/part07.bmp", "part07.bmp"},
      {"part07.bmp", "part07.bmp"},
      {R"(C:\cell\ref\)", ""},
      {"/cell/ref/", ""},
      {R"(\\srv\share\a.bmp)", "a.bmp"},
      {R"(C:\cell/ref\Part 07.BMP)", "Part 07.BMP"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.name, fileNameOf(c.path)) << "path " << c.path;
}

}  // namespace
}  // namespace corvantis
