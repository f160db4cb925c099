// Png and Svg: the writers of a decoded Picture.
#include <quillon/pictures.h>

#include "dib.h"
#include "metafile.h"
#include "render.h"
#include "svg.h"

namespace quillon::pictures {
namespace {

std::optional<wmf::Playable> PlayableOf(const Picture &picture, std::string *why) {
  if (picture.kind != Kind::Metafile || picture.width <= 0 || picture.height <= 0 ||
      picture.width > wmf::kLargestSide || picture.height > wmf::kLargestSide) {
    if (why != nullptr) *why = "no metafile of a size that can be drawn";
    return std::nullopt;
  }
  return wmf::MakePlayable(picture.metafile, picture.width, picture.height, why);
}

}  // namespace

std::vector<uint8_t> Png(const Picture &picture, std::string *why) {
  if (picture.kind == Kind::Bitmap) {
    std::optional<DibView> dib = ViewDib(picture.dib, why);
    if (!dib) return {};
    return DibToPng(*dib, why);
  }
  std::optional<wmf::Playable> playable = PlayableOf(picture, why);
  if (!playable) return {};
  return wmf::DrawPng(*playable, picture.width, picture.height, why);
}

std::string Svg(const Picture &picture, std::string *why) {
  if (picture.kind != Kind::Metafile) {
    if (why != nullptr) *why = "a bitmap has no SVG";
    return {};
  }
  std::optional<wmf::Playable> playable = PlayableOf(picture, why);
  if (!playable) return {};
  // libwmf's SVG device places inline bitmaps at the wrong size, and SVG has
  // none of the raster operations metafiles combine bitmaps with: the PNG of
  // such a metafile is the faithful one.
  if (playable->raster) {
    if (why != nullptr) *why = "metafile holds bitmaps";
    return {};
  }
  std::string libwmf = wmf::DrawSvg(*playable, picture.width, picture.height, why);
  if (libwmf.empty()) return {};
  return ShowableSvg(libwmf, playable->texts, picture.width, picture.height, why);
}

}  // namespace quillon::pictures
