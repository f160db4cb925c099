// Writes the built help files the browser test converts and opens: a picture
// whose hotspots jump and pop up, and a file whose every text is an attempt
// at markup.
//
// Usage: browser_fixtures OUTDIR
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "support/document_builder.h"
#include "support/shg_builder.h"

namespace {

using namespace fixture;

void Save(const std::filesystem::path &path, const Bytes &bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A 64x32 picture of 16 colours: its left half jumps to "second", its right
// half pops up "note".
Bytes PictureWithHotspots() {
  BitmapPicture p;
  p.bitCount = 4;
  p.width = 64;
  p.height = 32;
  for (int c = 0; c < 16; ++c) PutBytes(p.colours, {static_cast<uint8_t>(c * 16), 128, static_cast<uint8_t>(255 - c * 16), 0});
  Bytes rows;
  for (uint32_t y = 0; y < p.height; ++y)
    for (uint32_t x = 0; x < p.width / 2; ++x) rows.push_back(static_cast<uint8_t>(x < 16 ? 0x11 : 0xEE));
  p.packed = rows;
  FileHotspot jump, popup;
  jump.code = 0x00E3;  // a visible jump
  jump.left = 0, jump.top = 0, jump.width = 32, jump.height = 32;
  jump.target = "second";
  popup.code = 0x00E2;  // a visible popup
  popup.left = 32, popup.top = 0, popup.width = 32, popup.height = 32;
  popup.target = "note";
  p.hotspots = BuildHotspotData({jump, popup});
  return BuildBitmapShg(p).bytes;
}

DocRecipe Pictures() {
  DocRecipe recipe;
  recipe.title = "Pictures and popups";
  Bytes commands = PictureRef(0);
  PutBytes(commands, PopupTo("note"));
  PutBytes(commands, HotspotEnd());
  PutBytes(commands, {0x82});
  recipe.topics = {
      {"A picture with hotspots", {"pictures"}, {"picture"},
       {Paragraph({"Click the picture ", " or the word ", "note", ".", ""}, commands)}},
      {"Second", {"second"}, {}, {TextParagraph("The picture's left half leads here.")}},
      {"", {"note"}, {}, {TextParagraph("A note in a popup.")}},
  };
  recipe.extraFiles = {{"|bm0", PictureWithHotspots()}};
  return recipe;
}

DocRecipe Hostile() {
  const std::string script = "<script>alert(1)</script>";
  const std::string attribute = "\"><img src=x onerror=alert(2)>";
  DocRecipe recipe;
  recipe.title = script;
  recipe.copyright = attribute;
  Bytes commands = MacroHotspot("EF(\"javascript:alert(3)\",`',1)");
  PutBytes(commands, HotspotEnd());
  PutBytes(commands, EmbeddedObject(attribute));
  PutBytes(commands, {0x82});
  recipe.topics = {{script, {"x"}, {script}, {Paragraph({script + " javascript:alert(4) " + attribute, "click", "", ""}, commands)}}};
  return recipe;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fputs("usage: browser_fixtures OUTDIR\n", stderr);
    return 2;
  }
  std::filesystem::path out = argv[1];
  std::filesystem::create_directories(out);
  Save(out / "pictures.hlp", BuildDocument(Pictures()).bytes);
  Save(out / "hostile.hlp", BuildDocument(Hostile()).bytes);
  return 0;
}
