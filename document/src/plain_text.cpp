#include "quillon/document/plain_text.h"

namespace quillon::document {

namespace {

void AppendParagraph(const Paragraph &paragraph, std::string &out) {
  for (const Inline &piece : paragraph.content) {
    switch (piece.kind) {
      case InlineKind::Text: out += piece.text; break;
      case InlineKind::LineBreak: out += '\n'; break;
      case InlineKind::Tab: out += '\t'; break;
      default: break;  // pictures, windows and buttons have no text of their own
    }
  }
  if (paragraph.ended) out += '\n';
}

}  // namespace

void AppendPlainText(const std::vector<Block> &blocks, std::string &out) {
  for (const Block &block : blocks) {
    if (const Paragraph *paragraph = std::get_if<Paragraph>(&block)) {
      AppendParagraph(*paragraph, out);
      continue;
    }
    for (const Row &row : std::get<Table>(block).rows) {
      for (size_t c = 0; c < row.cells.size(); ++c) {
        if (c > 0) out += '\t';
        for (const Paragraph &paragraph : row.cells[c].paragraphs) AppendParagraph(paragraph, out);
      }
      out += '\n';
    }
  }
}

std::string PlainText(const Topic &topic) {
  std::string out;
  AppendPlainText(topic.header, out);
  AppendPlainText(topic.body, out);
  return out;
}

}  // namespace quillon::document
