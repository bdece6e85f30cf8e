// The "corvantis-imread" plugin. It links the vision library's image codecs, which the
// program itself does not, and is opened by readWithLibrary only when needed.
#include "imageproc/ImreadPlugin.h"

#include <cstdio>
#include <exception>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <type_traits>

namespace {

void setMessage(char* message, std::size_t messageSize, const char* text) {
  if (messageSize > 0) std::snprintf(message, messageSize, "%s", text);
}

}  // namespace

extern "C" int corvantis_imread_grey(const char* path, cv::Mat* image, char* message,
                                     std::size_t messageSize) {
  try {
    *image = cv::imread(path, cv::IMREAD_GRAYSCALE | cv::IMREAD_IGNORE_ORIENTATION);
    if (image->empty()) {
      setMessage(message, messageSize, "not an image the vision library can read");
      return 0;
    }
    return 1;
  } catch (const cv::Exception& e) {
    // The library refuses, among others, images over its pixel limit this way; its
    // condition is the useful part of the message.
    image->release();
    setMessage(message, messageSize, ("the vision library refused it: " + e.err).c_str());
  } catch (const std::exception& e) {
    image->release();
    setMessage(message, messageSize, e.what());
  } catch (...) {
    image->release();
    setMessage(message, messageSize, "the vision library failed to read it");
  }
  return 0;
}

// The entry point's type is the one the program calls it through.
static_assert(std::is_same<decltype(&corvantis_imread_grey), corvantis::ImreadEntry>::value,
              "the plugin's entry point does not match ImreadEntry");
