// quillon.Picture, HelpFile.pictures() / picture() / picture_names() and
// quillon.shg_to_png: the picture layer (quillon::pictures) from Python.
// Decoding and encoding run with the GIL released.  Without the picture
// layer (a build that lacks libpng or libwmf) the names are still there and
// decoding raises quillon.Error.
#include <marlet/marlet.h>

#include <algorithm>
#include <span>

#include "binding.h"
#include "quillon/document/macros.h"

#if QUILLON_HAVE_PICTURES
#include "quillon/pictures.h"
#endif

namespace quillon::python {

using namespace document;

namespace {

#if QUILLON_HAVE_PICTURES

// A picture hotspot with its target read as a topic hotspot's is: the
// stored "context@file>window" of a jump or popup, or a macro.
struct PictureLink {
  int left = 0, top = 0, right = 0, bottom = 0;
  std::string name;
  Link link;
};

Link LinkOfPictureHotspot(HelpFile &file, const pictures::Hotspot &hotspot) {
  LinkKind kind = LinkKind::Jump;
  switch (hotspot.kind) {
    case pictures::HotspotKind::Jump: kind = LinkKind::Jump; break;
    case pictures::HotspotKind::Popup: kind = LinkKind::Popup; break;
    case pictures::HotspotKind::Macro: kind = LinkKind::Macro; break;
  }
  return file.HotspotLink(kind, file.codePage().ToUtf8(hotspot.target));
}

struct PyPicture {
  std::string name;
  std::shared_ptr<const pictures::Picture> picture;
  std::vector<PictureLink> links;
  std::optional<std::string> path;  // of the help file, for errors; none for bytes given
};

// Reads and decodes one picture with the file locked (the caller released the GIL).
PyPicture Load(HelpFile &file, const std::string &path, const std::string &name, bool *missing) {
  std::optional<std::vector<uint8_t>> bytes = file.Read(name);
  if (!bytes) {
    *missing = true;
    for (const InternalFile &entry : file.Files())
      if (entry.name == name) *missing = false;
    if (*missing) return {};
    throw FileError{0, "the picture " + name + " cannot be read", path};
  }
  std::string why;
  std::optional<pictures::Picture> picture = pictures::Decode(*bytes, &why);
  if (!picture) throw FileError{0, "the picture " + name + " cannot be decoded: " + why, path};
  PyPicture out{name, std::make_shared<pictures::Picture>(std::move(*picture)), {}, path};
  for (const pictures::Hotspot &hotspot : out.picture->hotspots)
    out.links.push_back({hotspot.left, hotspot.top, hotspot.right, hotspot.bottom, file.codePage().ToUtf8(hotspot.name),
                         LinkOfPictureHotspot(file, hotspot)});
  return out;
}

py::object MaybeBytes(const std::vector<uint8_t> &bytes) {
  if (bytes.empty()) return py::none();
  return py::bytes(reinterpret_cast<const char *>(bytes.data()), bytes.size());
}

std::vector<uint8_t> PngOf(const pictures::Picture &picture, const std::optional<std::string> &path,
                           const std::string &name) {
  std::string why;
  std::vector<uint8_t> png;
  {
    py::gil_scoped_release release;
    png = pictures::Png(picture, &why);
  }
  if (png.empty()) throw FileError{0, (name.empty() ? "the picture" : "the picture " + name) + " cannot be written as PNG: " + why, path};
  return png;
}

#endif  // QUILLON_HAVE_PICTURES

std::vector<std::string> Names(FileState &state) {
  return Locked(state, [](HelpFile &file) { return file.PictureNames(); });
}

class PictureIterator {
 public:
  explicit PictureIterator(std::shared_ptr<FileState> state) : state_(std::move(state)) {}
  py::object Next();

