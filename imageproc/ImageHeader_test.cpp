#include "imageproc/ImageHeader.h"

#include <gtest/gtest.h>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "test/TestUtil.h"

namespace corvantis {
namespace {

std::string encoded(const std::string& extension, int type) {
  std::vector<uchar> bytes;
  if (!cv::imencode(extension, cv::Mat(23, 37, type, cv::Scalar::all(90)), bytes)) return "";
  return std::string(bytes.begin(), bytes.end());
}

// "width x height", or "none".
std::string told(const std::optional<DeclaredSize>& size) {
  return size ? std::to_string(size->width) + " x " + std::to_string(size->height) : "none";
}

TEST(ImageHeaderTest, SizeDeclaredByEachEncoderIsRead) {
  const struct {
    const char* extension;
    int type;
    std::size_t sizeEnds;  // where the header's size fields end
  } formats[] = {{".png", CV_8UC1, 24}, {".bmp", CV_8UC1, 26},  {".bmp", CV_8UC3, 26},
                 {".jpg", CV_8UC1, 98}, {".tiff", CV_8UC1, 88}, {".webp", CV_8UC3, 30},
                 {".pgm", CV_8UC1, 8},  {".ppm", CV_8UC3, 8},   {".pbm", CV_8UC1, 8},
                 {".pfm", CV_32FC1, 8}, {".ras", CV_8UC1, 12}};
  for (const auto& f : formats) {
    const std::string file = encoded(f.extension, f.type);
    EXPECT_EQ("37 x 23", told(declaredSize(file))) << f.extension;
    // Cut before the end of its size fields a header declares nothing, after it the size.
    for (std::size_t length = 0; length < file.size() && length < 64; ++length) {
      EXPECT_EQ(length < f.sizeEnds ? "none" : "37 x 23",
                told(declaredSize(file.substr(0, length))))
          << f.extension << " " << length;
    }
  }
}

TEST(ImageHeaderTest, SizeDeclaredByHeadersTheEncoderDoesNotWriteIsRead) {
  // Byte by byte, the headers the encoder does not write: RIFF containers of two WebP
  // kinds, and TIFF in the other byte order with the size as LONG and SHORT entries. Each
  // declares 300 x 23, a width over a byte.
  const auto bytes = [](std::initializer_list<unsigned char> v) {
    return std::string(v.begin(), v.end());
  };
  const std::string riff = "RIFF" + bytes({0, 0, 0, 0}) + "WEBP";
  const std::pair<const char*, std::string> cases[] = {
      {"extended WebP", riff + "VP8X" + bytes({10, 0, 0, 0, 0, 0, 0, 0, 43, 1, 0, 22, 0, 0})},
      {"lossy WebP", riff + "VP8 " + bytes({0, 0, 0, 0, 0, 0, 0, 0x9d, 1, 0x2a, 44, 1, 23, 0})},
      {"big-endian TIFF", "MM" + bytes({0, 42, 0, 0,  0, 8, 0, 2, 1, 0, 0, 4, 0, 0,  0, 1,
                                        0, 0,  1, 44, 1, 1, 0, 3, 0, 0, 0, 1, 0, 23, 0, 0})},
      // Its bytes end where the width ends.
      {"JPEG with the last frame kind", bytes({0xFF, 0xD8, 0xFF, 0xCF, 0, 11, 8, 0, 23, 1, 44})},
  };
  for (const auto& [name, header] : cases)
    EXPECT_EQ("300 x 23", told(declaredSize(header))) << name;
  // The extended WebP's 24-bit width, all three bytes of it.
  EXPECT_EQ("70000 x 23", told(declaredSize(riff + "VP8X" +
                                            bytes({10, 0, 0, 0, 0, 0, 0, 0, 0x6F, 0x11, 1, 22, 0, 0}))));
  // A TIFF directory that ends the bytes and lists no entries is whole: no size in it.
  EXPECT_EQ("0 x 0", told(declaredSize("II*" + bytes({0, 8, 0, 0, 0, 0, 0}))));
}

TEST(ImageHeaderTest, HugeDeclaredImagesAreRefusedWithTheirSize) {
  std::string png = encoded(".png", CV_8UC1);
  png.replace(16, 8, std::string("\x00\x01\x86\xa0\x00\x01\x86\xa0", 8));  // 100000 x 100000
  std::string bmp = encoded(".bmp", CV_8UC1);
  bmp.replace(18, 8, std::string("\x00\x00\x01\x00\x00\x00\xff\xff", 8));  // 65536 x -65536
  const std::pair<std::string, const char*> cases[] = {
      {png, "100000 x 100000"},
      {bmp, "65536 x 65536"},
      {"P5 # comment\n 9000 8000 255\n", "9000 x 8000"},
      {"P5 1 67108865 255\n", "1 x 67108865"},
      {"P5 8192 8192 255\n", ""},  // at the limit, however it is shaped: no refusal
      {"P5 67108864 1 255\n", ""},
      {"P5 1 67108864 255\n", ""}};
  test::TempDir dir;
  for (const auto& [content, size] : cases) {
    test::writeFile(dir.file("image"), content);
    const std::string refusal = imageRefusal(dir.file("image"));
    EXPECT_EQ(*size == '\0', refusal.empty()) << size;
    EXPECT_TRUE(test::holds(refusal, size));
  }
  EXPECT_EQ("", imageRefusal(dir.file("missing.png")));
}

}  // namespace
}  // namespace corvantis
