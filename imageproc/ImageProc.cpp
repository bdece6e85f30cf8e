#include "imageproc/ImageProc.h"

#include <opencv2/imgproc.hpp>

#include "imageproc/ImageHeader.h"
#include "imageproc/ImageReader.h"
#include "workspace/FileNames.h"
#include "workspace/Platform.h"

namespace corvantis {

ImageProc::ImageProc(Platform& platform) : platform_(platform) {}

ImageProc::~ImageProc() = default;

Status ImageProc::load(const std::string& path) {
  sourceImage_ = cv::Mat();
  if (!platform_.fileExists(path)) return Status::error("no such file or no permission to read it");
  // A pipe would never end and a header declaring a huge image would make a reader
  // allocate it first: both are refused before any reading.
  const std::string refusal = imageRefusal(path);
  if (!refusal.empty()) return Status::error(refusal);
  // The pixels as stored, never turned by a JPEG's EXIF orientation: the stored
  // reference signatures were made from them.
  const Status read = readGreyImage(platform_, path, &sourceImage_);
  if (!read.ok()) return read;
  fileName_ = fileNameOf(path);
  // Odd sizes give the image a middle pixel, the origin of the angle and radius.
  sourceImage_ = makeOddSize(sourceImage_);
  return read;
}

FeatureVector ImageProc::getFeatureVector() {
  measures_ = measureShapeInPlace(&sourceImage_);
  return measures_.featureVector();
}

ShapeMeasures ImageProc::measureWithStages(StageImages* stages) const {
  return measureShape(sourceImage_, stages);
}

cv::Mat makeOddSize(const cv::Mat& image) {
  if (image.cols % 2 == 1 && image.rows % 2 == 1) return image;
  const cv::Size size(image.cols + (image.cols % 2 == 0 ? 1 : 0),
                      image.rows + (image.rows % 2 == 0 ? 1 : 0));
  cv::Mat resized;
  cv::resize(image, resized, size, 0, 0, cv::INTER_AREA);
  return resized;
}

}  // namespace corvantis
