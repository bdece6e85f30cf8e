#include "imageproc/ImageReader.h"

#include <array>
#include <cstdlib>
#include <cstring>

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

}  // namespace

Status checkImageSize(std::uint64_t width, std::uint64_t height) {
  if (width == 0 || height == 0) return Status::error("the image has no pixels");
  // Dividing instead of multiplying: the declared sizes may be anything up to 2^32.
  if (width > kMaxImagePixels || height > kMaxImagePixels / width) {
    return Status::error("the image is too large (" + std::to_string(width) + " x " +
                         std::to_string(height) + " pixels; at most " +
                         std::to_string(kMaxImagePixels) + " are read)");
  }
  return Status::success();
}

Status cutShort(const std::string& format) {
  return Status::error("the " + format +
                       " file is cut short: it ends before its last row of pixels (a "
                       "capture still being written, or a broken copy?)");
}

Status readFast(const Platform& platform, const std::string& path, cv::Mat* image) {
  std::unique_ptr<ImageStream> stream;
  const Status opened = ImageStream::open(platform, path, &stream);
  if (!opened.ok()) return opened;
  const std::string head = stream->head(kSignatureLength);
  if (!stream->failure().ok()) return stream->failure();
  if (startsWith(head, kPngSignature)) return readPng(stream.get(), image);
  if (startsWith(head, kJpegSignature)) return readJpeg(stream.get(), image);
  if (startsWith(head, kBmpSignature)) return readBmp(stream.get(), image);
  return Status::notSupported("not a BMP, PNG or JPEG file");
}

Status readWithLibrary(const Platform& platform, const std::string& path, cv::Mat* image) {
  image->release();
  std::unique_ptr<ImageStream> stream;
  const Status opened = ImageStream::open(platform, path, &stream);
  if (!opened.ok()) return opened;
  const std::string head = stream->head(kSignatureLength);
  if (!stream->failure().ok()) return stream->failure();
  // cv::imread only warns about JPEG data that ends early or is corrupt and returns the
  // image with grey where data was missing; its caller cannot tell. So a JPEG file is
  // decoded once here first, by the same libjpeg, watching for those warnings.
  if (startsWith(head, kJpegSignature)) {
    const Status damage = jpegDamage(stream.get());
    if (!damage.ok()) return damage;
  }
  stream.reset();
  limitLibraryImageSize();
  void* found = nullptr;
  const Status plugin = findPluginEntry(kImreadPluginName, kImreadEntrySymbol, &found);
  if (!plugin.ok()) return plugin;
  const auto entry = reinterpret_cast<ImreadEntry>(found);
  std::array<char, 512> message{};
  if (entry(path.c_str(), image, message.data(), message.size()) == 0) {
    image->release();
    return Status::error(message.data());
  }
  return Status::success();
}

void limitLibraryImageSize() {
  // The library reads its pixel limit once, as the plugin brings it in; the limit of the
  // fast readers keeps a lying header from allocating gigabytes there too.
  const std::string limit = std::to_string(kMaxImagePixels);
  const char* set = std::getenv(kLibraryPixelLimit);
  if (set == nullptr || limit != set) setEnvironmentVariable(kLibraryPixelLimit, limit);
}

Status readGreyImage(const Platform& platform, const std::string& path, cv::Mat* image) {
  image->release();
  const Status fast = readFast(platform, path, image);
  if (!fast.isNotSupported()) return fast;
  return readWithLibrary(platform, path, image);
}

}  // namespace corvantis
