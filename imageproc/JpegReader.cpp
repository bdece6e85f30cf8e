// The fast reader of JPEG files with one (grey) or three (colour) components: libjpeg
// decodes straight to its grey output, as the vision library asks it to for a grey
// image, so that the pixels are those of cv::imread. Four-component (CMYK) files and
// anything libjpeg stops at are declined, for the library to decide; data that ends
// early or is corrupt is no image at all, here and on the library's path (jpegDamage).
#include <cstdio>
// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>
// The message codes, after jpeglib.h.
#include <jerror.h>

#include <csetjmp>
#include <string>
#include <vector>

#include "imageproc/ImageReader.h"

namespace corvantis {
namespace {

struct ErrorManager {
  jpeg_error_mgr base;  // first, so that libjpeg's pointer to it is one to the whole
  std::jmp_buf jump;
  char damage[JMSG_LENGTH_MAX];  // libjpeg's text of the first damage found; empty if none
};

[[noreturn]] void onJpegError(j_common_ptr info) {
  std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

// Data that ends early (a capture the camera is still writing) or is corrupt makes
// libjpeg only warn and fill what it could not decode with grey, which would pass for a
// real image. Such a warning ends the decoding as an error does. The other warnings
// (an unknown JFIF revision, a bad ICC profile, unusual scan parameters) leave the
// pixels as they are.
void onJpegMessage(j_common_ptr info, int level) {
  switch (level < 0 ? info->err->msg_code : -1) {
    case JWRN_JPEG_EOF:
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
    case JWRN_MUST_RESYNC:
    case JWRN_EXTRANEOUS_DATA:
    case JWRN_BOGUS_PROGRESSION: {
      auto* errors = reinterpret_cast<ErrorManager*>(info->err);
      info->err->format_message(info, errors->damage);
      std::longjmp(errors->jump, 1);
    }
    default:
      break;
  }
}

// Hands libjpeg the file a piece at a time, as its own stdio source does, and ends the
// data as that does: a file that stops early gets libjpeg's warning that it did, then
// an end-of-image marker. A read the system fails ends the decoding at once.
struct StreamSource {
  jpeg_source_mgr base;  // first, so that libjpeg's pointer to it is one to the whole
  ImageStream* file;
  std::vector<JOCTET> buffer;
};

void startSource(j_decompress_ptr) {}
void endSource(j_decompress_ptr) {}

boolean fillFromFile(j_decompress_ptr info) {
  auto* source = reinterpret_cast<StreamSource*>(info->src);
  std::size_t got = source->file->read(source->buffer.data(), source->buffer.size());
  if (got == 0) {
    if (!source->file->failure().ok()) ERREXIT(info, JERR_FILE_READ);
    WARNMS(info, JWRN_JPEG_EOF);
    source->buffer[0] = 0xFF;
    source->buffer[1] = JPEG_EOI;
    got = 2;
  }
  source->base.next_input_byte = source->buffer.data();
  source->base.bytes_in_buffer = got;
  return TRUE;
}

void skipInFile(j_decompress_ptr info, long count) {
  jpeg_source_mgr* source = info->src;
  if (count <= 0) return;
  while (count > static_cast<long>(source->bytes_in_buffer)) {
    count -= static_cast<long>(source->bytes_in_buffer);
    fillFromFile(info);
  }
  source->next_input_byte += count;
  source->bytes_in_buffer -= static_cast<std::size_t>(count);
}

// Owns the decompressor; destroying it also frees everything libjpeg allocated.
struct Decompressor {
  jpeg_decompress_struct info{};
  ErrorManager errors{};
  StreamSource source{};
  bool created = false;
  ~Decompressor() {
    if (created) jpeg_destroy_decompress(&info);
  }
};

// Reads the header and, for one or three components, sets the output to grey. No C++ object lives
// in this frame, so the longjmp of a libjpeg error skips no destructor.
bool readHeader(Decompressor* d) {
  if (setjmp(d->errors.jump) != 0) return false;
  jpeg_create_decompress(&d->info);
  d->created = true;
  d->info.src = &d->source.base;
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

// Decodes every row into `row`, which holds one, only for libjpeg's view of the data.
bool decodeAll(Decompressor* d, JSAMPROW row) {
  if (setjmp(d->errors.jump) != 0) return false;
  jpeg_start_decompress(&d->info);
  while (d->info.output_scanline < d->info.output_height) {
    if (jpeg_read_scanlines(&d->info, &row, 1) != 1) return false;
  }
  jpeg_finish_decompress(&d->info);
  return true;
}

void watchErrors(Decompressor* d) {
  d->info.err = jpeg_std_error(&d->errors.base);
  d->errors.base.error_exit = onJpegError;
  d->errors.base.emit_message = onJpegMessage;
}

// Why the data decoded so far is cut short or corrupt; empty when it is not.
std::string damageOf(const Decompressor& d) {
  if (d.errors.damage[0] == '\0') return std::string();
  return std::string("the JPEG data is cut short or damaged: ") + d.errors.damage;
}

void prepare(Decompressor* d, ImageStream* file) {
  watchErrors(d);
  StreamSource& source = d->source;
  source.file = file;
  // Small beside any image, large enough that the file is read in few calls.
  source.buffer.resize(64 * 1024);
  source.base.init_source = startSource;
  source.base.fill_input_buffer = fillFromFile;
  source.base.skip_input_data = skipInFile;
  source.base.resync_to_restart = jpeg_resync_to_restart;
  source.base.term_source = endSource;
}

// A file the system failed to read, cut short or corrupt is no image on any path;
// otherwise `result` stands.
Status damagedOr(const Decompressor& d, const Status& result) {
  if (!d.source.file->failure().ok()) return d.source.file->failure();
  const std::string damage = damageOf(d);
  return damage.empty() ? result : Status::error(damage);
}

}  // namespace

Status jpegDamage(ImageStream* file) {
  Decompressor d;
  prepare(&d, file);
  // Any number of components, in libjpeg's own output space; a size over the limit is
  // left for the library's own refusal.
  if (readHeader(&d) && checkImageSize(d.info.image_width, d.info.image_height).ok()) {
    // A row of the output never has more samples than the file has components.
    std::vector<JSAMPLE> row(std::size_t{d.info.image_width} * d.info.num_components);
    decodeAll(&d, row.data());
  }
  return damagedOr(d, Status::success());
}

Status readJpeg(ImageStream* file, cv::Mat* image) {
  Decompressor d;
  prepare(&d, file);
  if (!readHeader(&d)) return damagedOr(d, Status::notSupported("bad JPEG header"));
  if (d.info.num_components != 1 && d.info.num_components != 3) {
    return Status::notSupported("JPEG with " + std::to_string(d.info.num_components) +
                                " components");
  }
  const Status size = checkImageSize(d.info.output_width, d.info.output_height);
  if (!size.ok()) return size;

  image->create(static_cast<int>(d.info.output_height), static_cast<int>(d.info.output_width),
                CV_8UC1);
  if (!readPixels(&d, image)) {
    image->release();
    return damagedOr(d, Status::notSupported("JPEG data libjpeg cannot read"));
  }
  return Status::success();
}

}  // namespace corvantis
