// The shape signature of one image: Area, Perimeter, Corners, Angle (degrees) and
// Radius (pixels), in this order; (0, 0, -1, -1, -1) for an image without object pixels.
#pragma once

#include <cstddef>
#include <vector>

namespace corvantis {

using FeatureVector = std::vector<double>;

// Number of entries a complete signature has.
constexpr std::size_t kFeatureCount = 5;

// The names of the entries, in signature order, as every output of the programs writes
// them (the values log's columns, explain, the view mode's lines).
inline constexpr const char* kEntryNames[kFeatureCount] = {"Area", "Perimeter", "Corners", "Angle",
                                                           "Radius"};

}  // namespace corvantis
