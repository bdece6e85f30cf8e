#include "imageproc/HarrisCorners.h"

#include <algorithm>
#include <limits>
#include <opencv2/imgproc.hpp>

#include "imageproc/HarrisResponse.h"
#include "imageproc/SideBySide.h"

namespace corvantis {
namespace {

constexpr int kSobelSize = 3;
// Images narrower than this are not split between two threads.
constexpr int kMinSplitWidth = 256;

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

// Adds row y's columns [first, last) to *maxima; the rows hold the response of the
// image's columns from `from` on, including the neighbours of those columns that lie
// inside the image. The image edge is never a candidate.
void collectRowMaxima(const float* above, const float* row, const float* below, int y, int from,
                      int first, int last, int imageCols, Maxima* maxima) {
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

// The maxima of the columns [first, last), from their response and their neighbours',
// streamed row after row: only three rows of it are held.
template <typename NextRow>
void collectMaxima(NextRow nextRow, int rows, int from, int to, int first, int last, int imageCols,
                   Maxima* maxima) {
  const std::size_t width = static_cast<std::size_t>(to - from);
  std::vector<float> above(width), row(width), below(width);
  for (int y = 0; y < rows; ++y) {
    const float* fresh = nextRow(y);
    std::copy(fresh, fresh + width, below.begin());
    for (int x = first; x < last; ++x) maxima->largest = std::max(maxima->largest, below[x - from]);
    if (y >= 2) {
      collectRowMaxima(above.data(), row.data(), below.data(), y - 1, from, first, last, imageCols,
                       maxima);
    }
    std::swap(above, row);
    std::swap(row, below);
  }
}

// The maxima of the columns [first, last) of the library's cornerHarris response.
void stripMaxima(const cv::Mat& image, int first, int last, const CornerParameters& p,
                 Maxima* maxima) {
  const int from = std::max(first - 1, 0);
  const int to = std::min(last + 1, image.cols);
  HarrisResponseRows response(image, from, to, p.blockSize, p.harrisK);
  collectMaxima([&response](int) { return response.next(); }, image.rows, from, to, first, last,
                image.cols, maxima);
}

// The maxima of the library's cornerHarris response of the whole image. Streamed in two
// halves of columns on two threads where the block size allows (see HarrisResponseRows);
// otherwise from one call of the library.
Maxima harrisMaxima(const cv::Mat& image, const CornerParameters& p) {
  Maxima found;
  if (!HarrisResponseRows::supports(image, p.blockSize)) {
    cv::Mat response;
    cv::cornerHarris(image, response, p.blockSize, kSobelSize, p.harrisK);
    collectMaxima([&response](int y) { return response.ptr<float>(y); }, image.rows, 0, image.cols,
                  0, image.cols, image.cols, &found);
    return found;
  }
  if (image.cols < kMinSplitWidth) {
    stripMaxima(image, 0, image.cols, p, &found);
    return found;
  }
  const int middle = image.cols / 2;
  Maxima secondFound;
  runSideBySide([&] { stripMaxima(image, 0, middle, p, &found); },
                [&] { stripMaxima(image, middle, image.cols, p, &secondFound); });
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
