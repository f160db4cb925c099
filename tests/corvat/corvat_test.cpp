// corvat's dialog, driven through the dialog layer without a terminal: the
// hash and the regenerated string as the user types, the buttons, the
// program's exit code, its completion step and its exports.
#include "corvat.h"

#include <gtest/gtest.h>
#include <marlet/marlet.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "dialog/model.h"
#include "dialog/screen.h"
#include "indexes/hash.h"
#include "support/dialog_driver.h"
#include "support/help_builder.h"

using fixture::ItemText;

namespace {

using namespace corvat;

INT_PTR ShowCorvat(const fixture::DialogScript &script) {
  fixture::HeadlessDialogs frontEnd(script);
  return DialogBoxParamA(nullptr, MAKEINTRESOURCEA(kDialogResource), nullptr, CorvatDlg, 0);
}

// Moves the focus to a control: WM_INITDIALOG gives none, so Tab first.
void FocusOn(HWND dialog, int id) {
  for (int i = 0; i < 8 && QuillonDialogFocus(dialog) != GetDlgItem(dialog, id); ++i)
    QuillonDialogKey(dialog, QUILLON_KEY_TAB);
  ASSERT_EQ(QuillonDialogFocus(dialog), GetDlgItem(dialog, id));
}

// Replaces the text of an edit control by typing: select all by tabbing in,
// clear, type.
void TypeInto(HWND dialog, int id, const std::string &text) {
  FocusOn(dialog, id);
  QuillonDialogKey(dialog, QUILLON_KEY_END);
  while (!ItemText(dialog, id).empty()) QuillonDialogKey(dialog, QUILLON_KEY_BACKSPACE);
  QuillonDialogType(dialog, text.c_str());
}

std::string Hex(ContextHash hash) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", static_cast<uint32_t>(hash));
  return text;
}

// The tests show the dialog as Run() does, after Run() has registered its
// template.
class Corvat : public testing::Test {
 protected:
  void SetUp() override {
    fixture::HeadlessDialogs frontEnd([](HWND dialog) { EndDialog(dialog, 0); });
    ASSERT_EQ(corvat::Run(), 0);
  }
};

// ---- What the dialog shows --------------------------------------------------------

TEST_F(Corvat, HashAndRegeneratedString) {
  struct Case {
    const char *context;
    const char *presumption;
    const char *hash;
    const char *regenerated;
  } cases[] = {
      {"abc", "", "0x00007de2", "abc"},
      {"ABC", "", "0x00007de2", "abc"},    // case does not change the hash; suffixes are small
      {"a-b-c", "", "0x00007de2", "abc"},  // nor do characters outside the hash table
      {"Contents", "CONTENTS", "0x25f4558a", "CONTENTS"},  // already right: shown unchanged
      {"CONTENTS", "CON", "0x25f4558a", "CONtents"},
      {"abc", "x", "0x00007de2", "x3ocqea"},
      // "b" would need a digit no character has: the library's string, which
      // does not begin with the presumption.
      {"abc", "b", "0x00007de2", "abc"},
      // The empty prefix cannot make 0xCC0D3075; the library's string takes
      // one of its prefixes.
      {"helpfile", "", "0xcc0d3075", "concjdukj"},
      {"helpfile", "help", "0xcc0d3075", "helpfile"},
  };
  for (const Case &c : cases) {
    std::string hash, regenerated;
    ShowCorvat([&](HWND dialog) {
      TypeInto(dialog, kContextEdit, c.context);
      TypeInto(dialog, kPresumptionEdit, c.presumption);
      hash = ItemText(dialog, kHashText);
      regenerated = ItemText(dialog, kRegeneratedText);
      EndDialog(dialog, 0);
    });
    EXPECT_EQ(hash, c.hash) << c.context << " / " << c.presumption;
    EXPECT_EQ(regenerated, c.regenerated) << c.context << " / " << c.presumption;
    EXPECT_EQ(HlpGenerateHashValue(regenerated.c_str()), HlpGenerateHashValue(c.context));
  }
}

TEST_F(Corvat, AnEmptyContextStringHashesToZero) {
  ShowCorvat([&](HWND dialog) {
    // Nothing has changed yet: the statics are as the template has them.
    EXPECT_EQ(ItemText(dialog, kHashText), "");
    TypeInto(dialog, kContextEdit, "a");
    QuillonDialogKey(dialog, QUILLON_KEY_BACKSPACE);
    EXPECT_EQ(ItemText(dialog, kHashText), "0x00000000");
    EXPECT_EQ(ItemText(dialog, kRegeneratedText), "");
    EndDialog(dialog, 0);
  });
}

