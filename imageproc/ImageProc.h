// The analyser of one image: loads it as 8-bit grey levels with odd width and height,
// takes its darker part as the object, and reduces it to a shape signature.
//
// The results are public members so that the driver and the tests can read (and set up)
// every stage. Each product has a not-computed marker: an image without pixels,
// `cornerCount` -1, `angle` and `radius` -1.0. Readers that find their product missing
// run the whole pipeline (`prepare`) first. The point lists and `featureValues` are only
// ever appended to; an analyser serves one image. Not thread-safe; OpenCV errors are not
// caught here and reach the caller as cv::Exception.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "workspace/FeatureVector.h"

namespace corvantis {

// Most corners one image can report; the capacity of `ImageProc::corners`.
constexpr std::size_t kCornerCapacity = 500;

// True while `angle` or `radius` holds its not-computed marker: both start at -1.0 and
// are never negative once computed.
inline bool notComputed(double measure) { return std::trunc(measure) == -1.0; }

// A pixel position in the analysed image, row 0 at the top.
struct PixelPoint {
  std::int32_t row;
  std::int32_t col;
  bool operator==(const PixelPoint& other) const { return row == other.row && col == other.col; }
};

class ImageProc {
 public:
  ImageProc();
  virtual ~ImageProc();
  // Images share pixels on copy, so a copied analyser would silently alias the original.
  ImageProc(const ImageProc&) = delete;
  ImageProc& operator=(const ImageProc&) = delete;

  // Reads `path` as grey levels into `sourceImage` and brings it to odd size. Returns
  // false, leaving `fileName` and `fileTime` as they were and the reason in `loadError`,
  // when no pixels could be read.
  bool load(const std::string& path);
  // Resizes `sourceImage` to the next odd width and height (area interpolation).
  void makeOddSize();
  // Runs every step in order, on clones, so that each stage keeps its own pixels.
  void prepare();
  // One below the lowest grey level of `equalizedImage` at which three quarters of the
  // pixels are reached; never below 0.
  std::int32_t computeThreshold();
  // Writes `binaryImage` (255 object, 0 background) and appends the object pixels,
  // row-major, to `objectPoints`. Shares `equalizedImage`'s pixels when `binaryImage` is empty.
  void binarize();
  // Finds up to kCornerCapacity Harris corners of `cornersImage` (`binaryImage` when empty).
  void detectCorners();
  // Appends the object pixels with a background pixel among their neighbours inside the
  // image to `borderPoints`, in the order of `objectPoints`.
  void extractBorder();
  // Direction (degrees, [0, 360)) and distance of the border centroid from the image
  // centre; both 0 when there is no border.
  void computeAngleAndRadius();
  // Analyses the loaded image and returns (Area, Perimeter, Corners, Angle, Radius);
  // (0, 0, -1, -1, -1) when it has no object pixel. Meant to be called once.
  FeatureVector getFeatureVector();

  // Headers on the member images (no pixel copy). All but getSourceImage prepare first
  // when their image is missing; the corners image gets a circle drawn at each corner,
  // the border image is redrawn as the border alone.
  cv::Mat getSourceImage() const;
  cv::Mat getEqualizedImage();
  cv::Mat getBinaryImage();
  cv::Mat getCornersImage();
  cv::Mat getBorderImage();

  std::string getFileName() const;
  // Stores the last-write time of `path` (0 when unreadable) in `fileTime` and returns it.
  std::uint64_t readFileTime(const std::string& path);

  double angle;
  double radius;
  cv::Mat sourceImage;
  cv::Mat equalizedImage;
  cv::Mat binaryImage;
  cv::Mat cornersImage;
  cv::Mat borderImage;
  std::int32_t cornerCount;
  std::array<cv::Point2f, kCornerCapacity> corners;
  std::vector<PixelPoint> objectPoints;
  std::vector<PixelPoint> borderPoints;
  FeatureVector featureValues;
  std::uint64_t fileTime;
  std::string fileName;
  std::string loadError;

 private:
  // The two halves of binarize: writes `binaryImage` and returns the number of object
  // pixels; appends the object pixels of `binaryImage` to `objectPoints`.
  std::size_t binarizePixels();
  void appendObjectPoints(std::size_t objectCount);
  // extractBorder's result from `binaryImage` alone (no object points needed yet);
  // makes `borderImage` share its pixels.
  void appendBorderOfBinaryImage();
};

}  // namespace corvantis
