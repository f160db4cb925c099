#include "read_back.h"

#include <expat.h>
#include <png.h>

#include <cstring>

namespace picturetest {

std::optional<Rgba> ReadPng(const std::vector<uint8_t> &png) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) return std::nullopt;
  image.format = PNG_FORMAT_RGBA;
  Rgba out;
  out.width = static_cast<int>(image.width);
  out.height = static_cast<int>(image.height);
  out.pixels.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, out.pixels.data(), 0, nullptr)) {
    png_image_free(&image);
    return std::nullopt;
  }
  return out;
}

std::optional<Rgba> DibPixels(const std::vector<uint8_t> &dib) {
  auto u16 = [&](size_t at) { return uint32_t{dib[at]} | uint32_t{dib[at + 1]} << 8; };
  auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
  if (dib.size() < 40) return std::nullopt;
  int width = static_cast<int32_t>(u32(4)), height = static_cast<int32_t>(u32(8));
  unsigned bits = u16(14);
  size_t colours = u32(32);
  if (colours == 0 && bits <= 8) colours = size_t{1} << bits;
  size_t stride = (size_t(bits) * width + 31) / 32 * 4;
  size_t rows = 40 + colours * 4;
  if (width <= 0 || height <= 0 || rows + stride * height > dib.size()) return std::nullopt;
  Rgba out;
  out.width = width;
  out.height = height;
  out.pixels.resize(size_t(width) * height * 4);
  for (int y = 0; y < height; ++y) {
    const uint8_t *row = &dib[rows + (height - 1 - y) * stride];
    for (int x = 0; x < width; ++x) {
      uint8_t r = 0, g = 0, b = 0;
      if (bits <= 8) {
        size_t bit = size_t(x) * bits;
        unsigned index = (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
        if (index < colours) {
          const uint8_t *c = &dib[40 + 4 * index];
          b = c[0], g = c[1], r = c[2];
        }
      } else if (bits == 16) {
        unsigned v = row[2 * x] | row[2 * x + 1] << 8;
        auto five = [](unsigned f) { return static_cast<uint8_t>((f * 255 + 15) / 31); };  // the nearest
        r = five(v >> 10 & 31), g = five(v >> 5 & 31), b = five(v & 31);
      } else {
        const uint8_t *p = &row[x * (bits / 8)];
        b = p[0], g = p[1], r = p[2];
      }
      uint8_t *o = &out.pixels[(size_t(y) * width + x) * 4];
      o[0] = r, o[1] = g, o[2] = b, o[3] = 255;
    }
  }
  return out;
}

namespace {

struct ParseState {
  std::vector<Element> elements;
  std::vector<size_t> open;
};

void Start(void *user, const XML_Char *name, const XML_Char **attributes) {
  auto *state = static_cast<ParseState *>(user);
  Element e;
  e.name = name;
  for (size_t i = 0; attributes[i] != nullptr; i += 2) e.attributes[attributes[i]] = attributes[i + 1];
  state->open.push_back(state->elements.size());
  state->elements.push_back(std::move(e));
}
void End(void *user, const XML_Char *) { static_cast<ParseState *>(user)->open.pop_back(); }
void Text(void *user, const XML_Char *text, int length) {
  auto *state = static_cast<ParseState *>(user);
  if (!state->open.empty()) state->elements[state->open.back()].text.append(text, size_t(length));
}

}  // namespace

std::optional<std::vector<Element>> ParseXml(const std::string &text, std::string *why) {
  XML_Parser parser = XML_ParserCreateNS(nullptr, ' ');
  ParseState state;
  XML_SetUserData(parser, &state);
  XML_SetElementHandler(parser, Start, End);
  XML_SetCharacterDataHandler(parser, Text);
  bool ok = XML_Parse(parser, text.data(), static_cast<int>(text.size()), 1) == XML_STATUS_OK;
  if (!ok && why != nullptr) *why = XML_ErrorString(XML_GetErrorCode(parser));
  XML_ParserFree(parser);
  if (!ok) return std::nullopt;
  return state.elements;
}

}  // namespace picturetest