// Both texts follow every key: a change of the context string updates the
// hash and the regenerated string, a change of the presumption the latter.
TEST_F(Corvat, EveryKeyUpdatesTheDialog) {
  ShowCorvat([&](HWND dialog) {
    FocusOn(dialog, kContextEdit);
    std::string typed;
    for (char c : std::string("IDH_Contents")) {
      QuillonDialogKey(dialog, static_cast<unsigned char>(c));
      typed += c;
      const ContextHash hash = HlpGenerateHashValue(typed.c_str());
      EXPECT_EQ(ItemText(dialog, kHashText), Hex(hash)) << typed;
      EXPECT_EQ(HlpGenerateHashValue(ItemText(dialog, kRegeneratedText).c_str()), hash) << typed;
    }
    const std::string hashShown = ItemText(dialog, kHashText);
    FocusOn(dialog, kPresumptionEdit);
    std::string presumption;
    for (char c : std::string("IDH_Cont")) {
      QuillonDialogKey(dialog, static_cast<unsigned char>(c));
      presumption += c;
      EXPECT_EQ(HlpGenerateHashValue(ItemText(dialog, kRegeneratedText).c_str()),
                HlpGenerateHashValue(typed.c_str()))
          << presumption;
      EXPECT_EQ(ItemText(dialog, kHashText), hashShown);
    }
    EXPECT_EQ(ItemText(dialog, kRegeneratedText), "IDH_Contents");
    EndDialog(dialog, 0);
  });
}

TEST_F(Corvat, TheTopBitShowsInTheHash) {
  ShowCorvat([&](HWND dialog) {
    TypeInto(dialog, kContextEdit, "zzzzzzzzzzzzzzzzzzzzzzzz");  // wraps many times
    const ContextHash hash = HlpGenerateHashValue("zzzzzzzzzzzzzzzzzzzzzzzz");
    ASSERT_LT(hash, 0);
    EXPECT_EQ(ItemText(dialog, kHashText), Hex(hash));
    EndDialog(dialog, 0);
  });
}

// Texts are read in 200 bytes.  A presumption of 199 characters still gets
// its suffix (the work buffer has room for it); a longer one is cut to 199
// first.
TEST_F(Corvat, LongTexts) {
  for (size_t length : {150u, 199u, 250u}) {
    ShowCorvat([&](HWND dialog) {
      TypeInto(dialog, kContextEdit, "IDH_Contents");
      const ContextHash target = HlpGenerateHashValue("IDH_Contents");
      const std::string presumption(length, 'a');
      SetDlgItemTextA(dialog, kPresumptionEdit, presumption.c_str());
      const std::string regenerated = ItemText(dialog, kRegeneratedText);
      EXPECT_EQ(HlpGenerateHashValue(regenerated.c_str()), target) << length;
      char expected[kTextSize + 8];
      const size_t kept = std::min<size_t>(length, kTextSize - 1);
      std::memcpy(expected, presumption.data(), kept);
      expected[kept] = '\0';
      if (CompleteHashString(expected, sizeof expected, target)) {
        EXPECT_EQ(regenerated, expected) << length;
      }
      EndDialog(dialog, 0);
    });
  }
}

// ---- Buttons ------------------------------------------------------------------------

TEST_F(Corvat, OkAndCancelEndTheDialogHelpDoesNothing) {
  struct Case {
    std::vector<int> keys;
    INT_PTR result;  // the whole wParam: id and BN_CLICKED (0)
  } cases[] = {
      {{QUILLON_KEY_ENTER}, IDOK},                        // the default button, with no focus
      {{QUILLON_KEY_TAB, 'a', QUILLON_KEY_ENTER}, IDOK},  // from an edit field
      {{QUILLON_KEY_ESCAPE}, IDCANCEL},
      {{QUILLON_KEY_TAB, QUILLON_KEY_TAB, QUILLON_KEY_TAB, QUILLON_KEY_TAB, ' '}, IDCANCEL},
  };
  for (const Case &c : cases) {
    INT_PTR result = ShowCorvat([&](HWND dialog) {
      for (int key : c.keys) QuillonDialogKey(dialog, key);
    });
    EXPECT_EQ(result, c.result);
  }

  // Help, by Enter on it, Space and its mnemonic: nothing happens.
  INT_PTR result = ShowCorvat([&](HWND dialog) {
    TypeInto(dialog, kContextEdit, "abc");
    const std::string hash = ItemText(dialog, kHashText), regenerated = ItemText(dialog, kRegeneratedText);
    FocusOn(dialog, kHelpButton);
    for (int key : {static_cast<int>(QUILLON_KEY_ENTER), static_cast<int>(' '), QUILLON_KEY_ALT | 'h'}) {
      QuillonDialogKey(dialog, key);
      EXPECT_FALSE(QuillonDialogEnded(dialog));
      EXPECT_EQ(ItemText(dialog, kHashText), hash);
      EXPECT_EQ(ItemText(dialog, kRegeneratedText), regenerated);
      EXPECT_EQ(ItemText(dialog, kContextEdit), "abc");
    }
    QuillonDialogKey(dialog, QUILLON_KEY_ESCAPE);
  });
  EXPECT_EQ(result, IDCANCEL);
}

