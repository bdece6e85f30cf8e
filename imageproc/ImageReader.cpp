#include "imageproc/ImageReader.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "imageproc/ImreadPlugin.h"
#include "process/Plugin.h"
#include "process/Process.h"

namespace corvantis {
namespace {

// Longest signature looked at: PNG's eight bytes.
constexpr std::size_t kSignatureLength = 8;

const char kPngSignature[] = "\x89PNG\r\n\x1a\n";
const char kJpegSignature[] = "\xFF\xD8\xFF";
const char kBmpSignature[] = "BM";
const char kLibraryPixelLimit[] = "OPENCV_IO_MAX_IMAGE_PIXELS";

bool startsWith(const std::string& head, const char* signature) {
  return head.compare(0, std::strlen(signature), signature) == 0;
}

std::string headOf(const std::string& path) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                       &std::fclose);
  if (!file) return std::string();
  std::array<char, kSignatureLength> head{};
  const std::size_t n = std::fread(head.data(), 1, head.size(), file.get());
  return std::string(head.data(), n);
}

}  // namespace

ReadResult checkImageSize(std::uint64_t width, std::uint64_t height) {
  if (width == 0 || height == 0) return ReadResult::failed("the image has no pixels");
  // Dividing instead of multiplying: the declared sizes may be anything up to 2^32.
  if (width > kMaxImagePixels || height > kMaxImagePixels / width) {
    return ReadResult::failed("the image is too large (" + std::to_string(width) + " x " +
                              std::to_string(height) + " pixels; at most " +
                              std::to_string(kMaxImagePixels) + " are read)");
  }
  return ReadResult::read();
}

ReadResult cutShort(const std::string& format) {
  return ReadResult::failed("the " + format +
                            " file is cut short: it ends before its last row of pixels (a "
                            "capture still being written, or a broken copy?)");
}

ReadResult readFast(const std::string& path, cv::Mat* image) {
  const std::string head = headOf(path);
  if (startsWith(head, kPngSignature)) return readPng(path, image);
  if (startsWith(head, kJpegSignature)) return readJpeg(path, image);
  if (startsWith(head, kBmpSignature)) return readBmp(path, image);
  return ReadResult::declined("not a BMP, PNG or JPEG file");
}

ReadResult readWithLibrary(const std::string& path, cv::Mat* image) {
  image->release();
  // cv::imread only warns about JPEG data that ends early or is corrupt and returns the
  // image with grey where data was missing; its caller cannot tell. So a JPEG file is
  // decoded once here first, by the same libjpeg, watching for those warnings.
  if (startsWith(headOf(path), kJpegSignature)) {
    const std::string damage = jpegDamage(path);
    if (!damage.empty()) return ReadResult::failed(damage);
  }
  limitLibraryImageSize();
  std::string error;
  const auto entry =
      reinterpret_cast<ImreadEntry>(findPluginEntry(kImreadPluginName, kImreadEntrySymbol, &error));
  if (entry == nullptr) return ReadResult::failed(error);
  std::array<char, 512> message{};
  if (entry(path.c_str(), image, message.data(), message.size()) == 0) {
    image->release();
    return ReadResult::failed(message.data());
  }
  return ReadResult::read();
}

void limitLibraryImageSize() {
  // The library reads its pixel limit once, as the plugin brings it in; the limit of the
  // fast readers keeps a lying header from allocating gigabytes there too.
  const std::string limit = std::to_string(kMaxImagePixels);
  const char* set = std::getenv(kLibraryPixelLimit);
  if (set == nullptr || limit != set) setEnvironmentVariable(kLibraryPixelLimit, limit);
}

ReadResult readGreyImage(const std::string& path, cv::Mat* image) {
  const ReadResult fast = readFast(path, image);
  if (fast.outcome != ReadOutcome::kDeclined) return fast;
  return readWithLibrary(path, image);
}

}  // namespace corvantis
