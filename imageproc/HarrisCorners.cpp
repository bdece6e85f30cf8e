#include "imageproc/HarrisCorners.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <limits>
#include <opencv2/imgproc.hpp>
#include <thread>

namespace corvantis {
namespace {

constexpr int kSobelSize = 3;
// Columns each strip reads beyond the columns it keeps. More than the filters reach
// (1 + 2), and a multiple of every vector width the library's loops use, so that a
// strip's columns fall into the same vector lanes and row ends as in the whole image,
// and every loop's scalar remainder lands in a discarded margin or on the same pixels
// as in the whole-image call.
constexpr int kStripMargin = 64;

// About the widest strip of columns kept from one call of the library. A call's
// temporaries (two gradient images, the three-channel covariance, the response; some 24
// bytes a pixel) then stay small enough that two workers on an 8192-row image hold
// some 150 MiB, and the allocator reuses them strip after strip instead of having the
// kernel clear fresh pages: the margins cost less time than the page faults they save.
constexpr int kTargetStripWidth = 256;

struct Candidate {
  float value;
  int y;
  int x;
};

// What the response of some columns holds for the selection: its largest value, and
// the positions whose value is positive and exceeded by no neighbour.
struct Maxima {
  float largest = -std::numeric_limits<float>::infinity();
  std::vector<Candidate> candidates;
};

// Adds the columns [first, last) of the image to *maxima, from `response`, the response
// of the image's columns from `from` on; it holds the neighbours of those columns that
// lie inside the image. The image edge is never a candidate.
void collectMaxima(const cv::Mat& response, int from, int first, int last, int imageCols,
                   Maxima* maxima) {
  for (int y = 0; y < response.rows; ++y) {
    const float* row = response.ptr<float>(y);
    for (int x = first; x < last; ++x) maxima->largest = std::max(maxima->largest, row[x - from]);
  }
  for (int y = 1; y < response.rows - 1; ++y) {
    const float* above = response.ptr<float>(y - 1);
    const float* row = response.ptr<float>(y);
    const float* below = response.ptr<float>(y + 1);
    for (int x = std::max(first, 1); x < std::min(last, imageCols - 1); ++x) {
      const int i = x - from;
      const float v = row[i];
      if (!(v > 0.0f)) continue;
      bool isMax = true;
      for (int di = -1; di <= 1 && isMax; ++di) {
        isMax = above[i + di] <= v && row[i + di] <= v && below[i + di] <= v;
      }
      if (isMax) maxima->candidates.push_back({v, y, x});
    }
  }
}

// The maxima of the library's cornerHarris response of the whole image, computed in
// strips of columns, two at a time on two threads; only one strip's response per
// thread is ever held. Columns, not rows: the box filter inside keeps running sums down
// each column, which a band of rows would start elsewhere (changing the last bits),
// while along a row it adds 3 or 5 values directly. Every strip starts and ends on a
// multiple of kStripMargin, so that its columns fall into the same vector lanes as in
// the whole image. Other block sizes, and images too narrow to split, take the single
// call.
Maxima harrisMaxima(const cv::Mat& image, const CornerParameters& p) {
  Maxima found;
  const int stripCount = std::max(2, (image.cols + kTargetStripWidth - 1) / kTargetStripWidth);
  const int width = (image.cols / stripCount + kStripMargin - 1) / kStripMargin * kStripMargin;
  if ((p.blockSize != 3 && p.blockSize != 5) || width + kStripMargin >= image.cols) {
    cv::Mat response;
    cv::cornerHarris(image, response, p.blockSize, kSobelSize, p.harrisK);
    collectMaxima(response, 0, 0, image.cols, image.cols, &found);
    return found;
  }
  std::atomic<int> nextStrip{0};
  const auto work = [&](Maxima* maxima) {
    for (int first = nextStrip++ * width; first < image.cols; first = nextStrip++ * width) {
      const int last = std::min(first + width, image.cols);
      const int from = std::max(first - kStripMargin, 0);
      const int to = std::min(last + kStripMargin, image.cols);
      cv::Mat strip;
      cv::cornerHarris(image.colRange(from, to), strip, p.blockSize, kSobelSize, p.harrisK);
      collectMaxima(strip, from, first, last, image.cols, maxima);
    }
  };
  Maxima secondFound;
  std::exception_ptr failure;
  std::thread second([&] {
    try {
      work(&secondFound);
    } catch (...) {
      failure = std::current_exception();
    }
  });
  try {
    work(&found);
  } catch (...) {
    second.join();
    throw;
  }
  second.join();
  if (failure) std::rethrow_exception(failure);
  found.largest = std::max(found.largest, secondFound.largest);
  found.candidates.insert(found.candidates.end(), secondFound.candidates.begin(),
                          secondFound.candidates.end());
  return found;
}

// The library's candidates: responses over the quality threshold that no neighbour
// exceeds (its dilation test), away from the image edge. The library compares the
// neighbours after zeroing those under the threshold; for a value over a threshold of
// at least 0 that is the same as comparing them as they are, and a threshold below 0
// (the largest response negative) leaves no candidate either way.
std::vector<Candidate> candidatesOf(Maxima maxima, double quality) {
  // The threshold compares in float, as the library's does.
  const float threshold = static_cast<float>(static_cast<double>(maxima.largest) * quality);
  std::vector<Candidate>& kept = maxima.candidates;
  kept.erase(std::remove_if(kept.begin(), kept.end(),
                            [threshold](const Candidate& c) { return !(threshold < c.value); }),
             kept.end());
  return kept;
}

}  // namespace

std::vector<cv::Point2f> findHarrisCorners(const cv::Mat& image, const CornerParameters& p) {
  CV_Assert(image.type() == CV_8UC1);
  std::vector<cv::Point2f> corners;
  if (image.empty()) return corners;
  std::vector<Candidate> candidates = candidatesOf(harrisMaxima(image, p), p.quality);
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
