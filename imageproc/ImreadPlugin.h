// The entry point of the "corvantis-imread" plugin: the vision library's own image
// reader, kept out of the program so that its codecs load only when a file needs them.
#pragma once

#include <cstddef>

namespace cv {
class Mat;
}

namespace corvantis {

constexpr char kImreadPluginName[] = "corvantis-imread";
constexpr char kImreadEntrySymbol[] = "corvantis_imread_grey";

// Reads `path` as cv::imread(path, IMREAD_GRAYSCALE | IMREAD_IGNORE_ORIENTATION) does
// into *image. Returns 1 when pixels were read; 0 otherwise, with a reason of at most
// `messageSize` - 1 characters in `message`. Never throws.
using ImreadEntry = int (*)(const char* path, cv::Mat* image, char* message,
                            std::size_t messageSize);

}  // namespace corvantis
