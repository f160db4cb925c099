// Reading back what the picture layer writes, with the libraries a browser's
// decoders resemble most: libpng for PNG, expat (with namespaces) for SVG.
#pragma once

#include <quillon/pictures.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace picturetest {

struct Rgba {
  int width = 0, height = 0;
  std::vector<uint8_t> pixels;       // 4 bytes a pixel, rows from the top
  uint32_t At(int x, int y) const {  // 0xRRGGBBAA
    const uint8_t *p = &pixels[(size_t(y) * width + x) * 4];
    return uint32_t{p[0]} << 24 | p[1] << 16 | p[2] << 8 | p[3];
  }
};
std::optional<Rgba> ReadPng(const std::vector<uint8_t> &png);

// The colour of each pixel of a packed DIB (bottom-up rows), 0xRRGGBBFF,
// read here apart from the layer: the oracle for its PNGs.
std::optional<Rgba> DibPixels(const std::vector<uint8_t> &dib);

struct Element {
  std::string name;  // "namespace name" as expat reports it
  std::map<std::string, std::string> attributes;
  std::string text;  // character data directly inside it
};
// The elements of an XML document in document order; nullopt, with expat's
// reason, when it is not well-formed.
std::optional<std::vector<Element>> ParseXml(const std::string &text, std::string *why = nullptr);

inline constexpr const char *kSvgNamespace = "http://www.w3.org/2000/svg";

}  // namespace picturetest
