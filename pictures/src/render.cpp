// libwmf reads the metafile from memory through its read/seek/tell
// callbacks, and writes through a sink (gd) or its own memory stream (SVG):
// no file is touched.  Its error reports go to a small buffer of ours, the
// first line of which becomes the reason of a failure; its debug reports are
// off.  It needs the Ghostscript fonts (Debian gsfonts): without them
// wmf_api_create fails with "failed to load *any* font!".
//
// The device box: with a known window (metafile.h) the metafile is played in
// MM_ANISOTROPIC, and libwmf's player then maps the window onto a viewport of
// 1024 x 1024 device units, as the metafile sets no viewport of its own (the
// checks leave such records out).  That square is given to the device as the
// box it draws onto the whole image, so that the window fills the picture
// exactly.  Without a window, the box is libwmf's scan of what the records
// draw, as libwmf's own tools use it.
//
// PNG: the gd device draws into a truecolor gd image that it hands over
// (wmf_gd_image), and png.cpp writes it: gd's own PNG writer takes six times
// as long as the drawing (60 ms for a 455 x 438 picture).  Pictures of at most
// 256 colours, as most metafiles of help files are (a screen shot in a
// metafile, a drawing of a few colours), become palette images.  The gd image
// is the caller's to free, but libwmf exports no gdImageDestroy: FreeGdImage
// frees what gd allocated for it, by the structure <libwmf/gd/gd.h> declares.
#include "render.h"

#include <libwmf/api.h>
#include <libwmf/gd.h>
#include <libwmf/gd/gd.h>
#include <libwmf/svg.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "png_encoder.h"

namespace quillon::pictures::wmf {
namespace {

constexpr float kViewport = 1024;
// libwmf calls the status function after each record of both passes: a
// backstop, beside the checks of metafile.cpp, against a metafile that keeps
// the player busy for longer than any picture needs.
constexpr unsigned long kMostStatusCalls = 1000000;
constexpr auto kLongestPlay = std::chrono::seconds(5);

struct Input {
  const uint8_t *data;
  long size;
  long at;
};

int ReadByte(void *context) {
  auto *in = static_cast<Input *>(context);
  return in->at < in->size ? in->data[in->at++] : EOF;
}
int Seek(void *context, long to) {
  auto *in = static_cast<Input *>(context);
  if (to < 0 || to > in->size) return -1;
  in->at = to;
  return 0;
}
long Tell(void *context) { return static_cast<Input *>(context)->at; }

struct Status {
  unsigned long calls = 0;
  std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::now() + kLongestPlay;
};
int CountRecord(void *context, float) {
  auto *status = static_cast<Status *>(context);
  return ++status->calls > kMostStatusCalls || std::chrono::steady_clock::now() > status->deadline;
}

// One libwmf API: created for a device, fed the metafile, destroyed at the end.
// libwmf does not promise that two APIs may play at once (its font set-up and
// its gd device keep state of their own), and a collection converts several
// help files in threads of one process: one player at a time, process-wide.
class Player {
 public:
  Player(const Playable &metafile, void (*device)(wmfAPI *), std::string *why)
      : turn_(Turn()), input_{metafile.bytes.data(), static_cast<long>(metafile.bytes.size()), 0}, why_(why) {
    errors_ = fmemopen(errorText_, sizeof errorText_ - 1, "w");
    wmfAPI_Options options{};
    options.function = device;
    options.error_out = errors_;
    unsigned long flags = WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_DEBUG |
                          (errors_ != nullptr ? WMF_OPT_LOG_ERROR : WMF_OPT_NO_ERROR);
    if (wmf_api_create(&api_, flags, &options) != wmf_E_None) {
      // What a failed create leaves is not ours to destroy (libwmf cleans up
      // after itself there): the fonts are missing, or memory.
      api_ = nullptr;
      Fail("libwmf could not start");
      return;
    }
    wmf_status_function(api_, &status_, CountRecord);
    if (wmf_bbuf_input(api_, ReadByte, Seek, Tell, &input_) != wmf_E_None) Fail("libwmf could not read");
  }
  ~Player() {
    if (api_ != nullptr) wmf_api_destroy(api_);
    if (errors_ != nullptr) fclose(errors_);
  }
  Player(const Player &) = delete;
  Player &operator=(const Player &) = delete;

