// The fast readers against cv::imread itself, on a generated corpus of every variant
// they claim and several they leave to the library, and on damaged files.
#include "imageproc/ImageReader.h"

#include <gtest/gtest.h>
#include <jpeglib.h>
#include <png.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <opencv2/core/utils/logger.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

#include "test/TestUtil.h"

namespace corvantis {
namespace {

using Bytes = std::string;

// A camera-like colour capture: gradients in every channel, a dark part and noise.
cv::Mat scene(int rows, int cols) {
  cv::Mat image(rows, cols, CV_8UC3), noise(rows, cols, CV_8UC3);
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c)
      image.at<cv::Vec3b>(r, c) = cv::Vec3b(200 * c / cols, 215 * r / rows, (r * 7 + c * 13) % 256);
  }
  cv::RNG(rows * 1000 + cols).fill(noise, cv::RNG::UNIFORM, 0, 40);
  image += noise;
  cv::rectangle(image, cv::Rect(cols / 4, rows / 4, cols / 3, rows / 3), {20, 30, 10}, cv::FILLED);
  return image;
}

void put32(Bytes* b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) (*b)[at + i] = static_cast<char>(v >> (8 * i));
}

// A BMP of `image`. Up to 8 bits a pixel the pixels are indices into a coloured palette;
// `rle` compresses 4 and 8-bit rows in runs; a negative-height file is stored top-down.
Bytes bmp(const cv::Mat& image, int bits, bool topDown = false, bool rle = false) {
  Bytes palette, pixels;
  for (int i = 0; i < (bits <= 8 ? 1 << bits : 0); ++i)
    palette += {char(i * 37), char(255 - i * 11), char(i * 90), 0};
  for (int y = 0; y < image.rows; ++y) {
    const cv::Vec3b* row = image.ptr<cv::Vec3b>(topDown ? y : image.rows - 1 - y);
    Bytes line(rle ? 0 : ((image.cols * bits + 7) / 8 + 3) & ~3, '\0');
    for (int x = 0; x < image.cols; ++x) {
      const cv::Vec3b p = row[x];
      const int index = bits <= 8 ? (p[1] + p[2]) / 2 >> (8 - bits) : 0;
      const int v555 = p[0] >> 3 | (p[1] >> 3) << 5 | (p[2] >> 3) << 10;
      if (rle) {  // one run a pixel: the simplest valid encoding
        line += {char(1), char(bits == 4 ? index << 4 : index)};
      } else if (bits <= 8) {
        line[x * bits / 8] = char(line[x * bits / 8] | index << (8 - bits - x * bits % 8));
      } else {
        for (int i = 0; i < bits / 8; ++i)
          line[x * bits / 8 + i] = char(bits == 16 ? v555 >> 8 * i : i < 3 ? p[i] : x);
      }
    }
    pixels += rle ? line + Bytes{0, 0} : line;  // a run list ends in end-of-line
  }
  if (rle) pixels += Bytes{0, 1};
  Bytes file = "BM" + Bytes(52, '\0');
  put32(&file, 2, 54 + palette.size() + pixels.size());
  put32(&file, 10, 54 + palette.size());
  put32(&file, 14, 40);
  put32(&file, 18, image.cols);
  put32(&file, 22, topDown ? -image.rows : image.rows);
  put32(&file, 26, 1 | bits << 16);
  put32(&file, 30, rle ? (bits == 8 ? 1 : 2) : 0);
  return file + palette + pixels;
}

struct PngKind {
  int colourType;
  int depth = 8;
  bool gamma = false, srgb = false, interlaced = false;
};

