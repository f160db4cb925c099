// Table records: one row each.
//
// The format data, from where the record loop leaves the cursor:
//   0  1  column count n
//   1  1  table type, 0 to 3
//   2  2  minimum table width (types 0 and 2 only)
//   then  n column entries: a 16-bit width and a 16-bit gap
//   then  the cells: for each cell paragraph a 5-byte cell header (byte 0 the
//         column number; n or more ends the row), then the paragraph's own
//         format data.
// Types 0 and 2 give column values as parts of 32767 of the minimum width.
// The row gap g is gap(1) (0 for one column); gap(0) is the left edge.
//
//   type  \trqc  scaled  row gap          left edge         cell boundary
//   0     yes    yes     \trgaph<g>0      \trleft<L>0       \cellx<x>0
//   1     no     no      \trgaph<g>0      \trleft<L>0       \cellx<x * 10>
//   2     yes    yes     \trgaph<g/10>0   \trleft<L/10>0    \cellx<x/10>0
//   3     no     no      \trgaph<g>0      \trleft<L>0       \cellx<x>
// with L = gap(0) - g/2 - g/2 and x(i) = gap(0) - g/2 + the sum over columns
// 0..i of (width + g).
#include <vector>

#include "rtf/render.h"

namespace marlet {

namespace {

constexpr size_t kCellHeaderSize = 5;
// A cell needs its header and at least the paragraph's fixed bytes; the row
// ends when no more than this remains.
constexpr size_t kSmallestCell = 12;

}  // namespace

void RtfTableRecord(TopicHandleRecord &topic, const Sink &sink, TextCursor text, ByteCursor format,
                    bool nonScrolling) {
  const unsigned columns = format.U8();
  const unsigned type = format.U8();
  EmitControl(topic, sink, "{\\pard\\trowd\\intbl");
  if (type > 3) return;

  std::vector<uint16_t> width(columns), gap(columns);
  uint16_t minimum = 0;
  const bool scaled = type == 0 || type == 2;
  if (scaled) {
    EmitControl(topic, sink, "\\trqc");
    minimum = format.U16();
  }
  for (unsigned i = 0; i < columns; ++i) {
    width[i] = format.U16();
    gap[i] = format.U16();
  }
  if (scaled) {
    for (unsigned i = 0; i < columns; ++i) {
      width[i] = static_cast<uint16_t>(MulDiv(width[i], minimum, 32767));
      gap[i] = static_cast<uint16_t>(MulDiv(gap[i], minimum, 32767));
    }
  }

  const int g = columns > 1 ? gap[1] : 0;
  const int left = columns > 0 ? gap[0] : 0;
  if (columns > 1) EmitControlNumber(topic, sink, "\\trgaph", type == 2 ? g / 10 : g, "0");
  int edge = left - g / 2 - g / 2;
  EmitControlNumber(topic, sink, "\\trleft", type == 2 ? edge / 10 : edge, "0");
  int x = left - g / 2;
  for (unsigned i = 0; i < columns; ++i) {
    x += width[i] + g;
    switch (type) {
      case 0: EmitControlNumber(topic, sink, "\\cellx", x, "0"); break;
      case 1: EmitControlNumber(topic, sink, "\\cellx", x * 10); break;
      case 2: EmitControlNumber(topic, sink, "\\cellx", x / 10, "0"); break;
      default: EmitControlNumber(topic, sink, "\\cellx", x); break;
    }
  }
  EmitControl(topic, sink, " ");

  unsigned current = 0;
  bool heldBack = false;  // the last paragraph's end, kept back before its 0xFF
  while (format.remaining() > kSmallestCell) {
    Bytes header = format.Span(kCellHeaderSize);
    unsigned column = header[0];
    if (column >= columns || format.Peek() == 0xFF) break;
    if (column != current) {
      current = column;
      EmitControl(topic, sink, "\\cell ");
      EmitString(topic, sink, "\t", TopicEventPlainBreak);
    } else if (heldBack) {
      // Another paragraph of the same cell: the one before it did end.
      EmitControl(topic, sink, "\\par ");
      EmitString(topic, sink, "\n", TopicEventPlainBreak);
    }
    heldBack = RtfParagraph(topic, sink, text, format, nonScrolling, true);
  }
  EmitControl(topic, sink, "\\cell\\row\\pard}");
  EmitString(topic, sink, "\n", TopicEventPlainBreak);
}

}  // namespace marlet
