#include "imageproc/ImageStream.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace corvantis {
namespace {

// Large enough that reading costs few calls to the system, small beside any image.
constexpr std::size_t kBufferSize = 64 * 1024;

}  // namespace

Status ImageStream::open(const Platform& platform, const std::string& path,
                         std::unique_ptr<ImageStream>* stream) {
  stream->reset();
  std::unique_ptr<ReadableFile> file;
  const Status opened = platform.openForReading(path, &file);
  if (!opened.ok()) return Status::error(opened.reason());
  stream->reset(new ImageStream(std::move(file)));
  return Status::success();
}

ImageStream::ImageStream(std::unique_ptr<ReadableFile> file)
    : file_(std::move(file)), buffer_(kBufferSize) {}

bool ImageStream::fill() {
  if (ended_ || !failure_.ok()) return false;
  if (begin_ == end_) begin_ = end_ = 0;
  std::size_t got = 0;
  const Status read = file_->read(buffer_.data() + end_, buffer_.size() - end_, &got);
  if (!read.ok()) failure_ = Status::error(read.reason());
  if (read.ok() && got < buffer_.size() - end_) ended_ = true;
  end_ += got;
  return got > 0;
}

std::string ImageStream::head(std::size_t size) {
  // Only asked before anything was read, so the buffer still starts with the file.
  while (end_ - begin_ < size && end_ < buffer_.size() && fill()) {
  }
  return std::string(buffer_.data() + begin_, std::min(size, end_ - begin_));
}

std::size_t ImageStream::read(void* buffer, std::size_t size) {
  char* out = static_cast<char*>(buffer);
  std::size_t done = std::min(size, end_ - begin_);
  std::memcpy(out, buffer_.data() + begin_, done);
  begin_ += done;
  if (done == size || ended_ || !failure_.ok()) return done;
  // What is left of a large piece goes straight from the file to its place.
  if (size - done >= buffer_.size()) {
    std::size_t got = 0;
    const Status read = file_->read(out + done, size - done, &got);
    if (!read.ok()) failure_ = Status::error(read.reason());
    if (read.ok() && got < size - done) ended_ = true;
    return done + got;
  }
  while (done < size && fill()) {
    const std::size_t n = std::min(size - done, end_ - begin_);
    std::memcpy(out + done, buffer_.data() + begin_, n);
    begin_ += n;
    done += n;
  }
  return done;
}

bool ImageStream::skip(std::uint64_t size) {
  char scratch[4096];
  while (size > 0) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(size, sizeof scratch));
    if (read(scratch, n) != n) return false;
    size -= n;
  }
  return true;
}

}  // namespace corvantis
