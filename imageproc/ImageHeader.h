// The image size a file declares in its header, read before the image itself so that a
// file claiming a huge image is refused before any pixel memory is allocated.
//
// Knows the headers of PNG, BMP, JPEG, TIFF (first image), WebP, the PNM family (PBM,
// PGM, PPM, PFM) and Sun raster files. Files of other formats (JPEG 2000, OpenEXR,
// Radiance HDR) declare nothing here; for them only the image library's own limit of
// 2^30 pixels applies. Pure functions, apart from reading the file's first bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace corvantis {

// The largest image a check analyses: 8192 x 8192 pixels. The analysis keeps several
// copies of the image and a point list of up to eight bytes per pixel.
constexpr std::uint64_t kMaxImagePixels = std::uint64_t{1} << 26;

struct DeclaredSize {
  std::uint64_t width = 0;
  std::uint64_t height = 0;
};

// The size declared by the header at the start of `head`; nothing for an unknown
// format or a header cut short.
std::optional<DeclaredSize> declaredSize(const std::string& head);

// Why the image file at `path` is refused before it is read: it is no regular file (a
// pipe or a device would never end or never start), or its header declares more than
// kMaxImagePixels. Empty when it may be read (also when it is missing or declares nothing).
std::string imageRefusal(const std::string& path);

}  // namespace corvantis
