// Reads image files as 8-bit grey levels, pixel for pixel as the vision library's
// cv::imread(path, IMREAD_GRAYSCALE | IMREAD_IGNORE_ORIENTATION) reads them. The file is
// read through the platform layer; the fast readers decode it as it streams in, holding
// no more of it than a buffer's worth.
//
// The common capture formats are decoded here with the format libraries the vision
// library itself uses (libpng, libjpeg) and a small reader of our own for BMP, so that
// a check never has to load the vision library's image codecs and their hundred-odd
// dependencies. Whatever a fast reader has not been proven to read identically (other
// formats, rare variants, damaged files) it declines, and the file goes to cv::imread
// in the "corvantis-imread" plugin, loaded only then. Images of more than
// kMaxImagePixels pixels are refused before any pixel memory is allocated, by both
// paths. Not thread-safe (the plugin is found once per process).
#pragma once

#include <cstdint>
#include <opencv2/core.hpp>
#include <string>

#include "imageproc/ImageHeader.h"
#include "imageproc/ImageStream.h"
#include "workspace/Platform.h"
#include "workspace/Status.h"

namespace corvantis {

// Reads `path` with the fast readers, falling back to cv::imread in the plugin. Never
// "not supported"; on failure *image is empty. A file `platform` cannot read fails with
// the system's reason.
Status readGreyImage(const Platform& platform, const std::string& path, cv::Mat* image);

// The fast readers alone: "not supported" for anything the fallback has to decide.
Status readFast(const Platform& platform, const std::string& path, cv::Mat* image);
// cv::imread of `path` through the plugin, with the pixel limit: ok or an error.
Status readWithLibrary(const Platform& platform, const std::string& path, cv::Mat* image);
// Puts the pixel limit where the plugin reads it, the environment. Reads on a second
// thread call this first on the thread that starts it: setting a variable while another
// thread reads the environment is not safe, and once set it is not set again.
void limitLibraryImageSize();

// The fast readers of one format each; `file` starts with the format's signature. A read
// the system fails is an error with its reason, never "not supported".
Status readBmp(ImageStream* file, cv::Mat* image);
Status readPng(ImageStream* file, cv::Mat* image);
Status readJpeg(ImageStream* file, cv::Mat* image);

// Why `file`, a JPEG file, is no image after decoding all of it with libjpeg: the system
// failed to read it, or libjpeg finds it cut short or corrupt. Ok when there is no such
// damage (or libjpeg cannot decode the file at all).
Status jpegDamage(ImageStream* file);

// The failure of a `format` file that ends before its pixel data does: a capture still
// being written, or a broken copy. No reader can make an image of it.
Status cutShort(const std::string& format);

// The refusal of a width x height image over kMaxImagePixels; ok when it fits.
Status checkImageSize(std::uint64_t width, std::uint64_t height);

}  // namespace corvantis
