// The fast reader of PNG files: libpng with exactly the transformations that the vision
// library asks of it for a grey image (16 bits stripped to 8, alpha stripped, palette
// expanded, 1, 2 and 4-bit grey widened, colour to grey with 0.299 and 0.587, which
// honours gAMA and sRGB), so that the pixels are those of cv::imread. Any libpng error
// declines the file, for the library to decide, except a file that ends early, which no
// reader can make an image of.
#include <png.h>

#include <csetjmp>
#include <vector>

#include "imageproc/ImageReader.h"

namespace corvantis {
namespace {

[[noreturn]] void onPngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
// The caller reports a failure in its own words; libpng's remarks would only add noise.
void onPngWarning(png_structp, png_const_charp) {}

// Owns libpng's read structures.
class PngReadState {
 public:
  PngReadState()
      : png_(png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, onPngError, onPngWarning)),
        info_(png_ != nullptr ? png_create_info_struct(png_) : nullptr),
        end_(png_ != nullptr ? png_create_info_struct(png_) : nullptr) {}
  ~PngReadState() { png_destroy_read_struct(&png_, &info_, &end_); }
  PngReadState(const PngReadState&) = delete;
  PngReadState& operator=(const PngReadState&) = delete;

  bool ok() const { return png_ != nullptr && info_ != nullptr && end_ != nullptr; }
  png_structp png() const { return png_; }
  png_infop info() const { return info_; }
  png_infop end() const { return end_; }

 private:
  png_structp png_;
  png_infop info_;
  png_infop end_;
};

// The file as libpng takes it in; `cutShort` tells that it asked for more than the
// file holds.
struct PngSource {
  ImageStream* file;
  bool cutShort = false;
};

void readFromFile(png_structp png, png_bytep data, png_size_t length) {
  auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
  if (source->file->read(data, length) != length) {
    source->cutShort = source->file->failure().ok();
    png_error(png, "read past the end");
  }
}

struct PngHeader {
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  int bitDepth = 0;
  int colourType = 0;
};

// Reads the chunks before the pixels. No C++ object lives in this frame, so the
// longjmp of a libpng error skips no destructor.
bool readHeader(const PngReadState& state, PngSource* source, PngHeader* header) {
  if (setjmp(png_jmpbuf(state.png())) != 0) return false;
  png_set_read_fn(state.png(), source, readFromFile);
  png_read_info(state.png(), state.info());
  png_get_IHDR(state.png(), state.info(), &header->width, &header->height, &header->bitDepth,
               &header->colourType, nullptr, nullptr, nullptr);
  return true;
}

// Sets up the library's grey transformations and decodes into `rows`.
bool readPixels(const PngReadState& state, const PngHeader& header, png_bytepp rows) {
  if (setjmp(png_jmpbuf(state.png())) != 0) return false;
  png_structp png = state.png();
  if (header.bitDepth == 16) png_set_strip_16(png);
  png_set_strip_alpha(png);
  if (header.colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if ((header.colourType & PNG_COLOR_MASK_COLOR) == 0 && header.bitDepth < 8) {
    png_set_expand_gray_1_2_4_to_8(png);
  }
  png_set_rgb_to_gray(png, 1, 0.299, 0.587);
  png_set_interlace_handling(png);
  png_read_update_info(png, state.info());
  // Whatever the transformations, each row must come out as one byte a pixel.
  if (png_get_rowbytes(png, state.info()) != header.width) return false;
  png_read_image(png, rows);
  png_read_end(png, state.end());
  return true;
}

}  // namespace

Status readPng(ImageStream* file, cv::Mat* image) {
  PngReadState state;
  if (!state.ok()) return Status::notSupported("cannot open PNG");
  PngSource source{file};
  PngHeader header;
  if (!readHeader(state, &source, &header)) {
    if (!file->failure().ok()) return file->failure();
    return source.cutShort ? cutShort("PNG") : Status::notSupported("bad PNG header");
  }
  const Status size = checkImageSize(header.width, header.height);
  if (!size.ok()) return size;

  image->create(static_cast<int>(header.height), static_cast<int>(header.width), CV_8UC1);
  std::vector<png_bytep> rows(header.height);
  for (png_uint_32 y = 0; y < header.height; ++y)
    rows[y] = image->ptr<png_byte>(static_cast<int>(y));
  if (!readPixels(state, header, rows.data())) {
    image->release();
    if (!file->failure().ok()) return file->failure();
    return source.cutShort ? cutShort("PNG") : Status::notSupported("PNG data libpng cannot read");
  }
  return Status::success();
}

}  // namespace corvantis
