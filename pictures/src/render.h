// Plays a checked metafile (metafile.h) through libwmf: its gd device for a
// PNG, its SVG device for SVG text as libwmf writes it (svg.cpp makes that a
// document a browser shows).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "metafile.h"

namespace quillon::pictures::wmf {

std::vector<uint8_t> DrawPng(const Playable &metafile, int width, int height, std::string *why);
std::string DrawSvg(const Playable &metafile, int width, int height, std::string *why);

}  // namespace quillon::pictures::wmf
