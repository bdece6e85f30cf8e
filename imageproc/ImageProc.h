// The analyser of one image file: loads it as 8-bit grey levels with odd width and
// height, and gives its shape signature or, for the view mode, its stage images (both
// from measureShape, ShapeAnalysis.h).
//
// An analyser serves one image. Not thread-safe; OpenCV errors are not caught here and
// reach the caller as cv::Exception.
#pragma once

#include <opencv2/core.hpp>
#include <string>

#include "imageproc/ShapeAnalysis.h"
#include "workspace/FeatureVector.h"
#include "workspace/Platform.h"

namespace corvantis {

class ImageProc {
 public:
  // Files are read through `platform`, which must outlive the analyser.
  explicit ImageProc(Platform& platform = defaultPlatform());
  ~ImageProc();
  // Images share pixels on copy, so a copied analyser would silently alias the original.
  ImageProc(const ImageProc&) = delete;
  ImageProc& operator=(const ImageProc&) = delete;

  // Reads `path` as grey levels and brings it to odd size. Fails with the reason, leaving
  // the file name as it was and the image empty, when no pixels could be read.
  Status load(const std::string& path);
  // Analyses the loaded image and returns (Area, Perimeter, Corners, Angle, Radius);
  // (0, 0, -1, -1, -1) when it has no object pixel. The analysis works in the loaded
  // pixels, so the image is gone afterwards (getSourceImage() empty): call it once, and
  // after measureWithStages when both are wanted.
  FeatureVector getFeatureVector();
  // What the last getFeatureVector found, the signature's source; advice on it is
  // adviseOn(measures()) (Advice.h). Not-computed markers before the first call.
  const ShapeMeasures& measures() const { return measures_; }
  // The measures of the loaded image together with its stage images, for the display.
  ShapeMeasures measureWithStages(StageImages* stages) const;

  // The image as loaded: CV_8UC1, odd width and height; empty before a successful load.
  const cv::Mat& getSourceImage() const { return sourceImage_; }
  // The loaded file's name (the path's part after its last separator).
  const std::string& getFileName() const { return fileName_; }

 private:
  Platform& platform_;
  cv::Mat sourceImage_;
  std::string fileName_;
  ShapeMeasures measures_;
};

// Resizes `image` to the next odd width and height (area interpolation); an image of
// odd size comes back as it is.
cv::Mat makeOddSize(const cv::Mat& image);

}  // namespace corvantis