TEST_F(Corvat, TheProgramExitsWithZeroAfterOkAndCancel) {
  for (int key : {static_cast<int>(QUILLON_KEY_ENTER), static_cast<int>(QUILLON_KEY_ESCAPE)}) {
    fixture::HeadlessDialogs frontEnd([&](HWND dialog) { QuillonDialogKey(dialog, key); });
    EXPECT_EQ(corvat::Run(), 0) << key;
    EXPECT_EQ(frontEnd.runs(), 1);
  }
  // A dialog that cannot be shown is an error.
  fixture::HeadlessDialogs frontEnd([](HWND) {});
  EXPECT_EQ(corvat::Run(), 1);
}

// ---- The completion step, beside the library's -----------------------------------------

TEST(CorvatCompletion, AgreesWithTheLibrarysStep) {
  const char *prefixes[] = {"", "a", "Ind", "IDH_", "helpfile", "zzzzzzzzzz", "x-y"};
  uint32_t hashes[] = {0, 1, 11, 17, 42, 43, 732, 32226, 0x7FFFFFFF, 0x80000000, 0xCC0D3075, 0xFFFFFFFF};
  int completed = 0;
  for (const char *prefix : prefixes) {
    for (uint32_t hash : hashes) {
      char ours[64], library[64];
      std::strcpy(ours, prefix);
      std::strcpy(library, prefix);
      const bool a = CompleteHashString(ours, sizeof ours, static_cast<ContextHash>(hash));
      const bool b = marlet::CompleteHashString(library, static_cast<ContextHash>(hash));
      EXPECT_EQ(a, b) << prefix << " " << hash;
      EXPECT_STREQ(ours, library) << prefix << " " << hash;
      if (a) {
        ++completed;
        EXPECT_EQ(static_cast<uint32_t>(HlpGenerateHashValue(ours)), hash);
      }
    }
  }
  EXPECT_GT(completed, 20);  // the table is not all failures
}

TEST(CorvatCompletion, ASuffixThatDoesNotFitIsNotWritten) {
  // "abc" after the empty prefix needs 3 characters and the terminator.
  char buffer[8] = {};
  EXPECT_FALSE(CompleteHashString(buffer, 3, 32226));
  EXPECT_STREQ(buffer, "");
  EXPECT_TRUE(CompleteHashString(buffer, 4, 32226));
  EXPECT_STREQ(buffer, "abc");
}

// ---- The dialog in a terminal's cells ---------------------------------------------------

// The dialog as a terminal shows it: every text whole and in its place, in
// fixed-width letters.
TEST_F(Corvat, DrawnInCells) {
  ShowCorvat([&](HWND handle) {
    TypeInto(handle, kContextEdit, "IDH_Contents");
    TypeInto(handle, kPresumptionEdit, "IDH_Cont");
    const quillon_dialog::Dialog &dialog = *quillon_dialog::FromHandle(handle);
    const quillon_dialog::CellRect box = quillon_dialog::DialogBox(dialog);
    quillon_dialog::Screen screen(box.width, box.height);
    quillon_dialog::Render(dialog, screen, 0, 0);
    // "Regenerated Hashcode" does not fit its 62 units in one line, in the
    // terminal as on Windows: its rectangle has two.
    const std::vector<std::string> rows = {
        "+-------------------- Recompute Context Id ---------------------+",
        "|                                                               |",
        "| Context Id        IDH_Contents                 [     OK      ]|",
        "|                                                               |",
        "| Hash-Value in Hex 0x68310bee                   [   Cancel    ]|",
        "|                                                               |",
        "| presumption       IDH_Cont                     [    Help     ]|",
        "|                                                               |",
        "|                                                               |",
        "| Regenerated       IDH_Contents                                |",
        "| Hashcode                                                      |",
        "+---------------------------------------------------------------+",
    };
    ASSERT_EQ(screen.height, static_cast<int>(rows.size()));
    for (int row = 0; row < screen.height; ++row) EXPECT_EQ(screen.Row(row), rows[row]) << row;
    // The caret stands after the presumption typed.
    EXPECT_EQ(screen.cursorRow, 6);
    EXPECT_EQ(screen.cursorCol, 20 + 8);
    EndDialog(handle, 0);
  });
}

// ---- The program ------------------------------------------------------------------------

TEST(CorvatProgram, ExportsItsDialogProcedureAlone) {
  fixture::CommandResult result =
      fixture::RunCommand("nm -D --defined-only " + fixture::ProgramPath("corvat"));
  ASSERT_EQ(result.exitCode, 0);
  std::set<std::string> found;
  std::istringstream lines(result.out);
  std::string address, type, name;
  while (lines >> address >> type >> name) found.insert(name);
  EXPECT_EQ(found, (std::set<std::string>{"CorvatDlg"}));
}

TEST(CorvatProgram, WithoutATerminalItSaysSoAndFails) {
  fixture::CommandResult result = fixture::RunCommand(fixture::ProgramPath("corvat") + " </dev/null 2>&1");
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.out, "corvat: the dialog cannot be shown: it needs a terminal\n");
}

}  // namespace
