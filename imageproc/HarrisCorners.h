// Harris corners exactly as cv::goodFeaturesToTrack finds them with the Harris measure
// (3x3 Sobel gradients, no mask), in about half the time.
//
// The response is the library's cornerHarris, streamed row after row in two halves of
// columns on two threads (see HarrisResponseRows for why that gives the whole image's
// values to the last bit); only three rows of it are held. The library's selection then
// thresholds it, dilates a copy and collects pointers to every local maximum; here the
// same selection (quality threshold, local maxima, strongest first, minimum distance)
// runs on the maxima kept from the rows.
#pragma once

#include <opencv2/core.hpp>
#include <vector>

namespace corvantis {

struct CornerParameters {
  int maxCorners;      // at most this many, strongest first; 0 for all
  double quality;      // fraction of the strongest response a corner must exceed
  double minDistance;  // corners closer than this to a stronger one are dropped
  int blockSize;       // neighbourhood of the gradient covariance
  double harrisK;      // the Harris detector's free parameter
};

// The corners of the 8-bit single-channel `image`, (x, y) with x the column, in the
// order and with the values of cv::goodFeaturesToTrack(image, corners, maxCorners,
// quality, minDistance, noArray(), blockSize, 3, true, harrisK).
std::vector<cv::Point2f> findHarrisCorners(const cv::Mat& image, const CornerParameters& p);

}  // namespace corvantis
