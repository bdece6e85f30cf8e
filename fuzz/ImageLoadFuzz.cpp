// Feeds arbitrary files to the image loading of a check (header check, then the fast
// BMP, PNG and JPEG readers; other files go to the image library's reader when its
// plugin is found beside the fuzzer) and analyses what loads: nothing may crash, hang or
// read out of bounds, and nothing huge may be allocated.
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <opencv2/core/utils/logger.hpp>
#include <string>

#include "imageproc/ImageProc.h"

namespace {

// Larger images load, but their analysis would only slow the fuzzing down.
constexpr std::size_t kLargestAnalysed = 1 << 16;

std::string imagePath() {
  static const std::string path = "/tmp/corvantis-fuzz-image-" + std::to_string(getpid());
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
  cv::setNumThreads(0);  // one thread: the fuzzer measures coverage of this one
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  {
    std::ofstream out(imagePath(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  corvantis::ImageProc image;
  try {
    if (image.load(imagePath()).ok() && image.getSourceImage().total() <= kLargestAnalysed)
      image.getFeatureVector();
  } catch (const cv::Exception&) {
    // The program reports these as a failed analysis (status 1).
  }
  return 0;
}
