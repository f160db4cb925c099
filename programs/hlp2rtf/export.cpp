// The RTF document is what the topic stream delivers as events 6, 0, 7, 9, 10,
// 11 and 8, in order.  Two things are added so that RTF readers take it: the
// text of events 0 and 9 is escaped (the library hands it over as stored), and
// a closing brace is written when the stream sends none (files without fonts).
// Plain text is a line "== TITLE" at each topic, then events 0 and 1.  Topics
// are known by their title event, and an untitled one by its entry in the title
// index (where its first piece arrives); a 3.0 file's untitled popups, which
// have no index entry, show no line of their own.
#include "export.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "common/output_file.h"
#include "common/progress.h"
#include "picture_file.h"

namespace hlp2rtf {

namespace {

// The title index: each entry's offset and where its title begins in one
// text of all titles (each ended by a zero byte), rather than a string each.
struct Titles {
  struct Entry {
    TopicOffset offset;
    size_t at;
  };
  std::vector<Entry> entries;
  std::string text;
  size_t size() const { return entries.size(); }
  TopicOffset offset(size_t i) const { return entries[i].offset; }
  const char *title(size_t i) const { return text.c_str() + entries[i].at; }
};

int32_t MARLET_API CollectTitle(const char *title, TopicOffset offset, MarletUserData user) {
  Titles &titles = *reinterpret_cast<Titles *>(user);
  titles.entries.push_back({offset, titles.text.size()});
  titles.text.append(title).push_back('\0');
  return 1;
}

int32_t MARLET_API CountTitle(const char *, TopicOffset, MarletUserData user) {
  ++*reinterpret_cast<size_t *>(user);
  return 1;
}

struct Export {
  programs::Output *out;
  programs::Progress *progress;
  bool text;
  bool closed = false;  // event 8 came
  // Plain text: the titles of the index, to mark topics whose header sends no
  // title event (untitled topics) where their first piece arrives.
  Titles titles = {};
  size_t next = 0;

