// The fast reader of uncompressed BMP files with 1, 4, 8 (palette), 24 and 32 bits a
// pixel, bottom-up or top-down, with the Windows 3, 4 and 5 info headers. Colours become
// grey with the vision library's fixed-point weights, so that the pixels are those of
// cv::imread. Everything else (RLE, 16 bits, bit fields, OS/2 headers, short files) is
// declined: the library then decides how to read it, or that it cannot.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "imageproc/ImageReader.h"

namespace corvantis {
namespace {

constexpr long kInfoHeaderOffset = 14;
constexpr long kFileHeaderSize = kInfoHeaderOffset + 40;
constexpr std::uint32_t kUncompressed = 0;
constexpr int kMaxPaletteEntries = 256;

struct Bgr {
  std::uint8_t b, g, r;
};

// The library's grey level of a colour: R·4899 + G·9617 + B·1868 (0.299, 0.587 and
// the rest of 2^14), shifted right by 14 with rounding.
std::uint8_t greyOf(Bgr c) {
  return static_cast<std::uint8_t>((c.b * 1868 + c.g * 9617 + c.r * 4899 + (1 << 13)) >> 14);
}

std::int32_t int32At(const std::uint8_t* p) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) | (std::uint32_t{p[1]} << 8) |
                                   (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24));
}

std::uint16_t uint16At(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

// The file, read in order, keeping the bytes before the pixels (headers and palette, a
// kilobyte or so): the pixel offset may point back into them.
class BmpFile {
 public:
  explicit BmpFile(ImageStream* file) : file_(file) {}

  // The `size` bytes at `offset` among the first few; nullptr when the file ends before
  // their last one.
  const std::uint8_t* bytesAt(std::uint64_t offset, std::uint64_t size) {
    if (offset + size > front_.size()) {
      const std::size_t had = front_.size();
      front_.resize(offset + size);
      front_.resize(had + file_->read(&front_[had], front_.size() - had));
      if (offset + size > front_.size()) return nullptr;
    }
    return reinterpret_cast<const std::uint8_t*>(front_.data()) + offset;
  }
  // Goes to the first row of pixels at `offset`; false when the file ends before it.
  bool goToPixels(std::uint64_t offset) {
    kept_ = static_cast<std::size_t>(std::min<std::uint64_t>(offset, front_.size()));
    return offset <= kept_ || file_->skip(offset - kept_);
  }
  // Reads the next `size` bytes of pixels; false when the file ends first.
  bool readPixels(std::uint8_t* row, std::size_t size) {
    const std::size_t fromFront = std::min(size, front_.size() - kept_);
    std::memcpy(row, front_.data() + kept_, fromFront);
    kept_ += fromFront;
    return file_->read(row + fromFront, size - fromFront) == size - fromFront;
  }

 private:
  ImageStream* file_;
  std::string front_;
  std::size_t kept_ = 0;  // the next kept byte that is a pixel's, or their end
};

// Converts one row of file pixels to grey levels.
void convertRow(int bitsPerPixel, const std::uint8_t* src, const std::uint8_t* greyPalette,
                int width, std::uint8_t* dst) {
  switch (bitsPerPixel) {
    case 1:
      for (int x = 0; x < width; ++x) dst[x] = greyPalette[(src[x >> 3] >> (7 - (x & 7))) & 1];
      break;
    case 4:
      for (int x = 0; x < width; ++x) {
        dst[x] = greyPalette[(x & 1) ? (src[x >> 1] & 15) : (src[x >> 1] >> 4)];
      }
      break;
    case 8:
      for (int x = 0; x < width; ++x) dst[x] = greyPalette[src[x]];
      break;
    default: {
      const int bytesPerPixel = bitsPerPixel / 8;
      for (int x = 0; x < width; ++x, src += bytesPerPixel)
        dst[x] = greyOf({src[0], src[1], src[2]});
    }
  }
}

// The grey levels of the palette that follows the info header; entries it does not
// list stay black.
Status readGreyPalette(BmpFile* file, std::int32_t infoSize, int bitsPerPixel,
                       std::int32_t coloursUsed, std::uint8_t* greyPalette) {
  if (coloursUsed < 0 || coloursUsed > kMaxPaletteEntries) {
    return Status::notSupported("BMP palette size out of range");
  }
  const int entries = coloursUsed == 0 ? 1 << bitsPerPixel : coloursUsed;
  const std::uint8_t* palette = file->bytesAt(std::uint64_t{kInfoHeaderOffset} + infoSize,
                                              static_cast<std::uint64_t>(entries) * 4);
  if (palette == nullptr) return Status::notSupported("short BMP palette");
  for (int i = 0; i < entries; ++i) {
    greyPalette[i] = greyOf({palette[4 * i], palette[4 * i + 1], palette[4 * i + 2]});
  }
  return Status::success();
}

}  // namespace