// A PNG of `image` written by libpng: grey from the green channel (its low bits below 8
// bits a sample, and as indices into a 16-entry palette), a varying alpha where the kind
// has one, and noise in the low byte of 16-bit samples.
Bytes png(const cv::Mat& image, const PngKind& k) {
  std::vector<cv::Mat> bgr;
  cv::split(image, bgr);
  std::vector<cv::Mat> planes = {bgr[1]};
  if (k.colourType == PNG_COLOR_TYPE_RGB || k.colourType == PNG_COLOR_TYPE_RGB_ALPHA)
    planes = {bgr[2], bgr[1], bgr[0]};
  if (k.colourType & PNG_COLOR_MASK_ALPHA) planes.push_back(bgr[0] ^ bgr[1]);
  cv::Mat pixels, low;
  cv::merge(planes, pixels);
  if (k.colourType == PNG_COLOR_TYPE_PALETTE || k.depth < 8)
    pixels &= cv::Scalar::all((1 << std::min(k.depth, 4)) - 1);
  if (k.depth == 16) {
    pixels.convertTo(pixels, CV_16U, 256);
    low.create(pixels.size(), pixels.type());
    cv::randu(low, 0, 256);
    pixels += low;
  }
  Bytes content;
  png_structp w = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(w);
  png_set_write_fn(
      w, &content,
      [](png_structp p, png_bytep data, png_size_t n) {
        static_cast<Bytes*>(png_get_io_ptr(p))->append(reinterpret_cast<char*>(data), n);
      },
      nullptr);
  png_set_IHDR(w, info, image.cols, image.rows, k.depth, k.colourType,
               k.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, 0, 0);
  png_color palette[16];
  for (int i = 0; i < 16; ++i) palette[i] = {png_byte(i * 16), png_byte(255 - i * 9), png_byte(i)};
  if (k.colourType == PNG_COLOR_TYPE_PALETTE) png_set_PLTE(w, info, palette, 16);
  if (k.gamma) png_set_gAMA(w, info, 1 / 1.8);
  if (k.srgb) png_set_sRGB(w, info, PNG_sRGB_INTENT_PERCEPTUAL);
  png_write_info(w, info);
  png_set_packing(w);  // one sample a byte in `pixels`, as few bits as the depth in the file
  png_set_swap(w);     // 16-bit samples in the machine's (little-endian) order
  std::vector<png_bytep> rows;
  for (int r = 0; r < pixels.rows; ++r) rows.push_back(pixels.ptr(r));
  png_write_image(w, rows.data());
  png_write_end(w, info);
  png_destroy_write_struct(&w, &info);
  return content;
}

// An Adobe-style four-component JPEG, which libjpeg cannot turn into grey itself.
Bytes cmykJpeg(const cv::Mat& image) {
  jpeg_compress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &out, &size);
  info.image_width = image.cols, info.image_height = image.rows;
  info.input_components = 4, info.in_color_space = JCS_CMYK;
  jpeg_set_defaults(&info);
  jpeg_start_compress(&info, TRUE);
  cv::Mat cmyk, k;
  cv::extractChannel(image, k, 2);
  cv::merge(std::vector<cv::Mat>{image, 255 - k}, cmyk);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = cmyk.ptr(static_cast<int>(info.next_scanline));
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  const Bytes content(reinterpret_cast<char*>(out), size);
  std::free(out);
  return content;
}

using Maker = std::function<Bytes(const cv::Mat&)>;
Maker bmpOf(int bits, bool topDown = false, bool rle = false) {
  return [=](const cv::Mat& m) { return bmp(m, bits, topDown, rle); };
}
Maker pngOf(const PngKind& k) {
  return [=](const cv::Mat& m) { return png(m, k); };
}
// Encoded by the library, in colour or (`grey`) after conversion.
Maker libraryOf(const std::string& extension, bool grey = false, std::vector<int> params = {}) {
  return [=](const cv::Mat& m) {
    cv::Mat image = m;
    if (grey) cv::cvtColor(m, image, cv::COLOR_BGR2GRAY);
    std::vector<uchar> buffer;
    EXPECT_TRUE(cv::imencode(extension, image, buffer, params));
    return Bytes(buffer.begin(), buffer.end());
  };
}