  wmfAPI *api() { return api_; }

  static std::mutex &Turn() {
    static std::mutex turn;
    return turn;
  }

  // Scans the metafile and gives the box the device draws.
  bool Scan(const Playable &metafile, wmfD_Rect &box) {
    if (!ok_) return false;
    if (wmf_scan(api_, 0, &box) != wmf_E_None) return Fail("libwmf could not read the metafile");
    if (metafile.window) {
      box.TL.x = box.TL.y = 0;
      box.BR.x = box.BR.y = kViewport;
    }
    if (!(box.BR.x > box.TL.x) || !(box.BR.y > box.TL.y)) return Fail("metafile draws nothing");
    return true;
  }
  bool Play(wmfD_Rect &box) {
    if (wmf_play(api_, 0, &box) != wmf_E_None) return Fail("libwmf could not draw the metafile");
    return true;
  }
  bool Fail(const char *reason) {
    ok_ = false;
    if (why_ == nullptr) return false;
    *why_ = reason;
    if (errors_ != nullptr) {
      fflush(errors_);
      std::string text(errorText_, strnlen(errorText_, sizeof errorText_));
      // "ERROR: file.c (line): what happened\n": the last part is the reason.
      text = text.substr(0, text.find('\n'));
      size_t colon = text.rfind("): ");
      if (colon != std::string::npos) text = text.substr(colon + 3);
      if (!text.empty()) *why_ += ": " + text;
    }
    return false;
  }

 private:
  std::lock_guard<std::mutex> turn_;  // first: held until libwmf is done
  Input input_;
  std::string *why_;
  wmfAPI *api_ = nullptr;
  FILE *errors_ = nullptr;
  char errorText_[512] = {};
  Status status_;
  bool ok_ = true;
};

// gdImageDestroy of the gd inside libwmf, whose truecolor images keep their
// rows in one block (_tpixels) behind the row table (tpixels).
void FreeGdImage(void *image) {
  auto *im = static_cast<gdImagePtr>(image);
  if (im == nullptr) return;
  if (im->pixels != nullptr) {
    for (int y = 0; y < im->sy; ++y) free(im->pixels[y]);
    free(im->pixels);
  }
  free(im->tpixels);
  free(im->_tpixels);
  free(im->polyInts);
  free(im->style);
  if (im->clip != nullptr) {
    free(im->clip->list);
    free(im->clip);
  }
  free(im);
}

class GdImage {
 public:
  explicit GdImage(void *image) : image_(image) {}
  ~GdImage() { FreeGdImage(image_); }
  GdImage(const GdImage &) = delete;
  GdImage &operator=(const GdImage &) = delete;

 private:
  void *image_;
};

// gd's truecolor pixel: 7 bits of transparency (0 opaque), red, green, blue.
constexpr uint32_t kGdAlphaMask = 0x7F000000u;

struct GdPixels {
  const int *pixels;
  int width;
  const uint8_t *indices;  // a palette image's, or null
  bool alpha;
};

const uint8_t *GdRow(const void *context, int y, uint8_t *scratch) {
  const auto &gd = *static_cast<const GdPixels *>(context);
  if (gd.indices != nullptr) return gd.indices + size_t(y) * gd.width;
  const int *row = gd.pixels + size_t(y) * gd.width;
  uint8_t *out = scratch;
  for (int x = 0; x < gd.width; ++x) {
    auto c = static_cast<uint32_t>(row[x]);
    *out++ = static_cast<uint8_t>(c >> 16);
    *out++ = static_cast<uint8_t>(c >> 8);
    *out++ = static_cast<uint8_t>(c);
    if (gd.alpha) *out++ = static_cast<uint8_t>((127 - ((c & kGdAlphaMask) >> 24)) * 255 / 127);
  }
  return scratch;
}

// How the drawn picture is best written: as a palette image when it has at
// most 256 colours, all opaque (then with its palette and indices), else as
// RGB when it is opaque, else as RGBA.
PngImage::Layout ChooseLayout(const int *pixels, size_t count, std::vector<PngRgb> &palette,
                              std::vector<uint8_t> &indices) {
  constexpr size_t kSlots = 1024;  // open addressing, at most a quarter full
  uint32_t keys[kSlots];
  int16_t values[kSlots];
  std::fill(std::begin(values), std::end(values), int16_t{-1});
  indices.resize(count);
  uint32_t last = 0xFFFFFFFFu;
  uint8_t lastIndex = 0;
  for (size_t i = 0; i < count; ++i) {
    auto c = static_cast<uint32_t>(pixels[i]);
    if (c == last) {
      indices[i] = lastIndex;
      continue;
    }
    if ((c & kGdAlphaMask) != 0) return PngImage::Layout::Rgba;
    size_t slot = (c * 2654435761u) >> 22;
    while (values[slot] >= 0 && keys[slot] != c) slot = (slot + 1) % kSlots;
    if (values[slot] < 0) {
      if (palette.size() == 256) {
        // Too many colours: whether the rest is opaque decides.
        for (size_t j = i; j < count; ++j)
          if ((static_cast<uint32_t>(pixels[j]) & kGdAlphaMask) != 0) return PngImage::Layout::Rgba;
        return PngImage::Layout::Rgb;
      }
      keys[slot] = c;
      values[slot] = static_cast<int16_t>(palette.size());
      palette.push_back(
          {static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c)});
    }
    last = c;
    lastIndex = static_cast<uint8_t>(values[slot]);
    indices[i] = lastIndex;
  }
  return PngImage::Layout::Palette;
}

}  // namespace

