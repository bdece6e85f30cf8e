// Reads image files as 8-bit grey levels, pixel for pixel as the vision library's
// cv::imread(path, IMREAD_GRAYSCALE | IMREAD_IGNORE_ORIENTATION) reads them.
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

namespace corvantis {

enum class ReadOutcome {
  kRead,      // the image is in *image
  kDeclined,  // not this reader's file or variant; another reader must decide
  kFailed,    // the file is not readable as an image at all
};

struct ReadResult {
  ReadOutcome outcome;
  std::string message;  // why, when not kRead

  static ReadResult read() { return {ReadOutcome::kRead, std::string()}; }
  static ReadResult declined(const std::string& why) { return {ReadOutcome::kDeclined, why}; }
  static ReadResult failed(const std::string& why) { return {ReadOutcome::kFailed, why}; }
};

// Reads `path` with the fast readers, falling back to cv::imread in the plugin. Never
// kDeclined; on kFailed *image is empty.
ReadResult readGreyImage(const std::string& path, cv::Mat* image);

// The fast readers alone: kDeclined for anything the fallback has to decide.
ReadResult readFast(const std::string& path, cv::Mat* image);
// cv::imread through the plugin, with the pixel limit: kRead or kFailed.
ReadResult readWithLibrary(const std::string& path, cv::Mat* image);
// Puts the pixel limit where the plugin reads it, the environment. Reads on a second
// thread call this first on the thread that starts it: setting a variable while another
// thread reads the environment is not safe, and once set it is not set again.
void limitLibraryImageSize();

// The fast readers of one format each; `path` starts with the format's signature.
ReadResult readBmp(const std::string& path, cv::Mat* image);
ReadResult readPng(const std::string& path, cv::Mat* image);
ReadResult readJpeg(const std::string& path, cv::Mat* image);

// Why libjpeg finds the JPEG file at `path` cut short or corrupt, after decoding all of
// it; empty when it finds no such damage (or cannot decode the file at all).
std::string jpegDamage(const std::string& path);

// The failure of a `format` file that ends before its pixel data does: a capture still
// being written, or a broken copy. No reader can make an image of it.
ReadResult cutShort(const std::string& format);

// The refusal of a width x height image over kMaxImagePixels; kRead when it fits.
ReadResult checkImageSize(std::uint64_t width, std::uint64_t height);

}  // namespace corvantis