const std::vector<int> kProgressive = {cv::IMWRITE_JPEG_PROGRESSIVE, 1};
const struct Variant {
  const char* name;
  bool fast;  // read by the fast readers; otherwise declined for cv::imread
  Maker make;
} kVariants[] = {
    {"bmp 1 bit", true, bmpOf(1)},
    {"bmp 4 bits", true, bmpOf(4)},
    {"bmp 8 bits", true, bmpOf(8)},
    {"bmp 8 bits top-down", true, bmpOf(8, true)},
    {"bmp 24 bits", true, bmpOf(24)},
    {"bmp 24 bits top-down", true, bmpOf(24, true)},
    {"bmp 32 bits", true, bmpOf(32)},
    {"bmp grey by the library", true, libraryOf(".bmp", true)},
    {"bmp 16 bits", false, bmpOf(16)},
    {"bmp rle4", false, bmpOf(4, false, true)},
    {"bmp rle8", false, bmpOf(8, false, true)},
    {"png grey", true, pngOf({PNG_COLOR_TYPE_GRAY})},
    {"png grey 2 bits", true, pngOf({PNG_COLOR_TYPE_GRAY, 2})},
    {"png grey 4 bits", true, pngOf({PNG_COLOR_TYPE_GRAY, 4})},
    {"png grey 16 bits", true, pngOf({PNG_COLOR_TYPE_GRAY, 16})},
    {"png grey alpha", true, pngOf({PNG_COLOR_TYPE_GA})},
    {"png palette", true, pngOf({PNG_COLOR_TYPE_PALETTE})},
    {"png palette 4 bits", true, pngOf({PNG_COLOR_TYPE_PALETTE, 4})},
    {"png rgb", true, pngOf({PNG_COLOR_TYPE_RGB})},
    {"png rgb interlaced", true, pngOf({PNG_COLOR_TYPE_RGB, 8, false, false, true})},
    {"png rgb gAMA", true, pngOf({PNG_COLOR_TYPE_RGB, 8, true})},
    {"png rgb sRGB", true, pngOf({PNG_COLOR_TYPE_RGB, 8, false, true})},
    {"png rgb 16 bits gAMA", true, pngOf({PNG_COLOR_TYPE_RGB, 16, true})},
    {"png rgba", true, pngOf({PNG_COLOR_TYPE_RGB_ALPHA})},
    {"png rgba 16 bits sRGB", true, pngOf({PNG_COLOR_TYPE_RGB_ALPHA, 16, false, true})},
    {"jpeg colour", true, libraryOf(".jpg")},
    {"jpeg grey", true, libraryOf(".jpg", true)},
    {"jpeg colour progressive", true, libraryOf(".jpg", false, kProgressive)},
    {"jpeg grey progressive", true, libraryOf(".jpg", true, kProgressive)},
    {"jpeg cmyk", false, cmykJpeg},
    {"tiff", false, libraryOf(".tiff")},
    {"pgm", false, libraryOf(".pgm", true)}};

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

TEST_F(ImageReaderTest, EveryVariantReadsAsTheLibraryReadsIt) {
  for (const cv::Size size : {cv::Size(37, 23), cv::Size(64, 48)}) {
    const cv::Mat image = scene(size.height, size.width);
    for (const Variant& v : kVariants) {
      SCOPED_TRACE(std::string(v.name) + " " + std::to_string(size.width));
      const std::string path = write("image", v.make(image));
      const cv::Mat expected = libraryRead(path);
      ASSERT_FALSE(expected.empty()) << "the library cannot read the corpus file";
      cv::Mat fast, any;
      EXPECT_EQ(v.fast ? ReadOutcome::kRead : ReadOutcome::kDeclined,
                readFast(path, &fast).outcome);
      EXPECT_TRUE(!v.fast || samePixels(fast, expected));
      ASSERT_EQ(ReadOutcome::kRead, readGreyImage(path, &any).outcome);
      EXPECT_TRUE(samePixels(any, expected));
    }
  }
}