Status readBmp(ImageStream* stream, cv::Mat* image) {
  BmpFile file(stream);
  const std::uint8_t* header = file.bytesAt(0, kFileHeaderSize);
  if (header == nullptr) {
    return stream->failure().ok() ? Status::notSupported("short BMP header") : stream->failure();
  }
  const std::int32_t pixelOffset = int32At(header + 10);
  const std::int32_t infoSize = int32At(header + 14);
  const std::int32_t width = int32At(header + 18);
  const std::int32_t height = int32At(header + 22);
  const int bitsPerPixel = uint16At(header + 28);
  const std::uint32_t compression = static_cast<std::uint32_t>(int32At(header + 30));
  const std::int32_t coloursUsed = int32At(header + 46);

  if (infoSize != 40 && infoSize != 108 && infoSize != 124) {
    return Status::notSupported("BMP info header of another kind");
  }
  if (compression != kUncompressed) return Status::notSupported("compressed BMP");
  if (bitsPerPixel != 1 && bitsPerPixel != 4 && bitsPerPixel != 8 && bitsPerPixel != 24 &&
      bitsPerPixel != 32) {
    return Status::notSupported("BMP with " + std::to_string(bitsPerPixel) + " bits a pixel");
  }
  if (pixelOffset < 0 || width <= 0 || height == 0 || height == INT_MIN) {
    return Status::notSupported("BMP header out of range");
  }
  const Status size = checkImageSize(static_cast<std::uint64_t>(width),
                                     static_cast<std::uint64_t>(height < 0 ? -height : height));
  if (!size.ok()) return size;
  // The library computes the row length in int; a row it cannot is left to it.
  if (std::int64_t{width} * bitsPerPixel + 7 > INT_MAX)
    return Status::notSupported("BMP row too long");
  const std::size_t rowBytes =
      ((static_cast<std::size_t>(width) * bitsPerPixel + 7) / 8 + 3) & ~std::size_t{3};

  std::uint8_t greyPalette[kMaxPaletteEntries] = {};
  if (bitsPerPixel <= 8) {
    const Status palette = readGreyPalette(&file, infoSize, bitsPerPixel, coloursUsed, greyPalette);
    if (!stream->failure().ok()) return stream->failure();
    if (!palette.ok()) return palette;
  }

  const int rows = height < 0 ? -height : height;
  image->create(rows, width, CV_8UC1);
  std::vector<std::uint8_t> row(rowBytes);
  bool whole = file.goToPixels(static_cast<std::uint64_t>(pixelOffset));
  for (int y = 0; whole && y < rows; ++y) {
    whole = file.readPixels(row.data(), rowBytes);
    // Rows are stored bottom-up unless the height is negative.
    const int target = height > 0 ? rows - 1 - y : y;
    if (whole)
      convertRow(bitsPerPixel, row.data(), greyPalette, width, image->ptr<std::uint8_t>(target));
  }
  if (whole) return Status::success();
  image->release();
  if (!stream->failure().ok()) return stream->failure();
  // The header is whole, so the file simply stops: the library cannot read it either,
  // and says so only in its own terms.
  return cutShort("BMP");
}

}  // namespace corvantis
