// The fast reader of JPEG files with one (grey) or three (colour) components: libjpeg
// decodes straight to its grey output, as the vision library asks it to for a grey
// image, so that the pixels are those of cv::imread. Four-component (CMYK) files and
// anything libjpeg stops at are declined, for the library to decide.
#include <cstdio>
// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

#include <csetjmp>
#include <memory>

#include "imageproc/ImageReader.h"

namespace corvantis {
namespace {

struct ErrorManager {
  jpeg_error_mgr base;  // first, so that libjpeg's pointer to it is one to the whole
  std::jmp_buf jump;
};

[[noreturn]] void onJpegError(j_common_ptr info) {
  std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}
// Damaged data makes libjpeg warn and go on, as it does for the library: the pixels
// stay the same, only the remark is dropped.
void onJpegMessage(j_common_ptr) {}

// Owns the decompressor; destroying it also frees everything libjpeg allocated.
struct Decompressor {
  jpeg_decompress_struct info{};
  ErrorManager errors{};
  bool created = false;
  ~Decompressor() {
    if (created) jpeg_destroy_decompress(&info);
  }
};

// Reads the header and, for one or three components, sets the output to grey. No C++ object lives
// in this frame, so the longjmp of a libjpeg error skips no destructor.
bool readHeader(Decompressor* d, std::FILE* file) {
  if (setjmp(d->errors.jump) != 0) return false;
  jpeg_create_decompress(&d->info);
  d->created = true;
  jpeg_stdio_src(&d->info, file);
  jpeg_read_header(&d->info, TRUE);
  if (d->info.num_components == 1 || d->info.num_components == 3) {
    d->info.out_color_space = JCS_GRAYSCALE;
    jpeg_calc_output_dimensions(&d->info);
  }
  return true;
}

bool readPixels(Decompressor* d, cv::Mat* image) {
  if (setjmp(d->errors.jump) != 0) return false;
  jpeg_start_decompress(&d->info);
  if (d->info.output_components != 1 || d->info.output_width != JDIMENSION(image->cols) ||
      d->info.output_height != JDIMENSION(image->rows)) {
    return false;
  }
  while (d->info.output_scanline < d->info.output_height) {
    JSAMPROW row = image->ptr<JSAMPLE>(static_cast<int>(d->info.output_scanline));
    if (jpeg_read_scanlines(&d->info, &row, 1) != 1) return false;
  }
  jpeg_finish_decompress(&d->info);
  return true;
}

}  // namespace

ReadResult readJpeg(const std::string& path, cv::Mat* image) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                       &std::fclose);
  if (!file) return ReadResult::declined("cannot open JPEG");
  Decompressor d;
  d.info.err = jpeg_std_error(&d.errors.base);
  d.errors.base.error_exit = onJpegError;
  d.errors.base.output_message = onJpegMessage;
  if (!readHeader(&d, file.get())) return ReadResult::declined("bad JPEG header");
  if (d.info.num_components != 1 && d.info.num_components != 3) {
    return ReadResult::declined("JPEG with " + std::to_string(d.info.num_components) +
                                " components");
  }
  const ReadResult size = checkImageSize(d.info.output_width, d.info.output_height);
  if (size.outcome != ReadOutcome::kRead) return size;

  image->create(static_cast<int>(d.info.output_height), static_cast<int>(d.info.output_width),
                CV_8UC1);
  if (!readPixels(&d, image)) {
    image->release();
    return ReadResult::declined("JPEG data libjpeg cannot read");
  }
  return ReadResult::read();
}

}  // namespace corvantis
