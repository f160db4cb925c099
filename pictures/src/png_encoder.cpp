// Speed matters here (a whole help file's site is written in a few tens of
// milliseconds): zlib at level 2, no filter for palette images (filters do
// not pay there), Sub for the others (the cheapest one that pays); BGR rows
// are swapped, and unused bytes stripped, by libpng as it goes.  The figures
// are in bench/pictures.cpp.
//
// libpng reports errors by longjmp: the frame that calls setjmp holds no
// object with a destructor, and the write callback turns a failed append
// into png_error, so that no C++ exception crosses libpng's frames.
#include "png_encoder.h"

#include <png.h>

#include <csetjmp>
#include <cstring>

namespace quillon::pictures {
namespace {

constexpr int kZlibLevel = 2;

struct Job {
  const PngImage *image;
  std::vector<uint8_t> *out;
  uint8_t *scratch;
  char error[128];
};

void OnError(png_structp png, png_const_charp message) {
  auto *job = static_cast<Job *>(png_get_error_ptr(png));
  std::strncpy(job->error, message, sizeof job->error - 1);
  png_longjmp(png, 1);
}
void OnWarning(png_structp, png_const_charp) {}

void Append(png_structp png, png_bytep data, png_size_t length) {
  auto *job = static_cast<Job *>(png_get_io_ptr(png));
  bool failed = false;
  try {
    job->out->insert(job->out->end(), data, data + length);
  } catch (...) {
    failed = true;
  }
  if (failed) png_error(png, "out of memory");
}
void Flush(png_structp) {}

// No object with a destructor lives in this frame: see the top of the file.
bool Run(Job &job) {
  const PngImage &image = *job.image;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &job, OnError, OnWarning);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  using Layout = PngImage::Layout;
  png_set_write_fn(png, &job, Append, Flush);
  png_set_compression_level(png, kZlibLevel);
  bool paletted = image.layout == Layout::Palette;
  png_set_filter(png, PNG_FILTER_TYPE_BASE, paletted ? PNG_FILTER_NONE : PNG_FILTER_SUB);
  int type = paletted                       ? PNG_COLOR_TYPE_PALETTE
             : image.layout == Layout::Rgba ? PNG_COLOR_TYPE_RGBA
                                            : PNG_COLOR_TYPE_RGB;
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height),
               paletted ? image.depth : 8, type, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE,
               PNG_FILTER_TYPE_BASE);
  if (paletted) {
    static_assert(sizeof(PngRgb) == sizeof(png_color));
    png_set_PLTE(png, info, reinterpret_cast<png_const_colorp>(image.palette), image.paletteSize);
  }
  png_write_info(png, info);
  if (image.layout == Layout::Bgr || image.layout == Layout::Bgrx) png_set_bgr(png);
  if (image.layout == Layout::Bgrx) png_set_filler(png, 0, PNG_FILLER_AFTER);
  for (int y = 0; y < image.height; ++y)
    png_write_row(png, const_cast<png_bytep>(image.row(image.context, y, job.scratch)));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool EncodePng(const PngImage &image, std::vector<uint8_t> &out, std::string *why) {
  std::vector<uint8_t> scratch(image.scratchBytes);
  Job job{&image, &out, scratch.data(), {}};
  if (Run(job)) return true;
  if (why != nullptr) *why = std::string("libpng: ") + (job.error[0] != 0 ? job.error : "failed");
  return false;
}

}  // namespace quillon::pictures
