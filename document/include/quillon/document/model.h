// The document model: what a help file says, as plain values.
//
// One model, many writers: the reader (help_file.h) fills these types from the
// library's topic stream, and every output (HTML, plain text, Python objects)
// walks them without looking at the help file again.  All text is UTF-8,
// converted from the help file's code page; lengths are twips (1/20 point)
// unless said otherwise.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace quillon::document {

// A position in the topic text, as the help file's indexes count it.
using TopicOffset = uint32_t;
inline constexpr TopicOffset kNoTopic = 0xFFFFFFFFu;

// ---- The file ------------------------------------------------------------------

struct Font {
  std::string face;            // "Arial"; may be empty
  std::string family;          // "roman", "swiss", "modern", "script" or "decor"
  int charset = -1;            // the font's character set, -1 where the file gives none
  uint32_t colour = 0;         // text colour, 0xRRGGBB
};

// A window the file defines in |SYSTEM (the main window and secondary ones).
struct Window {
  std::string type;                 // "main" for the main window, else the author's type name
  std::string name;
  std::string caption;
  int x = -1, y = -1, width = -1, height = -1;  // in the viewer's 1/1024 of the screen; -1 unset
  bool maximized = false;
  int64_t background = -1;          // scrolling region colour 0xRRGGBB, -1 unset
  int64_t nonScrollingBackground = -1;
};

struct FileInfo {
  std::string path;
  std::string title;
  std::string copyright;
  std::string citation;
  int minorVersion = 0;             // 15: the Windows 3.0 format; 21 Windows 3.1; 33 later
  uint16_t flags = 0;
  int codePage = 1252;              // what the file's text is converted from
  uint32_t language = 0;            // the LCID |SYSTEM gives, 0 where it gives none
  std::vector<Window> windows;
  TopicOffset contentsTopic = kNoTopic;  // the topic the viewer shows first, where the file names one
  std::string contentsFile;         // the .CNT file |SYSTEM names, "" where it names none
  std::vector<std::string> startupMacros;
  std::vector<Font> fonts;
  std::vector<std::string> keywordLists;  // the lists the file has: "K", "A", ...
  bool Version30() const { return minorVersion == 15; }
};

// ---- Inline content ------------------------------------------------------------

// The character format of a run.  The font gives the face and colour.
struct Style {
  int font = -1;          // index into FileInfo::fonts; -1: the file's default
  int halfPoints = 0;     // size in half points; 0 when no font was chosen
  bool bold = false;
  bool italic = false;
  bool underline = false;
  bool operator==(const Style &) const = default;
};

enum class Placement : uint8_t { Inline, Left, Right };

enum class InlineKind : uint8_t {
  Text,            // text: a run of characters
  LineBreak,       // a line break inside the paragraph
  Tab,             // a tab
  Picture,         // text: the picture's internal file name ("|bm3"; "bm3" in 3.0 files)
  EmbeddedWindow,  // text: the window's definition ("DLL,CLASS,DATA")
  MediaClip,       // text: the clip reference ("{mci ...}")
  Button,          // text: the button's label; link: what it does (an embedded macro button)
};

struct Inline {
  InlineKind kind = InlineKind::Text;
  std::string text;
  Style style;
  Placement placement = Placement::Inline;  // pictures and embedded windows
  int link = -1;  // index into Topic::links: the hotspot this piece belongs to
};

// ---- Hotspots --------------------------------------------------------------------

enum class LinkKind : uint8_t {
  Jump,    // shows another topic
  Popup,   // shows another topic in a popup over this one
  Macro,   // runs a help macro
};

// What a macro does, where it is one a reader can follow.
enum class MacroAction : uint8_t {
  None,     // anything else: the macro stays text
  Jump,     // JumpId and friends: context (in file, "" this file)
  Popup,    // PopupId and friends
  Keyword,  // JumpKeyword, KLink, ALink: keyword (list "K" or "A")
  Url,      // ExecFile / ExecProgram of a web address: url
  Contents, // Contents(), JumpContents(): the contents page
};

struct Link {
  LinkKind kind = LinkKind::Jump;
  bool invisible = false;       // the author asked for no underline and colour
  std::string context;          // jump and popup: the target's context string
  uint32_t hash = 0;            // its hash (in a 3.0 file the target's topic number)
  std::string file;             // another help file the hotspot leads into; "" this file
  std::string window;           // the window it names: its name, or "#" and its number
  std::string macro;            // macro hotspots: the macro text
  MacroAction action = MacroAction::None;
  std::string keyword;          // MacroAction::Keyword: the keywords, ";" between them
  std::string keywordList;      // "K" or "A"
  std::string url;              // MacroAction::Url
  TopicOffset target = kNoTopic;  // the target in this file, where it is known
};

// ---- Blocks -----------------------------------------------------------------------

enum class Alignment : uint8_t { Left, Centre, Right };

enum class TabKind : uint8_t { Left, Centre, Right };
struct TabStop {
  int position = 0;
  TabKind kind = TabKind::Left;
  bool operator==(const TabStop &) const = default;
};

enum class BorderStyle : uint8_t { Single, Thick, Dotted };
enum BorderSide : uint8_t { kBorderTop = 1, kBorderLeft = 2, kBorderBottom = 4, kBorderRight = 8, kBorderBox = 16 };

struct ParagraphFormat {
  Alignment alignment = Alignment::Left;
  int spaceBefore = 0;
  int spaceAfter = 0;
  int lineSpacing = 0;     // negative: exactly that much; positive: at least
  int leftIndent = 0;
  int rightIndent = 0;
  int firstIndent = 0;     // relative to the left indent
  uint8_t borders = 0;     // BorderSide bits
  BorderStyle borderStyle = BorderStyle::Single;
  bool keepTogether = false;
  std::vector<TabStop> tabs;
  bool operator==(const ParagraphFormat &) const = default;
};

struct Paragraph {
  ParagraphFormat format;
  std::vector<Inline> content;
  bool ended = false;       // closed by a paragraph end (not the end of its record)
  std::vector<std::string> anchors;  // context strings that name this paragraph's position
};

struct Cell {
  int column = 0;
  std::vector<Paragraph> paragraphs;
};

struct Row {
  bool centred = false;
  int left = 0;             // where the row begins
  int gap = 0;              // space between cells
  std::vector<int> edges;   // right edge of each column
  std::vector<Cell> cells;  // in column order; columns without cells have none
  std::vector<std::string> anchors;
};

struct Table {
  std::vector<Row> rows;
};

using Block = std::variant<Paragraph, Table>;

// ---- Topics -------------------------------------------------------------------------

struct Keyword {
  std::string list;  // "K", "A", ... ("0K".."8K" for numbered lists)
  std::string text;
};

// A context string and where in the topic it points.
struct Anchor {
  std::string context;   // the string (made up to hash to the stored value)
  uint32_t hash = 0;
  TopicOffset position = 0;
};

struct Topic {
  TopicOffset offset = 0;        // where the topic begins
  uint32_t number = 0xFFFFFFFFu;  // its topic number, where known
  std::string title;             // "" for an untitled topic (popups often are)
  std::string group;
  std::vector<Anchor> contexts;  // every context string that names a position of the topic
  std::vector<Keyword> keywords;
  std::vector<Block> header;     // the non-scrolling region, shown above the text
  std::vector<Block> body;
  std::vector<Link> links;       // Inline::link indexes into this
  TopicOffset browseBack = kNoTopic;
  TopicOffset browseForward = kNoTopic;
};

}  // namespace quillon::document
