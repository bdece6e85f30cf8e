#include "imageproc/ImageProc.h"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <string>

#include "test/TestUtil.h"

namespace corvantis {
namespace {

TEST(ImageProcTest, LoadMakesWidthAndHeightOdd) {
  struct Case {
    int width, height, oddWidth, oddHeight;
  };
  const Case cases[] = {{640, 480, 641, 481},
                        {641, 481, 641, 481},
                        {640, 481, 641, 481},
                        {641, 480, 641, 481},
                        {1, 2, 1, 3}};
  test::TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    const std::string name =
        "w" + std::to_string(c.width) + "h" + std::to_string(c.height) + ".png";
    // Colour on disk: the analyser must still get one 8-bit channel.
    ASSERT_TRUE(
        cv::imwrite(dir.file(name), cv::Mat(c.height, c.width, CV_8UC3, cv::Scalar(9, 80, 200))));
    ImageProc proc;
    ASSERT_TRUE(proc.load(dir.file(name)));
    EXPECT_EQ(cv::Size(c.oddWidth, c.oddHeight), proc.getSourceImage().size());
    EXPECT_EQ(CV_8UC1, proc.getSourceImage().type());
    EXPECT_EQ(name, proc.getFileName());
    EXPECT_NE(0u, proc.fileTime());
  }
}

TEST(ImageProcTest, FailedLoadKeepsFileNameAndTime) {
  test::TempDir dir;
  ASSERT_TRUE(cv::imwrite(dir.file("good.png"), cv::Mat(3, 3, CV_8UC1, cv::Scalar(1))));
  test::writeFile(dir.file("bad.png"), "not an image");
  ImageProc proc;
  ASSERT_TRUE(proc.load(dir.file("good.png")));
  const std::uint64_t time = proc.fileTime();
  for (const std::string& path : {dir.file("missing.png"), dir.file("bad.png")}) {
    SCOPED_TRACE(path);
    EXPECT_FALSE(proc.load(path));
    EXPECT_EQ("good.png", proc.getFileName());
    EXPECT_EQ(time, proc.fileTime());
  }
  EXPECT_EQ(0u, proc.readFileTime(dir.file("missing.png")));
  EXPECT_EQ(0u, proc.fileTime());
}

}  // namespace
}  // namespace corvantis