// Cut at many lengths and with header bytes overwritten, every file either reads
// exactly as the library reads it or fails as it does; nothing crashes. A JPEG cut short,
// as a capture still being written is, fails on both paths although the library reads it
// with grey rows.
TEST_F(ImageReaderTest, DamagedFilesReadOrFailAsTheLibraryDoes) {
  const cv::Mat image = scene(23, 37);
  for (const Variant& v : kVariants) {
    const Bytes whole = v.make(image);
    const bool jpeg = whole.compare(0, 3, "\xFF\xD8\xFF") == 0;
    if (!v.fast && !jpeg) continue;
    SCOPED_TRACE(v.name);
    std::vector<Bytes> damaged;
    for (std::size_t cut = 0; cut < whole.size(); cut += 1 + whole.size() / 40)
      damaged.push_back(whole.substr(0, cut));
    for (std::size_t at = 0; at < std::min<std::size_t>(whole.size(), 64); ++at) {
      for (const char value : {'\x00', '\x7f', '\xff'}) {
        damaged.push_back(whole);
        damaged.back()[at] = value;
      }
    }
    for (std::size_t i = 0; i < damaged.size(); ++i) {
      const std::string path = write("damaged", damaged[i]);
      cv::Mat ours;
      const ReadResult result = readGreyImage(path, &ours);
      EXPECT_NE(ReadOutcome::kDeclined, result.outcome);
      EXPECT_EQ(result.outcome == ReadOutcome::kRead, !ours.empty()) << i;
      if (jpeg && damaged[i].size() < whole.size()) {
        EXPECT_EQ(ReadOutcome::kFailed, result.outcome) << "cut at " << damaged[i].size();
        continue;
      }
      // The refusals of our own: a size the library would still try to allocate, and
      // JPEG data that libjpeg finds corrupt.
      if (result.message.find("too large") == std::string::npos &&
          result.message.find("cut short or damaged") == std::string::npos) {
        EXPECT_TRUE(samePixels(ours, libraryRead(path)))
            << "damaged file " << i << ": " << result.message;
      }
    }
  }
}

TEST_F(ImageReaderTest, AbsurdSizesAreRefusedBeforeReading) {
  const cv::Mat image = scene(8, 8);
  Bytes hugeBmp = bmp(image, 24);
  put32(&hugeBmp, 18, 0x10000), put32(&hugeBmp, 22, 0x10000);
  Bytes hugeJpeg = libraryOf(".jpg")(image);
  const std::size_t sof = hugeJpeg.find("\xFF\xC0");
  hugeJpeg.replace(sof + 5, 4, "\xff\xff\xff\xff");
  for (const auto& [name, content] :
       {std::pair{"huge.bmp", hugeBmp}, std::pair{"huge.jpg", hugeJpeg},
        std::pair{"huge.pgm", Bytes("P5\n100000 100000\n255\n")}}) {
    cv::Mat ours;
    const ReadResult result = readGreyImage(write(name, content), &ours);
    EXPECT_EQ(ReadOutcome::kFailed, result.outcome) << name;
    EXPECT_TRUE(ours.empty() && !result.message.empty()) << name;
  }
  using Size = std::pair<std::uint64_t, std::uint64_t>;
  for (const auto& [w, h] : {Size{8192, 8192}, Size{kMaxImagePixels, 1}, Size{1, kMaxImagePixels}})
    EXPECT_EQ(ReadOutcome::kRead, checkImageSize(w, h).outcome) << w << " x " << h;
  for (const auto& [w, h] : {Size{8192, 8193}, Size{kMaxImagePixels + 1, 1}, Size{0, 1}, Size{1, 0},
                             Size{0xffffffffu, 0xffffffffu}})
    EXPECT_EQ(ReadOutcome::kFailed, checkImageSize(w, h).outcome) << w << " x " << h;
}

}  // namespace
}  // namespace corvantis
