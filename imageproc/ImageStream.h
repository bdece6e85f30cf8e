// An image file as the fast readers take it in: from its first byte on, in order, through
// the platform layer, with only a small buffer of it in memory at any time, so that
// reading an image costs little more memory than its grey pixels.
//
// The stream remembers why the system failed to read the file, if it did; a reader whose
// decoding stopped asks that first, for a read the system failed is not damage in the
// file. Not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "workspace/Platform.h"
#include "workspace/Status.h"

namespace corvantis {

class ImageStream {
 public:
  // Opens `path`; *stream stays empty when the system cannot, and the error then has the
  // system's reason alone (the caller names the file in words of its own).
  static Status open(const Platform& platform, const std::string& path,
                     std::unique_ptr<ImageStream>* stream);

  // Up to the first `size` bytes of the file, which later reads still give.
  std::string head(std::size_t size);
  // Copies the next bytes into `buffer`, up to `size`; fewer only where the file ends or
  // the system fails to read it.
  std::size_t read(void* buffer, std::size_t size);
  // Passes over the next `size` bytes; false when the file ends or fails first.
  bool skip(std::uint64_t size);
  // Ok, or the system's reason for failing to read the file.
  const Status& failure() const { return failure_; }

 private:
  explicit ImageStream(std::unique_ptr<ReadableFile> file);
  // Reads more of the file after the buffered bytes; false when none came.
  bool fill();

  std::unique_ptr<ReadableFile> file_;
  std::vector<char> buffer_;
  std::size_t begin_ = 0;  // the buffered bytes not yet read are [begin_, end_)
  std::size_t end_ = 0;
  bool ended_ = false;
  Status failure_ = Status::success();
};

}  // namespace corvantis