std::vector<uint8_t> DrawPng(const Playable &metafile, int width, int height, std::string *why) {
  Player player(metafile, wmf_gd_function, why);
  wmfD_Rect box{};
  if (!player.Scan(metafile, box)) return {};
  wmf_gd_t *device = WMF_GD_GetData(player.api());
  device->type = wmf_gd_image;
  device->width = static_cast<unsigned>(width);
  device->height = static_cast<unsigned>(height);
  device->bbox = box;
  bool played = player.Play(box);
  GdImage owned(device->gd_image);
  if (!played) return {};
  const auto *image = static_cast<const gdImage *>(device->gd_image);
  if (image == nullptr || !image->trueColor || image->sx != width || image->sy != height)
    return player.Fail("libwmf drew no image of the size asked for"), std::vector<uint8_t>();
  const int *pixels = wmf_gd_image_pixels(device->gd_image);

  std::vector<PngRgb> palette;
  std::vector<uint8_t> indices;
  PngImage png;
  png.width = width;
  png.height = height;
  png.layout = ChooseLayout(pixels, size_t(width) * size_t(height), palette, indices);
  GdPixels gd{pixels, width, nullptr, png.layout == PngImage::Layout::Rgba};
  png.row = GdRow;
  png.context = &gd;
  if (png.layout == PngImage::Layout::Palette) {
    gd.indices = indices.data();
    png.palette = palette.data();
    png.paletteSize = static_cast<int>(palette.size());
  } else {
    png.scratchBytes = size_t(width) * (gd.alpha ? 4 : 3);
  }
  std::vector<uint8_t> out;
  if (!EncodePng(png, out, why)) return {};
  return out;
}

std::string DrawSvg(const Playable &metafile, int width, int height, std::string *why) {
  Player player(metafile, wmf_svg_function, why);
  wmfD_Rect box{};
  if (!player.Scan(metafile, box)) return {};
  wmf_svg_t *device = WMF_SVG_GetData(player.api());
  device->out = wmf_stream_create(player.api(), nullptr);
  if (device->out == nullptr) return player.Fail("libwmf could not write"), std::string();
  static char description[] = "";
  device->Description = description;
  device->bbox = box;
  device->width = static_cast<unsigned>(width);
  device->height = static_cast<unsigned>(height);
  // Bitmaps inline, never as files beside the document (the layer leaves
  // metafiles with bitmaps to the PNG anyway).
  device->flags |= WMF_SVG_INLINE_IMAGES;
  bool played = player.Play(box);
  char *text = nullptr;
  unsigned long length = 0;
  // The stream's memory stays the API's and goes with it.
  wmf_stream_destroy(player.api(), device->out, &text, &length);
  if (!played) return {};
  if (text == nullptr || length == 0) return player.Fail("libwmf wrote no SVG"), std::string();
  return std::string(text, length);
}

}  // namespace quillon::pictures::wmf