 private:
  std::shared_ptr<FileState> state_;
  std::optional<std::vector<std::string>> names_;
  size_t next_ = 0;
};

py::object LoadPicture(const std::shared_ptr<FileState> &state, const std::string &name, bool keyError) {
#if QUILLON_HAVE_PICTURES
  bool missing = false;
  PyPicture picture = Locked(*state, [&](HelpFile &file) { return Load(file, state->path, name, &missing); });
  if (missing) {
    if (keyError) throw py::key_error("no picture named " + py::repr(Str(name)).cast<std::string>());
    throw FileError{0, "the picture " + name + " is gone", state->path};
  }
  return py::cast(std::move(picture));
#else
  std::vector<std::string> names = Names(*state);
  if (keyError && std::find(names.begin(), names.end(), name) == names.end())
    throw py::key_error("no picture named " + py::repr(Str(name)).cast<std::string>());
  throw FileError{0, "the picture " + name + " cannot be decoded: quillon was built without its picture layer",
                  state->path};
#endif
}

py::object PictureIterator::Next() {
  if (!names_) names_ = Names(*state_);
  if (next_ >= names_->size()) throw py::stop_iteration();
  // Past this picture whatever comes of it: after an Error for a damaged
  // picture, next() goes on with the one after.
  const std::string &name = (*names_)[next_++];
  return LoadPicture(state_, name, false);
}

}  // namespace

void BindPictures(py::module_ &m) {
  py::class_<PictureIterator> iterator(m, "PictureIterator", "The iterator HelpFile.pictures() returns.");
  iterator.attr("__module__") = "quillon";
  iterator.def("__iter__", [](py::object self) { return self; }).def("__next__", &PictureIterator::Next);

#if QUILLON_HAVE_PICTURES
  py::class_<PyPicture> picture(m, "Picture", R"(A picture of a help file, decoded from its SHG image.

Of an image that holds several resolutions of the picture, the one of most
pixels.  png() and svg() write it; hotspots are rectangles in the pixels of
the images they write.)");
  picture.attr("__module__") = "quillon";
  picture.def_property_readonly("name", [](const PyPicture &p) { return Str(p.name); },
                                "The internal file the picture comes from (\"|bm0\"; \"bm0\" in 3.0 files).")
      .def_property_readonly(
          "kind",
          [](const PyPicture &p) { return p.picture->kind == pictures::Kind::Bitmap ? "bitmap" : "metafile"; },
          "\"bitmap\" or \"metafile\".")
      .def_property_readonly("width", [](const PyPicture &p) { return p.picture->width; },
                             "The width in pixels of png().")
      .def_property_readonly("height", [](const PyPicture &p) { return p.picture->height; },
                             "The height in pixels of png().")
      .def_property_readonly("count", [](const PyPicture &p) { return p.picture->count; },
                             "How many pictures (resolutions) the SHG image holds.")
      .def_property_readonly(
          "hotspots",
          [](const PyPicture &p) {
            py::list out;
            for (const PictureLink &h : p.links) {
              const Link &link = h.link;
              bool shows = link.kind != LinkKind::Macro || link.action == MacroAction::Jump ||
                           link.action == MacroAction::Popup;
              out.append(types().pictureHotspot(
                  h.left, h.top, h.right, h.bottom, LinkKindName(link.kind), Str(h.name), StrOrNone(link.context),
                  shows && !link.context.empty() ? py::object(py::int_(link.hash)) : py::object(py::none()),
                  StrOrNone(link.file), StrOrNone(link.window), StrOrNone(link.macro), ActionName(link.action),
                  StrOrNone(link.url), StrOrNone(link.keyword),
                  OffsetOrNone(shows && link.file.empty() ? link.target : kNoTopic)));
            }
            return out;
          },
          "The picture's hotspots with their targets: a list of PictureHotspot.")
      .def_property_readonly(
          "dib", [](const PyPicture &p) { return MaybeBytes(p.picture->dib); },
          "A bitmap's packed DIB (header, colours, rows) as bytes; None for a metafile.")
      .def_property_readonly(
          "metafile", [](const PyPicture &p) { return MaybeBytes(p.picture->metafile); },
          "A metafile as the bytes of a placeable .wmf file; None for a bitmap.")
      .def(
          "png",
          [](const PyPicture &p) {
            std::vector<uint8_t> png = PngOf(*p.picture, p.path, p.name);
            return py::bytes(reinterpret_cast<const char *>(png.data()), png.size());
          },
          "The picture as a PNG image (a metafile drawn by libwmf).  quillon.Error\n"
          "when it cannot be written.")
      .def(
          "svg",
          [](const PyPicture &p) -> py::object {
            if (p.picture->kind != pictures::Kind::Metafile) return py::none();
            std::string svg;
            {
              py::gil_scoped_release release;
              svg = pictures::Svg(*p.picture);
            }
            if (svg.empty()) return py::none();
            return py::bytes(svg);
          },
          "A metafile as a stand-alone SVG document; None for a bitmap and for a\n"
          "metafile an SVG would not show faithfully (one that holds bitmaps or\n"
          "text it cannot carry over): use png() then.")
      .def("__repr__", [](const PyPicture &p) {
        return py::str("<quillon.Picture {!r} {} {}x{}>")
            .format(Str(p.name), p.picture->kind == pictures::Kind::Bitmap ? "bitmap" : "metafile", p.picture->width,
                    p.picture->height);
      });
#endif

  // The picture methods of HelpFile, added to the class help_file.cpp made.
  auto cls = py::reinterpret_borrow<py::class_<PyHelpFile>>(m.attr("HelpFile"));
  cls.def(
         "picture_names",
         [](PyHelpFile &f) {
           py::list out;
           for (const std::string &name : Names(*f.state)) out.append(Str(name));
           return out;
         },
         "The internal files that hold pictures (\"|bm0\", \"|bm1\" ...; \"bm0\" ... in 3.0\n"
         "files), in number order.")
      .def("pictures", [](PyHelpFile &f) { return PictureIterator(f.state); },
           "Every picture of the file, decoded, in number order.  A picture that\n"
           "cannot be decoded raises quillon.Error from next(); calling next() again\n"
           "goes on with the picture after it.")
      .def(
          "picture", [](PyHelpFile &f, const std::string &name) { return LoadPicture(f.state, name, true); },
          py::arg("name"),
          "The picture in the internal file name (as Topic.picture_names gives it).\n"
          "KeyError when there is no such file, quillon.Error when it cannot be decoded.");

  m.def(
      "shg_to_png",
      [](const py::buffer &data) -> py::bytes {
        py::buffer_info buffer = data.request();
        std::span<const uint8_t> image(static_cast<const uint8_t *>(buffer.ptr),
                                       static_cast<size_t>(buffer.size * buffer.itemsize));
#if QUILLON_HAVE_PICTURES
        std::string why;
        std::optional<pictures::Picture> picture;
        {
          py::gil_scoped_release release;
          picture = pictures::Decode(image, &why);
        }
        if (!picture) throw FileError{0, "not an SHG picture that can be decoded: " + why, std::nullopt};
        std::vector<uint8_t> png = PngOf(*picture, std::nullopt, "");
        return py::bytes(reinterpret_cast<const char *>(png.data()), png.size());
#else
        (void)image;
        throw FileError{0, "quillon was built without its picture layer", std::nullopt};
#endif
      },
      py::arg("data"),
      "An SHG image (the bytes of a .shg file or of a help file's |bmN) as PNG:\n"
      "of several resolutions the largest.  quillon.Error when it cannot be\n"
      "decoded.");
}

}  // namespace quillon::python
