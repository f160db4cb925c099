// quillon.Topic: one topic of the model, its text written by the document
// layer's writers.  A Topic holds its model and the file's description, so
// that text, hotspots and rtf() work after the file is closed; html() reads
// popups from the file and needs it open.
#include <algorithm>
#include <cstdio>

#include "binding.h"
#include "quillon/document/plain_text.h"
#include "quillon/document/rtf.h"

namespace quillon::python {

using namespace document;

namespace {

// Every paragraph of a topic's blocks, those in table cells too, in order.
template <class Visit>
void ForEachParagraph(const std::vector<Block> &blocks, Visit &&visit) {
  for (const Block &block : blocks) {
    if (const Paragraph *p = std::get_if<Paragraph>(&block)) {
      visit(*p);
      continue;
    }
    for (const Row &row : std::get<Table>(block).rows)
      for (const Cell &cell : row.cells)
        for (const Paragraph &p : cell.paragraphs) visit(p);
  }
}

// The text of each hotspot: the pieces that carry its index, in order.
void CollectHotspotText(const std::vector<Block> &blocks, std::vector<std::string> &texts) {
  auto paragraph = [&](const Paragraph &p) {
    for (const Inline &piece : p.content) {
      if (piece.link < 0 || static_cast<size_t>(piece.link) >= texts.size()) continue;
      if (piece.kind == InlineKind::Text || piece.kind == InlineKind::Button)
        texts[static_cast<size_t>(piece.link)] += piece.text;
      else if (piece.kind == InlineKind::Tab)
        texts[static_cast<size_t>(piece.link)] += '\t';
      else if (piece.kind == InlineKind::LineBreak)
        texts[static_cast<size_t>(piece.link)] += '\n';
    }
  };
  ForEachParagraph(blocks, paragraph);
}

void CollectPictures(const std::vector<Block> &blocks, std::vector<std::string> &names) {
  auto paragraph = [&](const Paragraph &p) {
    for (const Inline &piece : p.content)
      if (piece.kind == InlineKind::Picture && std::find(names.begin(), names.end(), piece.text) == names.end())
        names.push_back(piece.text);
  };
  ForEachParagraph(blocks, paragraph);
}

bool ShowsTopic(const Link &link) {
  return link.kind != LinkKind::Macro || link.action == MacroAction::Jump || link.action == MacroAction::Popup;
}

py::list Hotspots(const Topic &topic) {
  std::vector<std::string> texts(topic.links.size());
  CollectHotspotText(topic.header, texts);
  CollectHotspotText(topic.body, texts);
  py::list out;
  for (size_t i = 0; i < topic.links.size(); ++i) {
    const Link &link = topic.links[i];
    bool shows = ShowsTopic(link);
    bool hashed = shows && !link.context.empty();
    out.append(types().hotspot(
        LinkKindName(link.kind), Str(texts[i]), StrOrNone(link.context),
        hashed ? py::object(py::int_(link.hash)) : py::object(py::none()), StrOrNone(link.file),
        StrOrNone(link.window), StrOrNone(link.macro), ActionName(link.action), StrOrNone(link.url),
        StrOrNone(link.keyword), OffsetOrNone(shows && link.file.empty() ? link.target : kNoTopic),
        py::bool_(link.invisible)));
  }
  return out;
}

std::string Rtf(const FileInfo &info, const Topic &topic) {
  // A document of one topic: links to its own positions and to web
  // addresses work in it; other targets are not in the document.
  RtfOptions options;
  options.link = [&topic](const Link &link) {
    RtfLink out;
    if (link.action == MacroAction::Url) {
      out.url = link.url;
      return out;
    }
    if (!ShowsTopic(link) || !link.file.empty() || link.target == kNoTopic) return out;
    bool here = link.target == topic.offset ||
                std::any_of(topic.contexts.begin(), topic.contexts.end(),
                            [&](const Anchor &a) { return a.position == link.target; });
    if (here) out.bookmark = RtfBookmark(link.target);
    return out;
  };
  return RtfWriter(info, std::move(options)).Document(topic);
}

}  // namespace

void BindTopic(py::module_ &m) {
  py::class_<PyTopic> topic(m, "Topic", R"(One topic of a help file.

Made by HelpFile.topics(), topic_at() and find().  text, hotspots and rtf()
come from the topic as it was read and work after the file is closed;
html() reads the popups it shows from the file, which must be open.)");
  topic.attr("__module__") = "quillon";
  topic
      .def_property_readonly("offset", [](const PyTopic &t) { return t.topic->offset; },
                             "Where the topic begins in the topic text (a TopicOffset).")
      .def_property_readonly(
          "number", [](const PyTopic &t) { return OffsetOrNone(t.topic->number); },
          "The topic's number where the file gives one, else None.")
      .def_property_readonly("title", [](const PyTopic &t) { return Str(t.topic->title); },
                             "The title; \"\" for an untitled topic (popups often are).")
      .def_property_readonly(
          "contexts",
          [](const PyTopic &t) {
            py::list out;
            for (const Anchor &a : t.topic->contexts)
              out.append(types().context(a.hash, a.position, StrOrNone(a.context)));
            return out;
          },
          "The contexts that name the topic or a place in it: Context(hash, offset,\n"
          "context), offset being the position named.")
      .def_property_readonly(
          "keywords",
          [](const PyTopic &t) {
            py::list out;
            for (const Keyword &k : t.topic->keywords) out.append(types().keyword(Str(k.list), Str(k.text)));
            return out;
          },
          "The keywords the topic is listed under: Keyword(list, keyword).")
      .def_property_readonly(
          "text", [](const PyTopic &t) { return Str(PlainText(*t.topic)); },
          "The topic's text, as hlp2rtf -t prints it (without the \"== TITLE\" line):\n"
          "line feeds for line and paragraph ends and row ends, tabs for tabs and\n"
          "between cells.")
      .def_property_readonly(
          "hotspots", [](const PyTopic &t) { return Hotspots(*t.topic); },
          "The hotspots of the topic's text, in order, with their targets: a list\n"
          "of Hotspot.")
      .def_property_readonly(
          "picture_names",
          [](const PyTopic &t) {
            std::vector<std::string> names;
            CollectPictures(t.topic->header, names);
            CollectPictures(t.topic->body, names);
            py::list out;
            for (const std::string &name : names) out.append(Str(name));
            return out;
          },
          "The internal files of the pictures the topic shows (\"|bm3\"), for\n"
          "HelpFile.picture().")
      .def_property_readonly(
          "browse_previous", [](const PyTopic &t) { return OffsetOrNone(t.topic->browseBack); },
          "The topic before this one in its browse sequence (an offset), or None.")
      .def_property_readonly(
          "browse_next", [](const PyTopic &t) { return OffsetOrNone(t.topic->browseForward); },
          "The topic after this one in its browse sequence (an offset), or None.")
      .def(
          "html",
          [](const PyTopic &t) {
            std::string html = Locked(*t.state, [&](HelpFile &file) {
              if (!t.state->html) t.state->html = std::make_unique<html::TopicHtml>(file);
              return t.state->html->Fragment(*t.topic);
            });
            return Str(html);
          },
          "The topic as an HTML fragment: its non-scrolling region (<header>) and\n"
          "its text (<main>), links as hlp2html's site has them (PAGE.html), the\n"
          "popups it opens as popover elements.  Pictures are placeholders.")
      .def(
          "rtf",
          [](const PyTopic &t) {
            std::string rtf;
            {
              py::gil_scoped_release release;
              rtf = Rtf(*t.state->info, *t.topic);
            }
            return Str(rtf);
          },
          "The topic as a Rich Text Format document: fonts, sizes, bold, italic,\n"
          "underline and colours, paragraph formats and tables as the file has\n"
          "them; characters beyond ASCII as \\uN escapes, so word processors show\n"
          "the right letters.  Hotspots to places in this topic and to web\n"
          "addresses are HYPERLINK fields, others plain text.")
      .def("__repr__", [](const PyTopic &t) {
        char offset[16];
        std::snprintf(offset, sizeof offset, "0x%08x", t.topic->offset);
        return py::str("<quillon.Topic offset={} title={!r}>").format(offset, Str(t.topic->title));
      });
}

}  // namespace quillon::python
