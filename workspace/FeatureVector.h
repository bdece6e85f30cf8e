// The shape signature of one image: Area, Perimeter, Corners, Angle (degrees) and
// Radius (pixels), in this order; (0, 0, -1, -1, -1) for an image without object pixels.
#pragma once

#include <cstddef>
#include <vector>

namespace corvantis {

using FeatureVector = std::vector<double>;

// Number of entries a complete signature has.
constexpr std::size_t kFeatureCount = 5;

}  // namespace corvantis
