#include "imageproc/HarrisCorners.h"

#include <algorithm>
#include <exception>
#include <opencv2/imgproc.hpp>
#include <thread>

namespace corvantis {
namespace {

constexpr int kSobelSize = 3;
// Columns each strip reads beyond the columns it keeps. More than the filters reach
// (1 + 2), and a multiple of every vector width the library's loops use, so that the
// right strip's columns fall into the same vector lanes and row ends as in the whole
// image, and every loop's scalar remainder lands in a discarded margin or on the same
// pixels as in the whole-image call.
constexpr int kStripMargin = 64;

// The library's cornerHarris response of the whole image, computed as two strips of
// columns on two threads. Columns, not rows: the box filter inside keeps running sums
// down each column, which a band of rows would start elsewhere (changing the last
// bits), while along a row it adds 3 or 5 values directly. Other block sizes, and
// images too narrow to split, take the single call.
cv::Mat harrisResponse(const cv::Mat& image, const CornerParameters& p) {
  cv::Mat response;
  const int split = (image.cols / 2 / kStripMargin + 1) * kStripMargin;
  if ((p.blockSize != 3 && p.blockSize != 5) || split + kStripMargin >= image.cols) {
    cv::cornerHarris(image, response, p.blockSize, kSobelSize, p.harrisK);
    return response;
  }
  response.create(image.size(), CV_32F);
  std::exception_ptr failure;
  std::thread right([&] {
    try {
      cv::Mat strip;
      cv::cornerHarris(image.colRange(split - kStripMargin, image.cols), strip, p.blockSize,
                       kSobelSize, p.harrisK);
      strip.colRange(kStripMargin, strip.cols).copyTo(response.colRange(split, image.cols));
    } catch (...) {
      failure = std::current_exception();
    }
  });
  try {
    cv::Mat strip;
    cv::cornerHarris(image.colRange(0, split + kStripMargin), strip, p.blockSize, kSobelSize,
                     p.harrisK);
    strip.colRange(0, split).copyTo(response.colRange(0, split));
  } catch (...) {
    right.join();
    throw;
  }
  right.join();
  if (failure) std::rethrow_exception(failure);
  return response;
}

struct Candidate {
  float value;
  int y;
  int x;
};

// The library's candidates: responses over the quality threshold that no neighbour
// exceeds (its dilation test), away from the image edge.
std::vector<Candidate> localMaxima(const cv::Mat& response, double quality) {
  double maxValue = 0;
  cv::minMaxLoc(response, nullptr, &maxValue);
  // The threshold compares in float, as the library's does.
  const float threshold = static_cast<float>(maxValue * quality);
  const auto kept = [threshold](float v) { return threshold < v ? v : 0.0f; };
  std::vector<Candidate> candidates;
  for (int y = 1; y < response.rows - 1; ++y) {
    const float* above = response.ptr<float>(y - 1);
    const float* row = response.ptr<float>(y);
    const float* below = response.ptr<float>(y + 1);
    for (int x = 1; x < response.cols - 1; ++x) {
      const float v = kept(row[x]);
      if (v == 0) continue;
      bool isMax = true;
      for (int dx = -1; dx <= 1 && isMax; ++dx) {
        isMax = kept(above[x + dx]) <= v && kept(row[x + dx]) <= v && kept(below[x + dx]) <= v;
      }
      if (isMax) candidates.push_back({v, y, x});
    }
  }
  return candidates;
}

}  // namespace

std::vector<cv::Point2f> findHarrisCorners(const cv::Mat& image, const CornerParameters& p) {
  CV_Assert(image.type() == CV_8UC1);
  std::vector<cv::Point2f> corners;
  if (image.empty()) return corners;
  cv::Mat response = harrisResponse(image, p);
  std::vector<Candidate> candidates = localMaxima(response, p.quality);
  response.release();
  // Strongest first; equal responses later in the image first, as the library's
  // comparison of addresses orders them.
  std::sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
    if (a.value != b.value) return a.value > b.value;
    return a.y != b.y ? a.y > b.y : a.x > b.x;
  });

  // A corner is kept when no kept corner lies within the minimum distance; the grid of
  // cells of that size limits the search to the neighbouring cells.
  if (p.minDistance < 1) {
    for (const Candidate& c : candidates) {
      if (p.maxCorners > 0 && static_cast<int>(corners.size()) == p.maxCorners) break;
      corners.emplace_back(static_cast<float>(c.x), static_cast<float>(c.y));
    }
    return corners;
  }
  const int cellSize = cvRound(p.minDistance);
  const int gridWidth = (image.cols + cellSize - 1) / cellSize;
  const int gridHeight = (image.rows + cellSize - 1) / cellSize;
  std::vector<std::vector<cv::Point2f>> grid(static_cast<std::size_t>(gridWidth) * gridHeight);
  const double minDistance2 = p.minDistance * p.minDistance;
  for (const Candidate& c : candidates) {
    const int cellX = c.x / cellSize;
    const int cellY = c.y / cellSize;
    bool good = true;
    for (int yy = std::max(cellY - 1, 0); good && yy <= std::min(cellY + 1, gridHeight - 1); ++yy) {
      for (int xx = std::max(cellX - 1, 0); good && xx <= std::min(cellX + 1, gridWidth - 1);
           ++xx) {
        for (const cv::Point2f& m : grid[static_cast<std::size_t>(yy) * gridWidth + xx]) {
          // Float differences, as the library computes them.
          const float dx = c.x - m.x;
          const float dy = c.y - m.y;
          if (dx * dx + dy * dy < minDistance2) {
            good = false;
            break;
          }
        }
      }
    }
    if (!good) continue;
    const cv::Point2f corner(static_cast<float>(c.x), static_cast<float>(c.y));
    grid[static_cast<std::size_t>(cellY) * gridWidth + cellX].push_back(corner);
    corners.push_back(corner);
    if (p.maxCorners > 0 && static_cast<int>(corners.size()) == p.maxCorners) break;
  }
  return corners;
}

}  // namespace corvantis