  void Announce(const char *title) {
    if (!out->AtLineStart()) out->Put('\n');
    out->Write("== ", 3);
    out->Write(title);
    out->Put('\n');
    progress->Topic();
  }
  void TopicsBefore(TopicOffset offset, bool inclusive) {
    while (next < titles.size() &&
           (titles.offset(next) < offset || (inclusive && titles.offset(next) == offset)))
      Announce(titles.title(next++));
  }
};

int32_t MARLET_API Deliver(const char *text, TopicOffset offset, int32_t event, MarletUserData user) {
  Export &x = *reinterpret_cast<Export *>(user);
  if (x.text) {
    switch (event) {
      case TopicEventTitle:
        x.TopicsBefore(offset, false);
        if (x.next < x.titles.size() && x.titles.offset(x.next) == offset) ++x.next;
        x.Announce(text);
        break;

      case TopicEventText:
      case TopicEventPlainBreak:
        // Most pieces come before the next index entry: no call for them.
        if (x.next < x.titles.size() && x.titles.offset(x.next) <= offset) x.TopicsBefore(offset, true);
        x.out->Write(text);
        break;
      default:
        break;
    }
    return 1;
  }
  switch (event) {
    case TopicEventTitle:
      x.progress->Topic();
      break;
    case TopicEventText:
    case TopicEventEmbeddedWindow:
      x.out->WriteRtfText(text);
      break;
    case TopicEventRtfEnd:
      x.closed = true;
      [[fallthrough]];
    case TopicEventRtfHeader:
    case TopicEventControl:
    case TopicEventBitmap:
    case TopicEventMediaClip:
      x.out->Write(text);
      break;
    default:
      break;
  }
  return 1;
}

// ---- Pictures ------------------------------------------------------------------

bool WriteFile(const std::string &path, const Picture &picture) {
  programs::OutputFile file(path.c_str());
  if (file.get() == nullptr) return false;
  programs::Output out(file.get());
  picture.Write(out);
  bool ok = out.Flush();
  return file.Close(out.Written()) && ok;
}

struct PictureExport {
  IfsHandle container;
  std::string directory;
  PictureCounts counts = {};
};

int32_t MARLET_API ExportPicture(const char *name, int32_t, MarletUserData user) {
  PictureExport &x = *reinterpret_cast<PictureExport *>(user);
  if (!IsPictureName(name)) return 1;
  IfsFileHandle file = IFSOpenFile(x.container, name);
  if (file == nullptr) return ++x.counts.failed, 1;
  Picture picture(file);
  IFSCloseFile(file);
  std::string base = name[0] == '|' ? name + 1 : name;
  if (picture.converted() && WriteFile(x.directory + "/" + base + picture.extension(), picture)) {
    ++x.counts.written;
  } else {
    std::fprintf(stderr, "hlp2rtf: picture %s could not be converted\n", name);
    ++x.counts.failed;
  }
  return 1;
}

}  // namespace

void ExportTopics(IfsHandle container, TopicHandle topic, bool text, programs::Output &out) {
  // The RTF document needs the titles' count alone (for the progress line).
  Titles titles;
  size_t count = 0;
  if (text)
    HlpEnumTitles(container, CollectTitle, reinterpret_cast<MarletUserData>(&titles));
  else
    HlpEnumTitles(container, CountTitle, reinterpret_cast<MarletUserData>(&count));
  programs::Progress progress("hlp2rtf", text ? titles.size() : count);
  Export x{&out, &progress, text};
  if (text) x.titles = std::move(titles);
  HlpTopicEnumerate(topic, Deliver, reinterpret_cast<MarletUserData>(&x));
  if (text) {
    x.TopicsBefore(0xFFFFFFFFu, true);
  } else {
    if (!x.closed) out.Put('}');
    out.Put('\n');
  }
}

bool IsPictureName(const char *name) {
  if (*name == '|') ++name;
  if (name[0] != 'b' || name[1] != 'm' || name[2] == '\0') return false;
  for (const char *p = name + 2; *p; ++p)
    if (*p < '0' || *p > '9') return false;
  return true;
}

Picture::Picture(IfsFileHandle file) {
  uint32_t size = IFSSeekFile(file, 0, 2);
  IFSSeekFile(file, 0, 0);
  // Not cleared: it is read whole or not used.
  std::unique_ptr<uint8_t[]> image(new uint8_t[size > 0 ? size : 1]);
  bool read = size > 0 && IFSReadFile(file, image.get(), size) == static_cast<int32_t>(size);
  PlaceableMetafileHeader header{};
  if (!read || !SHGImportEx(nullptr, image.get(), size, &dib_, &metafile_, &header, &hotspots_)) return;
  if (dib_ != nullptr) {
    const auto *block = static_cast<const uint8_t *>(GlobalLock(dib_));
    converted_ = block != nullptr && pictures::BmpFileHead(block, GlobalSize(dib_), bmpHead_, dibBytes_);
    GlobalUnlock(dib_);
  } else if (metafile_ != nullptr) {
    // As pictures::WmfFileBytes makes it, into a buffer that is not cleared
    // first: the metafile's bytes fill it.
    UINT bits = GetMetaFileBitsEx(metafile_, 0, nullptr);
    if (bits == 0) return;
    wmfBytes_ = sizeof header + bits;
    wmf_.reset(new uint8_t[wmfBytes_]);
    std::memcpy(wmf_.get(), &header, sizeof header);
    converted_ = GetMetaFileBitsEx(metafile_, bits, wmf_.get() + sizeof header) == bits;
  }
}

Picture::~Picture() {
  if (dib_) GlobalFree(dib_);
  if (hotspots_) GlobalFree(hotspots_);
  if (metafile_) DeleteMetaFile(metafile_);
}

void Picture::Write(programs::Output &out) const {
  if (!converted_) return;
  if (metafile_ != nullptr) {
    out.Write(reinterpret_cast<const char *>(wmf_.get()), wmfBytes_);
    return;
  }
  const auto *block = static_cast<const char *>(GlobalLock(dib_));
  out.Write(reinterpret_cast<const char *>(bmpHead_), sizeof bmpHead_);
  out.Write(block + sizeof(BITMAPINFOHEADER), dibBytes_ - sizeof(BITMAPINFOHEADER));
  GlobalUnlock(dib_);
}

PictureCounts ExportPictures(IfsHandle container, const std::string &directory) {
  PictureExport x{container, directory};
  IFSEnumerateFiles(container, ExportPicture, reinterpret_cast<MarletUserData>(&x));
  return x.counts;
}

}  // namespace hlp2rtf
