#include "imageproc/ImageProc.h"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <string>

#include "test/TestUtil.h"

namespace corvantis {
namespace {

TEST(ImageProcTest, LoadMakesWidthAndHeightOddAndAFailedLoadKeepsTheLastFile) {
  test::TempDir dir;
  ImageProc proc;
  for (const cv::Size size : {cv::Size(640, 480), {641, 481}, {640, 481}, {641, 480}, {1, 2}}) {
    const std::string name = cv::format("%dx%d.png", size.width, size.height);
    // Colour on disk: the analyser must still get one 8-bit channel.
    ASSERT_TRUE(cv::imwrite(dir.file(name), cv::Mat(size, CV_8UC3, cv::Scalar(9, 80, 200))));
    ASSERT_TRUE(proc.load(dir.file(name))) << name;
    EXPECT_EQ(cv::Size(size.width | 1, size.height | 1), proc.getSourceImage().size()) << name;
    EXPECT_EQ(CV_8UC1, proc.getSourceImage().type());
    EXPECT_EQ(name, proc.getFileName());
    EXPECT_NE(0u, proc.fileTime());
  }
  const std::uint64_t time = proc.fileTime();
  test::writeFile(dir.file("bad.png"), "not an image");
  for (const std::string& path : {dir.file("missing.png"), dir.file("bad.png")}) {
    EXPECT_FALSE(proc.load(path)) << path;
    EXPECT_EQ("1x2.png", proc.getFileName());
    EXPECT_EQ(time, proc.fileTime());
  }
  EXPECT_EQ(0u, proc.readFileTime(dir.file("missing.png")));
  EXPECT_EQ(0u, proc.fileTime());
}

}  // namespace
}  // namespace corvantis
