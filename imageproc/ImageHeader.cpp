#include "imageproc/ImageHeader.h"

#include <cctype>
#include <filesystem>
#include <fstream>

namespace corvantis {

namespace {

// JPEG files may carry tens of kilobytes of metadata before the frame header.
constexpr std::size_t kHeadBytes = 256 * 1024;

class Bytes {
 public:
  explicit Bytes(const std::string& s) : s_(s) {}
  bool has(std::size_t at, std::size_t n) const { return at <= s_.size() && n <= s_.size() - at; }
  std::uint32_t at(std::size_t i) const { return static_cast<unsigned char>(s_[i]); }
  std::uint32_t be16(std::size_t i) const { return at(i) << 8 | at(i + 1); }
  std::uint32_t le16(std::size_t i) const { return at(i + 1) << 8 | at(i); }
  std::uint32_t be32(std::size_t i) const { return be16(i) << 16 | be16(i + 2); }
  std::uint32_t le32(std::size_t i) const { return le16(i + 2) << 16 | le16(i); }
  bool startsWith(const char* prefix, std::size_t n) const {
    return s_.compare(0, n, prefix, n) == 0;
  }

 private:
  const std::string& s_;
};

std::optional<DeclaredSize> sized(std::uint64_t width, std::uint64_t height) {
  return DeclaredSize{width, height};
}

std::optional<DeclaredSize> bmpSize(const Bytes& b) {
  if (!b.has(14, 12)) return std::nullopt;
  if (b.le32(14) == 12) return sized(b.le16(18), b.le16(20));  // OS/2 core header
  if (!b.has(18, 8)) return std::nullopt;
  // Negative values: a top-down bitmap keeps its height negative.
  const auto magnitude = [](std::uint32_t v) -> std::uint64_t {
    return v & 0x80000000u ? std::uint64_t{0x100000000} - v : v;
  };
  return sized(magnitude(b.le32(18)), magnitude(b.le32(22)));
}

std::optional<DeclaredSize> jpegSize(const Bytes& b) {
  std::size_t i = 2;
  while (b.has(i, 4)) {
    if (b.at(i) != 0xFF) return std::nullopt;
    const std::uint32_t marker = b.at(i + 1);
    if (marker == 0xFF) {  // fill byte
      ++i;
      continue;
    }
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {  // no length
      i += 2;
      continue;
    }
    const bool frame =
        marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) return b.has(i + 5, 4) ? sized(b.be16(i + 7), b.be16(i + 5)) : std::nullopt;
    if (marker == 0xD9 || marker == 0xDA) return std::nullopt;  // no frame before the scan
    i += 2 + b.be16(i + 2);
  }
  return std::nullopt;
}

std::optional<DeclaredSize> tiffSize(const Bytes& b) {
  const bool little = b.at(0) == 'I';
  const auto u16 = [&](std::size_t i) { return little ? b.le16(i) : b.be16(i); };
  const auto u32 = [&](std::size_t i) { return little ? b.le32(i) : b.be32(i); };
  const std::size_t ifd = u32(4);
  if (!b.has(ifd, 2)) return std::nullopt;
  std::uint64_t width = 0;
  std::uint64_t height = 0;
  for (std::size_t n = 0, count = u16(ifd); n < count && b.has(ifd + 2 + 12 * n, 12); ++n) {
    const std::size_t entry = ifd + 2 + 12 * n;
    const std::uint32_t tag = u16(entry);
    const std::uint32_t type = u16(entry + 2);
    const std::uint64_t value = type == 3 ? u16(entry + 8) : u32(entry + 8);  // SHORT or LONG
    if (tag == 256) width = value;
    if (tag == 257) height = value;
  }
  return sized(width, height);
}

// "RIFF", size, "WEBP", then the first chunk: an extended, lossless or lossy header.
std::optional<DeclaredSize> webpSize(const Bytes& b) {
  if (!b.has(0, 30) || !b.startsWith("RIFF", 4) || b.be32(8) != 0x57454250) return std::nullopt;
  const std::uint32_t chunk = b.be32(12);
  if (chunk == 0x56503858) {  // "VP8X": canvas size minus one, 24 bits each
    const auto u24 = [&](std::size_t i) { return b.at(i) | b.at(i + 1) << 8 | b.at(i + 2) << 16; };
    return sized(std::uint64_t{u24(24)} + 1, std::uint64_t{u24(27)} + 1);
  }
  if (chunk == 0x5650384C) {  // "VP8L": 14 bits each, minus one, after the signature byte
    const std::uint32_t bits = b.le32(21);
    return sized((bits & 0x3FFF) + 1, (bits >> 14 & 0x3FFF) + 1);
  }
  if (chunk == 0x56503820) return sized(b.le16(26) & 0x3FFF, b.le16(28) & 0x3FFF);  // "VP8 "
  return std::nullopt;
}

// "P1" to "P6", "Pf" and "PF": the magic number, then width and height in decimal,
// separated by white space and "#" comments.
std::optional<DeclaredSize> pnmSize(const std::string& head) {
  std::size_t i = 2;
  std::uint64_t numbers[2] = {0, 0};
  for (std::uint64_t& number : numbers) {
    for (;;) {
      while (i < head.size() && std::isspace(static_cast<unsigned char>(head[i]))) ++i;
      if (i >= head.size() || head[i] != '#') break;
      while (i < head.size() && head[i] != '\n' && head[i] != '\r') ++i;
    }
    if (i >= head.size() || !std::isdigit(static_cast<unsigned char>(head[i]))) return std::nullopt;
    for (; i < head.size() && std::isdigit(static_cast<unsigned char>(head[i])); ++i)
      number =
          number > (UINT64_MAX / 16) ? number : number * 10 + static_cast<unsigned>(head[i] - '0');
  }
  return sized(numbers[0], numbers[1]);
}

}  // namespace

std::optional<DeclaredSize> declaredSize(const std::string& head) {
  const Bytes b(head);
  if (!b.has(0, 8)) return std::nullopt;
  if (b.startsWith("\x89PNG\r\n\x1a\n", 8)) {
    return b.has(16, 8) ? sized(b.be32(16), b.be32(20)) : std::nullopt;
  }
  if (b.startsWith("BM", 2)) return bmpSize(b);
  if (b.at(0) == 0xFF && b.at(1) == 0xD8) return jpegSize(b);
  if (b.startsWith("II*\0", 4) || b.startsWith("MM\0*", 4)) return tiffSize(b);
  if (b.startsWith("RIFF", 4)) return webpSize(b);
  if (b.be32(0) == 0x59A66A95) return b.has(4, 8) ? sized(b.be32(4), b.be32(8)) : std::nullopt;
  if (head[0] == 'P' && ((head[1] >= '1' && head[1] <= '6') || head[1] == 'f' || head[1] == 'F'))
    return pnmSize(head);
  return std::nullopt;
}

std::string imageRefusal(const std::string& path) {
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
    return "it is not a regular file";
  }
  std::ifstream in(path, std::ios::binary);
  std::string head(kHeadBytes, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<std::size_t>(in.gcount()));
  const std::optional<DeclaredSize> size = declaredSize(head);
  // Products of two 32-bit numbers fit; larger ones are over the limit anyway.
  if (!size || (size->width <= kMaxImagePixels && size->height <= kMaxImagePixels &&
                size->width * size->height <= kMaxImagePixels)) {
    return "";
  }
  return "it declares " + std::to_string(size->width) + " x " + std::to_string(size->height) +
         " pixels, more than the " + std::to_string(kMaxImagePixels) + " a check analyses";
}

}  // namespace corvantis
