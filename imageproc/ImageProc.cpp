#include "imageproc/ImageProc.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <opencv2/imgproc.hpp>
#include <thread>

#include "imageproc/HarrisCorners.h"
#include "imageproc/ImageHeader.h"
#include "imageproc/ImageReader.h"
#include "workspace/FileNames.h"

namespace corvantis {

namespace {

using Histogram = std::array<std::int64_t, 256>;

// Harris corner parameters the reference signatures in the cells' stores were made with;
// the corner count is part of the signature, so they cannot change independently.
constexpr double kCornerQuality = 0.005;
constexpr double kCornerMinDistance = 7.0;
constexpr int kCornerBlockSize = 5;
constexpr double kHarrisK = 0.1;

// Deliberately not 180/pi: every stored reference Angle was computed with this truncated
// factor, and the +360 applied to negative angles means the image error of current
// against reference would drift if only one side used the exact value.
constexpr double kDegreesPerRadian = 57.295;

constexpr std::uint8_t kObject = 255;
constexpr std::uint8_t kBackground = 0;

Histogram histogramOf(const cv::Mat& image) {
  CV_Assert(image.type() == CV_8UC1);
  Histogram histogram{};
  for (int r = 0; r < image.rows; ++r) {
    const std::uint8_t* pixel = image.ptr<std::uint8_t>(r);
    for (int c = 0; c < image.cols; ++c) ++histogram[pixel[c]];
  }
  return histogram;
}

std::int32_t thresholdOf(const Histogram& histogram, std::int64_t pixelCount) {
  const auto target = static_cast<std::int64_t>(0.75 * static_cast<double>(pixelCount));
  std::int32_t level = 0;
  std::int64_t sum = histogram[0];
  while (sum < target && level < 255) sum += histogram[++level];
  return std::max(level - 1, 0);
}

// True when the 3x3 block around `p`, cut at the image edge, holds a background pixel.
// Outside the image does not count as background: an object reaching the edge is not
// bordered there.
bool touchesBackground(const cv::Mat& image, const PixelPoint& p) {
  const int firstRow = std::max(p.row - 1, 0);
  const int lastRow = std::min(p.row + 1, image.rows - 1);
  const int firstCol = std::max(p.col - 1, 0);
  const int lastCol = std::min(p.col + 1, image.cols - 1);
  for (int r = firstRow; r <= lastRow; ++r) {
    const std::uint8_t* pixel = image.ptr<std::uint8_t>(r);
    for (int c = firstCol; c <= lastCol; ++c) {
      if (pixel[c] == kBackground) return true;
    }
  }
  return false;
}

}  // namespace

ImageProc::ImageProc() : angle(-1.0), radius(-1.0), cornerCount(-1), fileTime(0) {}

ImageProc::~ImageProc() = default;

bool ImageProc::load(const std::string& path) {
  if (!defaultPlatform().fileExists(path)) {
    sourceImage = cv::Mat();
    loadError = "no such file or no permission to read it";
    return false;
  }
  // A pipe would never end and a header declaring a huge image would make a reader
  // allocate it first: both are refused before any reading.
  loadError = imageRefusal(path);
  if (!loadError.empty()) {
    sourceImage = cv::Mat();
    return false;
  }
  // The pixels as stored, never turned by a JPEG's EXIF orientation: the stored
  // reference signatures were made from them.
  const ReadResult result = readGreyImage(path, &sourceImage);
  if (result.outcome != ReadOutcome::kRead) {
    loadError = result.message;
    return false;
  }
  fileName = fileNameOf(path);
  fileTime = fileTimeOf(path);
  // Odd sizes give the image a middle pixel, the origin of the angle and radius.
  if (sourceImage.cols % 2 == 0 || sourceImage.rows % 2 == 0) makeOddSize();
  return true;
}

void ImageProc::makeOddSize() {
  const cv::Size size(sourceImage.cols + (sourceImage.cols % 2 == 0 ? 1 : 0),
                      sourceImage.rows + (sourceImage.rows % 2 == 0 ? 1 : 0));
  cv::Mat resized;
  cv::resize(sourceImage, resized, size, 0, 0, cv::INTER_AREA);
  sourceImage = resized;
}

std::int32_t ImageProc::computeThreshold() {
  return thresholdOf(histogramOf(equalizedImage), equalizedImage.total());
}

void ImageProc::binarize() { appendObjectPoints(binarizePixels()); }

std::size_t ImageProc::binarizePixels() {
  const Histogram histogram = histogramOf(equalizedImage);
  const std::int32_t threshold = thresholdOf(histogram, equalizedImage.total());
  // On the feature path nothing needs the equalised pixels afterwards, so they are
  // binarised in place instead of copied.
  if (binaryImage.empty()) binaryImage = equalizedImage;
  CV_Assert(binaryImage.type() == CV_8UC1 && binaryImage.size() == equalizedImage.size());
  for (std::int32_t r = 0; r < binaryImage.rows; ++r) {
    std::uint8_t* pixel = binaryImage.ptr<std::uint8_t>(r);
    for (std::int32_t c = 0; c < binaryImage.cols; ++c) {
      pixel[c] = pixel[c] > threshold ? kBackground : kObject;
    }
  }
  std::int64_t objectCount = 0;
  for (std::int32_t level = 0; level <= threshold; ++level) objectCount += histogram[level];
  return static_cast<std::size_t>(objectCount);
}

void ImageProc::appendObjectPoints(std::size_t objectCount) {
  // The histogram already told how many pixels are object, so the list is sized once
  // (with one spare slot) and filled without a branch: every pixel is written at the
  // end of the list, and the end moves on only for object pixels. At three quarters of
  // the pixels this runs several times faster than push_back.
  const std::size_t first = objectPoints.size();
  objectPoints.resize(first + objectCount + 1);
  PixelPoint* out = objectPoints.data() + first;
  PixelPoint* const last = out + objectCount;
  for (std::int32_t r = 0; r < binaryImage.rows; ++r) {
    const std::uint8_t* pixel = binaryImage.ptr<std::uint8_t>(r);
    for (std::int32_t c = 0; c < binaryImage.cols && out <= last; ++c) {
      *out = {r, c};
      out += pixel[c] == kObject ? 1 : 0;
    }
  }
  CV_Assert(out == last);
  objectPoints.pop_back();
}

void ImageProc::appendBorderOfBinaryImage() {
  borderImage = binaryImage;
  const cv::Mat& image = borderImage;
  for (std::int32_t r = 0; r < image.rows; ++r) {
    const std::uint8_t* pixel = image.ptr<std::uint8_t>(r);
    const bool innerRow = r > 0 && r < image.rows - 1;
    const std::uint8_t* above = innerRow ? image.ptr<std::uint8_t>(r - 1) : nullptr;
    const std::uint8_t* below = innerRow ? image.ptr<std::uint8_t>(r + 1) : nullptr;
    for (std::int32_t c = 0; c < image.cols; ++c) {
      if (pixel[c] != kObject) continue;
      bool bordered;
      if (innerRow && c > 0 && c < image.cols - 1) {
        bordered = above[c - 1] == kBackground || above[c] == kBackground ||
                   above[c + 1] == kBackground || pixel[c - 1] == kBackground ||
                   pixel[c + 1] == kBackground || below[c - 1] == kBackground ||
                   below[c] == kBackground || below[c + 1] == kBackground;
      } else {
        bordered = touchesBackground(image, {r, c});
      }
      if (bordered) borderPoints.push_back({r, c});
    }
  }
}

void ImageProc::detectCorners() {
  if (cornersImage.empty()) cornersImage = binaryImage;
  const std::vector<cv::Point2f> found =
      findHarrisCorners(cornersImage, {static_cast<int>(kCornerCapacity), kCornerQuality,
                                       kCornerMinDistance, kCornerBlockSize, kHarrisK});
  const std::size_t count = std::min(found.size(), kCornerCapacity);
  std::copy_n(found.begin(), count, corners.begin());
  cornerCount = static_cast<std::int32_t>(count);
}

void ImageProc::extractBorder() {
  if (borderImage.empty()) borderImage = binaryImage;
  CV_Assert(borderImage.type() == CV_8UC1);
  for (const PixelPoint& p : objectPoints) {
    if (touchesBackground(borderImage, p)) borderPoints.push_back(p);
  }
}

void ImageProc::computeAngleAndRadius() {
  if (borderPoints.empty()) {
    angle = 0.0;
    radius = 0.0;
    return;
  }
  const std::int32_t centreRow = sourceImage.rows / 2;
  const std::int32_t centreCol = sourceImage.cols / 2;
  // Integer terms summed in double: exact for any image that fits in memory.
  double sumUp = 0.0;
  double sumRight = 0.0;
  for (const PixelPoint& p : borderPoints) {
    sumUp += centreRow - p.row;
    sumRight += p.col - centreCol;
  }
  const double count = static_cast<double>(borderPoints.size());
  const double meanUp = sumUp / count;
  const double meanRight = sumRight / count;
  radius = std::sqrt(meanUp * meanUp + meanRight * meanRight);
  angle = std::atan2(meanUp, meanRight) * kDegreesPerRadian;
  if (angle < 0.0) angle += 360.0;
}

void ImageProc::prepare() {
  cv::equalizeHist(sourceImage, equalizedImage);
  // Clones keep every stage's pixels intact for the display.
  binaryImage = equalizedImage.clone();
  binarize();
  if (objectPoints.empty()) return;
  cornersImage = binaryImage.clone();
  detectCorners();
  borderImage = binaryImage.clone();
  extractBorder();
  computeAngleAndRadius();
}

FeatureVector ImageProc::getFeatureVector() {
  // Unlike prepare, this path shares one pixel buffer between the equalised, binary,
  // corners and border images: only the numbers are wanted, and a check runs on
  // images of many megapixels thousands of times a day.
  cv::equalizeHist(sourceImage, equalizedImage);
  const std::size_t objectCount = binarizePixels();
  if (objectCount > 0) {
    // The corner search reads only the binary pixels and the border scan only those;
    // neither writes what the other reads, so the corners (the library's Harris step,
    // most of the time of an analysis) are found on a second core meanwhile. The border
    // comes from the binary image in the row-major order of the object points, which
    // are listed only afterwards: at three quarters of the pixels, 8 bytes each, they
    // would otherwise be held through the Harris step's own peak of memory.
    std::exception_ptr cornerFailure;
    std::thread cornerSearch([this, &cornerFailure] {
      try {
        detectCorners();
      } catch (...) {
        cornerFailure = std::current_exception();
      }
    });
    try {
      appendBorderOfBinaryImage();
      computeAngleAndRadius();
    } catch (...) {
      cornerSearch.join();
      throw;
    }
    cornerSearch.join();
    if (cornerFailure) std::rethrow_exception(cornerFailure);
  }
  appendObjectPoints(objectCount);
  // Without object pixels the later products stay missing; prepare then finds the same
  // and the not-computed markers themselves become the signature (0, 0, -1, -1, -1).
  if (binaryImage.empty()) prepare();
  featureValues.push_back(static_cast<double>(objectPoints.size()));
  if (borderImage.empty()) prepare();
  featureValues.push_back(static_cast<double>(borderPoints.size()));
  if (cornersImage.empty()) prepare();
  featureValues.push_back(static_cast<double>(cornerCount));
  if (notComputed(angle)) prepare();
  featureValues.push_back(angle);
  if (notComputed(radius)) prepare();
  featureValues.push_back(radius);
  return featureValues;
}

cv::Mat ImageProc::getSourceImage() const { return sourceImage; }

cv::Mat ImageProc::getEqualizedImage() {
  if (equalizedImage.empty()) prepare();
  return equalizedImage;
}

cv::Mat ImageProc::getBinaryImage() {
  if (binaryImage.empty()) prepare();
  return binaryImage;
}

cv::Mat ImageProc::getCornersImage() {
  if (cornersImage.empty()) prepare();
  const std::int32_t count = std::min<std::int32_t>(cornerCount, kCornerCapacity);
  for (std::int32_t i = 0; i < count; ++i) {
    // cvRound rounds halves to even, so a corner at x = 10.5 is drawn on column 10.
    const cv::Point centre(cvRound(corners[i].x), cvRound(corners[i].y));
    cv::circle(cornersImage, centre, 5, cv::Scalar(120, 0, 0, 0), 1, cv::LINE_8, 0);
  }
  return cornersImage;
}

cv::Mat ImageProc::getBorderImage() {
  if (borderImage.empty()) prepare();
  borderImage.setTo(kBackground);
  for (const PixelPoint& p : borderPoints) borderImage.ptr<std::uint8_t>(p.row)[p.col] = kObject;
  return borderImage;
}

std::string ImageProc::getFileName() const { return fileName; }

std::uint64_t ImageProc::readFileTime(const std::string& path) {
  fileTime = fileTimeOf(path);
  return fileTime;
}

}  // namespace corvantis
