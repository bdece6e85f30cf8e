// The fast readers against cv::imread itself, on a generated corpus of every variant
// they claim and several they leave to the library, and on damaged files.
#include "imageproc/ImageReader.h"

#include <gtest/gtest.h>
#include <jpeglib.h>
#include <png.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <opencv2/core/utils/logger.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

#include "imageproc/ImageProc.h"
#include "test/TestPlatform.h"
#include "test/TestUtil.h"

namespace corvantis {
namespace {

using Bytes = std::string;

// Noise of `type` with samples below `limit`: every level and bit pattern occurs, as in
// a noisy capture.
cv::Mat noise(cv::Size size, int type, double limit = 256) {
  cv::Mat m(size, type);
  cv::randu(m, 0, limit);
  return m;
}

using Maker = std::function<Bytes(cv::Size)>;

// BMPs of noise: `bits` a pixel, up to 8 of them indices into a palette; `rle` stores
// 8-bit rows in runs; an info header of `infoSize` bytes, zero past the first 40.
Maker bmp(int bits, bool topDown = false, bool rle = false, int infoSize = 40) {
  return [=](cv::Size size) {
    Bytes palette, pixels;
    if (bits <= 8) palette.assign(noise({4 << bits, 1}, CV_8UC1).ptr<char>(), 4 << bits);
    const cv::Mat rows = noise({((size.width * bits + 7) / 8 + 3) & ~3, size.height}, CV_8UC1);
    if (!rle) pixels.assign(rows.ptr<char>(), rows.total());
    for (int y = 0; rle && y < rows.rows; ++y) {  // a run a pixel, then an end of line
      for (int x = 0; x < size.width; ++x) pixels += {char(1), rows.at<char>(y, x)};
      pixels += Bytes{0, 0};
    }
    if (rle) pixels += Bytes{0, 1};
    // After "BM", the words of the file header and the info header's first 40 bytes, little-endian
    // as on this machine: size, reserved, pixel offset, info size, width, height (negative: rows
    // top-down), planes and bits, compression.
    const auto offset = static_cast<std::int32_t>(14 + infoSize + palette.size());
    const auto end = offset + static_cast<std::int32_t>(pixels.size());
    const std::int32_t header[13] = {
        end, 0, offset, infoSize, size.width, topDown ? -size.height : size.height, 1 | bits << 16,
        rle};
    return "BM" + Bytes(reinterpret_cast<const char*>(header), sizeof header) +
           Bytes(infoSize - 40, '\0') + palette + pixels;
  };
}

enum PngExtras { kGamma = 1, kSrgb = 2, kInterlaced = 4 };

// PNGs of noise written by libpng; a palette has 16 entries.
Maker png(int type, int depth = 8, int extras = 0) {
  return [=](cv::Size size) {
    const int channels = type == PNG_COLOR_TYPE_PALETTE ? 1 : 1 + (type & 2) + (type >> 2 & 1);
    const cv::Mat pixels = noise(size, CV_MAKETYPE(depth == 16 ? CV_16U : CV_8U, channels),
                                 type == PNG_COLOR_TYPE_PALETTE ? 16 : 1 << depth);
    Bytes content;
    png_structp w = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(w);
    png_set_write_fn(
        w, &content,
        [](png_structp p, png_bytep data, png_size_t n) {
          static_cast<Bytes*>(png_get_io_ptr(p))->append(reinterpret_cast<char*>(data), n);
        },
        nullptr);
    png_set_IHDR(w, info, size.width, size.height, depth, type,
                 extras & kInterlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, 0, 0);
    const cv::Mat palette = noise({16, 1}, CV_8UC3);
    if (type == PNG_COLOR_TYPE_PALETTE) png_set_PLTE(w, info, palette.ptr<png_color>(), 16);
    if (extras & kGamma) png_set_gAMA(w, info, 1 / 1.8);
    if (extras & kSrgb) png_set_sRGB(w, info, PNG_sRGB_INTENT_PERCEPTUAL);
    std::vector<png_bytep> rows;
    for (int r = 0; r < pixels.rows; ++r) rows.push_back(const_cast<png_bytep>(pixels.ptr(r)));
    png_set_rows(w, info, rows.data());
    // One sample a byte in `pixels`, as few bits as the depth in the file; 16-bit samples
    // in the machine's (little-endian) order.
    png_write_png(w, info, PNG_TRANSFORM_PACKING | PNG_TRANSFORM_SWAP_ENDIAN, nullptr);
    png_destroy_write_struct(&w, &info);
    return content;
  };
}

// An Adobe-style four-component JPEG of noise, which libjpeg cannot turn into grey itself.
Bytes cmykJpeg(cv::Size size) {
  jpeg_compress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* out = nullptr;
  unsigned long length = 0;
  jpeg_mem_dest(&info, &out, &length);
  info.image_width = size.width, info.image_height = size.height;
  info.input_components = 4, info.in_color_space = JCS_CMYK;
  jpeg_set_defaults(&info);
  jpeg_start_compress(&info, TRUE);
  const cv::Mat cmyk = noise(size, CV_8UC4);
  for (JSAMPROW row = cmyk.data; info.next_scanline < info.image_height; row += cmyk.step)
    jpeg_write_scanlines(&info, &row, 1);
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  const Bytes content(reinterpret_cast<char*>(out), length);
  std::free(out);
  return content;
}

// Noise encoded by the library, in colour or (`grey`) in one channel.
Maker libraryOf(const std::string& extension, bool grey = false, std::vector<int> params = {}) {
  return [=](cv::Size size) {
    std::vector<uchar> buffer;
    EXPECT_TRUE(cv::imencode(extension, noise(size, grey ? CV_8UC1 : CV_8UC3), buffer, params));
    return Bytes(buffer.begin(), buffer.end());
  };
}

const struct Variant {
  const char* name;
  bool fast;  // read by the fast readers; otherwise declined for cv::imread
  Maker make;
} kVariants[] = {
    {"bmp 1 bit", true, bmp(1)},
    {"bmp 4 bits", true, bmp(4)},
    {"bmp 8 bits top-down", true, bmp(8, true)},
    {"bmp 8 bits version 4 header", true, bmp(8, false, false, 108)},
    {"bmp 24 bits", true, bmp(24)},
    {"bmp 32 bits top-down", true, bmp(32, true)},
    {"bmp grey by the library", true, libraryOf(".bmp", true)},
    {"bmp 16 bits", false, bmp(16)},
    {"bmp rle8", false, bmp(8, false, true)},
    {"png grey by the library", true, libraryOf(".png", true)},
    {"png grey 2 bits", true, png(PNG_COLOR_TYPE_GRAY, 2)},
    {"png grey alpha 16 bits", true, png(PNG_COLOR_TYPE_GA, 16)},
    {"png palette 4 bits", true, png(PNG_COLOR_TYPE_PALETTE, 4)},
    {"png rgb by the library", true, libraryOf(".png")},
    {"png rgb interlaced gAMA", true, png(PNG_COLOR_TYPE_RGB, 8, kGamma | kInterlaced)},
    {"png rgba 16 bits sRGB", true, png(PNG_COLOR_TYPE_RGB_ALPHA, 16, kSrgb)},
    {"jpeg colour", true, libraryOf(".jpg")},
    {"jpeg grey progressive", true, libraryOf(".jpg", true, {cv::IMWRITE_JPEG_PROGRESSIVE, 1})},
    {"jpeg cmyk", false, cmykJpeg},
    {"tiff", false, libraryOf(".tiff")}};

// What the library reads; empty when it fails, also by an exception.
cv::Mat libraryRead(const std::string& path) {
  try {
    return cv::imread(path, cv::IMREAD_GRAYSCALE | cv::IMREAD_IGNORE_ORIENTATION);
  } catch (const cv::Exception&) {
    return cv::Mat();
  }
}

// Both empty, or the same size and the same grey levels.
bool samePixels(const cv::Mat& a, const cv::Mat& b) {
  return (a.empty() && b.empty()) ||
         (a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0);
}

class ImageReaderTest : public ::testing::Test {
 protected:
  // The library's warnings about the damaged files would bury the test output.
  void SetUp() override { cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_ERROR); }
  std::string write(const std::string& name, const Bytes& content) {
    test::writeFile(dir_.file(name), content);
    return dir_.file(name);
  }
  test::TempDir dir_;
};

// The largest size spans several of the pieces the readers take the file in.
TEST_F(ImageReaderTest, EveryVariantReadsAsTheLibraryReadsIt) {
  for (const cv::Size size : {cv::Size(37, 23), cv::Size(64, 48), cv::Size(311, 173)}) {
    for (const Variant& v : kVariants) {
      SCOPED_TRACE(std::string(v.name) + " " + std::to_string(size.width));
      const std::string path = write("image", v.make(size));
      const cv::Mat expected = libraryRead(path);
      ASSERT_FALSE(expected.empty()) << "the library cannot read the corpus file";
      cv::Mat fast, any;
      const Status fastRead = readFast(defaultPlatform(), path, &fast);
      EXPECT_EQ(v.fast, fastRead.ok());
      EXPECT_EQ(!v.fast, fastRead.isNotSupported());
      EXPECT_TRUE(!v.fast || samePixels(fast, expected));
      ASSERT_TRUE(readGreyImage(defaultPlatform(), path, &any).ok());
      EXPECT_TRUE(samePixels(any, expected));
    }
  }
}

// Cut at many lengths and with header bytes overwritten, every file either reads
// exactly as the library reads it or fails as it does; nothing crashes. A file cut short
// in its pixels, as a capture still being written is, fails with a reason a person can
// act on: a JPEG although the library reads it with grey rows, a PNG or BMP where the
// library's reason would be its codec's.
TEST_F(ImageReaderTest, DamagedFilesReadOrFailAsTheLibraryDoes) {
  for (const Variant& v : kVariants) {
    const Bytes whole = v.make({37, 23});
    const bool jpeg = whole.compare(0, 3, "\xFF\xD8\xFF") == 0;
    if (!v.fast && !jpeg) continue;
    SCOPED_TRACE(v.name);
    std::vector<Bytes> damaged;
    for (std::size_t cut = 0; cut < whole.size(); cut += 1 + whole.size() / 40)
      damaged.push_back(whole.substr(0, cut));
    for (std::size_t at = 0; at < std::min<std::size_t>(whole.size(), 64); ++at) {
      for (const char value : {'\x00', '\x7f', '\xff'})
        damaged.push_back(whole.substr(0, at) + value + whole.substr(at + 1));
    }
    for (const Bytes& file : damaged) {
      const std::string path = write("damaged", file);
      cv::Mat ours;
      const Status result = readGreyImage(defaultPlatform(), path, &ours);
      EXPECT_FALSE(result.isNotSupported());
      EXPECT_EQ(result.ok(), !ours.empty()) << file.size();
      // Besides a JPEG cut short, the refusals of our own: a size the library would still
      // try to allocate, and JPEG data that libjpeg finds corrupt.
      const bool cut = file.size() < whole.size();
      if (cut) {
        EXPECT_FALSE(result.ok()) << "cut at " << file.size();
      }
      // The last quarter of each file lies in its pixel data, past any header or palette.
      if (cut && file.size() * 4 >= whole.size() * 3) {
        EXPECT_NE(std::string::npos, result.message().find("cut short")) << result.message();
      } else if (!cut && result.message().find("too large") == std::string::npos &&
                 result.message().find("cut short or damaged") == std::string::npos) {
        EXPECT_TRUE(samePixels(ours, libraryRead(path))) << file.size() << ": " << result.message();
      }
    }
  }
}

// Sizes over the limit fail before any pixel memory is allocated (the damaged BMP and PNG
// files show it too). A BMP row longer than the library can count in an int is left to
// it, however whole the file.
TEST_F(ImageReaderTest, AbsurdSizesAreRefusedBeforeReading) {
  Bytes longRow = bmp(32)({8, 8}).substr(0, 54);
  const std::int32_t longSize[] = {static_cast<std::int32_t>(kMaxImagePixels), 1};
  longRow.replace(18, sizeof longSize, reinterpret_cast<const char*>(longSize), sizeof longSize);
  const std::string path = write("long.bmp", longRow);
  std::filesystem::resize_file(path, 54 + 4 * kMaxImagePixels);  // zeros, sparse on disk
  cv::Mat ours;
  EXPECT_TRUE(readFast(defaultPlatform(), path, &ours).isNotSupported());
  // A JPEG's frame header lies beyond the bytes the damaged files overwrite.
  Bytes hugeJpeg = libraryOf(".jpg")({8, 8});
  hugeJpeg.replace(hugeJpeg.find("\xFF\xC0") + 5, 4, "\xff\xff\xff\xff");
  const Status huge = readGreyImage(defaultPlatform(), write("huge.jpg", hugeJpeg), &ours);
  EXPECT_FALSE(huge.ok() || huge.isNotSupported());
  using Size = std::pair<std::uint64_t, std::uint64_t>;
  for (const auto& [w, h] : {Size{8192, 8192}, Size{kMaxImagePixels, 1}, Size{1, kMaxImagePixels}})
    EXPECT_TRUE(checkImageSize(w, h).ok()) << w << " x " << h;
  for (const auto& [w, h] : {Size{8192, 8193}, Size{kMaxImagePixels + 1, 1}, Size{0, 1}, Size{1, 0},
                             Size{0xffffffffu, 0xffffffffu}})
    EXPECT_FALSE(checkImageSize(w, h).ok()) << w << " x " << h;
}

// A capture the system fails to read (a disk error, a network share gone), at its start
// or half-way through its pixels, is no image, whatever its format and reader, and the
// analyser says why in the system's words: the check prints "cannot read image <path>:
// Input/output error". The captures beside it still load.
TEST_F(ImageReaderTest, AReadTheSystemFailsReachesTheCallerWithItsReason) {
  const cv::Size size(311, 173);
  for (const char* format : {".png", ".bmp", ".jpg", ".tiff"}) {
    const Bytes capture = libraryOf(format)(size);
    const std::string broken = write(std::string("broken") + format, capture);
    const std::string whole = write(std::string("whole") + format, capture);
    // The library reads the files it takes by itself; only their first bytes pass here.
    const bool fast = std::string(format) != ".tiff";
    for (std::uint64_t after : {std::uint64_t{0}, fast ? capture.size() / 2 : 4}) {
      SCOPED_TRACE(format + std::string(" failing after ") + std::to_string(after));
      test::TestPlatform platform;
      if (after == 0) platform.failOn("openForReading", "broken", "Input/output error");
      if (after > 0) platform.failReadsAfter(after, "broken", "Input/output error");
      ImageProc analyser(platform);
      const Status failed = analyser.load(broken);
      EXPECT_FALSE(failed.ok() || failed.isNotSupported());
      EXPECT_EQ("Input/output error", failed.message());
      EXPECT_TRUE(analyser.getSourceImage().empty());
      EXPECT_TRUE(analyser.load(whole).ok());
      EXPECT_EQ(size, analyser.getSourceImage().size());
    }
  }
}

}  // namespace
}  // namespace corvantis
