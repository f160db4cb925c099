// The plain text of a topic: the model written back as the characters the
// topic stream's plain-text pieces make (line feeds for line and paragraph
// ends and row ends, tabs for tabs and between cells).
#pragma once

#include <string>

#include "quillon/document/model.h"

namespace quillon::document {

std::string PlainText(const Topic &topic);
void AppendPlainText(const std::vector<Block> &blocks, std::string &out);

}  // namespace quillon::document
