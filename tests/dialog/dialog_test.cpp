// The dialog layer: the messages a dialog procedure gets for the keys a user
// presses, the texts of controls, the life of a dialog, and its drawing in
// character cells.
#include <gtest/gtest.h>
#include <quillon/dialog.h>

#include <sstream>
#include <string>
#include <vector>

#include "dialog/screen.h"
#include "support/dialog_driver.h"

using fixture::ItemText;
using fixture::RunDialog;

namespace {

constexpr int kResource = 500;
constexpr int kName = 10, kPreset = 11, kApply = 12, kNoTabStop = 13, kDisabled = 14, kLong = 15;

constexpr DWORD kLabel = WS_CHILD | WS_VISIBLE | SS_LEFT;
constexpr DWORD kEdit = WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_LEFT;
constexpr DWORD kButton = WS_CHILD | WS_VISIBLE | WS_TABSTOP;

constexpr QuillonDialogItem kItems[] = {
    {IDC_STATIC, QUILLON_CLASS_STATIC, "&Name", 3, 2, 30, 8, kLabel},
    {kName, QUILLON_CLASS_EDIT, "", 40, 2, 60, 12, kEdit},
    {IDC_STATIC, QUILLON_CLASS_STATIC, "A label in two lines", 3, 20, 30, 16, kLabel},
    {kPreset, QUILLON_CLASS_EDIT, "preset", 40, 20, 60, 12, kEdit},
    {kNoTabStop, QUILLON_CLASS_EDIT, "", 40, 36, 60, 12, kEdit & ~WS_TABSTOP},
    {kDisabled, QUILLON_CLASS_EDIT, "", 40, 50, 60, 12, kEdit | WS_DISABLED},
    {IDOK, QUILLON_CLASS_BUTTON, "OK", 110, 2, 40, 14, kButton | BS_DEFPUSHBUTTON},
    {IDCANCEL, QUILLON_CLASS_BUTTON, "Cancel", 110, 20, 40, 14, kButton | BS_PUSHBUTTON},
    {kApply, QUILLON_CLASS_BUTTON, "&Apply", 110, 38, 40, 14, kButton | BS_PUSHBUTTON},
    {kLong, QUILLON_CLASS_STATIC, "", 3, 66, 140, 8, kLabel},
};

constexpr QuillonDialogTemplate kTemplate = {
    "Test Dialog", WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_MODALFRAME, "MS Sans Serif", 8, 0, 0, 160, 80,
    kItems,        static_cast<int>(sizeof kItems / sizeof kItems[0]),
};

// ---- A dialog procedure that records every message ------------------------------

struct Recorder {
  std::vector<std::string> events;
  INT_PTR initResult = 0;
  bool endInInit = false;
};
Recorder *g_recorder = nullptr;

std::string Notification(WORD code) {
  switch (code) {
    case EN_CHANGE:
      return "EN_CHANGE";
    case BN_CLICKED:
      return "BN_CLICKED";
    default:
      return std::to_string(code);
  }
}

int IdOf(HWND dialog, HWND control) {
  for (const QuillonDialogItem &item : kItems)
    if (GetDlgItem(dialog, item.id) == control) return item.id;
  return 0;
}

// "init FOCUS PARAM" for WM_INITDIALOG; "ID NOTIFICATION" for WM_COMMAND, with
// the edit control's text after EN_CHANGE.  OK and Cancel end the dialog with
// 100 + id.
INT_PTR CALLBACK Record(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  Recorder &r = *g_recorder;
  if (message == WM_INITDIALOG) {
    r.events.push_back("init " + std::to_string(IdOf(dialog, reinterpret_cast<HWND>(wParam))) + " " +
                       std::to_string(lParam));
    if (r.endInInit) EndDialog(dialog, 55);
    return r.initResult;
  }
  if (message != WM_COMMAND) return 0;
  const int id = LOWORD(wParam);
  std::string event = std::to_string(id) + " " + Notification(HIWORD(wParam));
  if (HIWORD(wParam) == EN_CHANGE) event += " " + ItemText(dialog, id);
  // lParam names the control the command comes from.
  if (reinterpret_cast<HWND>(lParam) != GetDlgItem(dialog, id)) event += " (lParam is not the control)";
  r.events.push_back(event);
  if (id == IDOK || id == IDCANCEL) EndDialog(dialog, 100 + id);
  return 0;
}

class Dialog : public testing::Test {
 protected:
  void SetUp() override {
    QuillonAddDialogResource(kResource, &kTemplate);
    g_recorder = &recorder;
  }
  void TearDown() override {
    QuillonAddDialogResource(kResource, nullptr);
    g_recorder = nullptr;
  }
  INT_PTR Show(const fixture::DialogScript &script, LPARAM param = 7) {
    return RunDialog(kResource, Record, script, param);
  }
  Recorder recorder;
};

// Keys written as words: Tab BackTab Enter Esc Bs Del Left Right Home End
// Space Alt-x, and 'text' for typing.
std::vector<int> Keys(const std::string &script) {
  std::vector<int> keys;
  std::istringstream words(script);
  for (std::string word; words >> word;) {
    if (word.front() == '\'') {
      for (size_t i = 1; i + 1 < word.size(); ++i) keys.push_back(static_cast<unsigned char>(word[i]));
    } else if (word.rfind("Alt-", 0) == 0) {
      keys.push_back(QUILLON_KEY_ALT | static_cast<unsigned char>(word[4]));
    } else {
      static const std::pair<const char *, int> kNames[] = {
          {"Tab", QUILLON_KEY_TAB},
          {"BackTab", QUILLON_KEY_BACKTAB},
          {"Enter", QUILLON_KEY_ENTER},
          {"Esc", QUILLON_KEY_ESCAPE},
          {"Bs", QUILLON_KEY_BACKSPACE},
          {"Del", QUILLON_KEY_DELETE},
          {"Left", QUILLON_KEY_LEFT},
          {"Right", QUILLON_KEY_RIGHT},
          {"Home", QUILLON_KEY_HOME},
          {"End", QUILLON_KEY_END},
          {"Space", ' '},
      };
      bool known = false;
      for (const auto &[name, key] : kNames)
        if (word == name) keys.push_back(key), known = true;
      EXPECT_TRUE(known) << word;
    }
  }
  return keys;
}

void Press(HWND dialog, const std::string &script) {
  for (int key : Keys(script)) QuillonDialogKey(dialog, key);
}

int FocusId(HWND dialog) {
  HWND focus = QuillonDialogFocus(dialog);
  return focus != nullptr ? IdOf(dialog, focus) : 0;
}

// ---- Keys and the messages they send -----------------------------------------------

TEST_F(Dialog, KeysAndTheMessagesTheySend) {
  using Events = std::vector<std::string>;
  struct Case {
    const char *keys;
    Events events;  // after "init 10 7"
    int focus;      // 0: none
    std::string name, preset;
    INT_PTR result = -1;  // -1: still open when the keys are done
  } cases[] = {
      // WM_INITDIALOG returned 0: no control has the focus, typing goes nowhere.
      {"", {}, 0, "", "preset"},
      {"'ab' Bs Space", {}, 0, "", "preset"},
      {"Tab 'ab'", {"10 EN_CHANGE a", "10 EN_CHANGE ab"}, kName, "ab", "preset"},
      {"Tab 'a' Space 'b'",
       {"10 EN_CHANGE a", "10 EN_CHANGE a ", "10 EN_CHANGE a b"},
       kName,
       "a b",
       "preset"},
      {"Tab 'abc' Left Left Bs Right Del",
       {"10 EN_CHANGE a", "10 EN_CHANGE ab", "10 EN_CHANGE abc", "10 EN_CHANGE bc", "10 EN_CHANGE b"},
       kName,
       "b",
       "preset"},
      {"Tab Bs Del Left", {}, kName, "", "preset"},  // nothing to delete: no change, no message
      // Tab into a control with text selects all of it: typing replaces it,
      // Backspace clears it, a move just ends the selection.
      {"Tab Tab 'x'", {"11 EN_CHANGE x"}, kPreset, "", "x"},
      {"Tab Tab Bs", {"11 EN_CHANGE "}, kPreset, "", ""},
      {"Tab Tab End 'x'", {"11 EN_CHANGE presetx"}, kPreset, "", "presetx"},
      {"Tab Tab Home 'x'", {"11 EN_CHANGE xpreset"}, kPreset, "", "xpreset"},
      {"Tab Tab Home Del", {"11 EN_CHANGE reset"}, kPreset, "", "reset"},
      {"Tab Tab End Left Bs", {"11 EN_CHANGE prest"}, kPreset, "", "prest"},
      {"Tab Tab Left Bs", {}, kPreset, "", "preset"},
      // Enter presses the default button, or the focused one; Escape cancels.
      {"Enter", {"1 BN_CLICKED"}, 0, "", "preset", 101},
      {"Tab 'a' Enter 'b'", {"10 EN_CHANGE a", "1 BN_CLICKED"}, kName, "a", "preset", 101},
      {"Tab Tab Tab Tab Enter", {"2 BN_CLICKED"}, IDCANCEL, "", "preset", 102},
      {"BackTab Enter", {"12 BN_CLICKED"}, kApply, "", "preset"},
      {"BackTab Space", {"12 BN_CLICKED"}, kApply, "", "preset"},
      {"Tab 'a' Esc", {"10 EN_CHANGE a", "2 BN_CLICKED"}, kName, "a", "preset", 102},
      // Mnemonics: a button is pressed, a label hands the focus on.
      {"Alt-a", {"12 BN_CLICKED"}, kApply, "", "preset"},
      {"Alt-N 'z'", {"10 EN_CHANGE z"}, kName, "z", "preset"},
      {"Alt-q", {}, 0, "", "preset"},
  };
  for (const Case &c : cases) {
    recorder.events.clear();
    int focus = 0;
    std::string name, preset;
    INT_PTR result = Show([&](HWND dialog) {
      Press(dialog, c.keys);
      focus = FocusId(dialog);
      name = ItemText(dialog, kName);
      preset = ItemText(dialog, kPreset);
    });
    Events expected{"init 10 7"};
    expected.insert(expected.end(), c.events.begin(), c.events.end());
    EXPECT_EQ(recorder.events, expected) << c.keys;
    EXPECT_EQ(focus, c.focus) << c.keys;
    EXPECT_EQ(name, c.name) << c.keys;
    EXPECT_EQ(preset, c.preset) << c.keys;
    EXPECT_EQ(result, c.result) << c.keys;
  }
}

TEST_F(Dialog, TabOrderSkipsControlsWithoutTabStopAndDisabledOnes) {
  struct Case {
    int key;
    std::vector<int> focus;
  } cases[] = {
      {QUILLON_KEY_TAB, {kName, kPreset, IDOK, IDCANCEL, kApply, kName}},
      {QUILLON_KEY_BACKTAB, {kApply, IDCANCEL, IDOK, kPreset, kName, kApply}},
  };
  for (const Case &c : cases) {
    std::vector<int> focus;
    Show([&](HWND dialog) {
      for (size_t i = 0; i < c.focus.size(); ++i) {
        EXPECT_TRUE(QuillonDialogKey(dialog, c.key));
        focus.push_back(FocusId(dialog));
      }
    });
    EXPECT_EQ(focus, c.focus) << c.key;
  }
}

// ---- Texts -------------------------------------------------------------------------

TEST_F(Dialog, ItemTexts) {
  Show([&](HWND dialog) {
    EXPECT_EQ(ItemText(dialog, kPreset), "preset");  // from the template
    char small[4];
    EXPECT_EQ(GetDlgItemTextA(dialog, kPreset, small, sizeof small), 3u);
    EXPECT_STREQ(small, "pre");
    EXPECT_EQ(GetDlgItemTextA(dialog, kPreset, small, 1), 0u);
    EXPECT_STREQ(small, "");
    EXPECT_EQ(GetDlgItemTextA(dialog, 999, small, sizeof small), 0u);  // no such control
    EXPECT_STREQ(small, "");
    EXPECT_FALSE(SetDlgItemTextA(dialog, 999, "x"));

    // Setting an edit control's text is a change of it; a static's is not.
    EXPECT_TRUE(SetDlgItemTextA(dialog, kName, "set"));
    EXPECT_TRUE(SetDlgItemTextA(dialog, kLong, "label"));
    EXPECT_EQ(ItemText(dialog, kLong), "label");
    EXPECT_TRUE(SetDlgItemTextA(dialog, kName, nullptr));
    EXPECT_EQ(ItemText(dialog, kName), "");
  });
  EXPECT_EQ(recorder.events, (std::vector<std::string>{"init 10 7", "10 EN_CHANGE set", "10 EN_CHANGE "}));
}

TEST_F(Dialog, TypingStopsAtTheEditLimit) {
  Show([&](HWND dialog) {
    SetDlgItemTextA(dialog, kName, std::string(32766, 'a').c_str());
    Press(dialog, "Tab End 'bc'");
    char text[40000];
    EXPECT_EQ(GetDlgItemTextA(dialog, kName, text, sizeof text), 32767u);
    EXPECT_EQ(text[32766], 'b');
  });
  ASSERT_EQ(recorder.events.size(), 3u);  // init, the set, "b"; not "c"
}

// ---- The life of a dialog -------------------------------------------------------------

TEST_F(Dialog, ANonZeroInitResultFocusesTheFirstTabStop) {
  recorder.initResult = 1;
  Show([&](HWND dialog) {
    EXPECT_EQ(FocusId(dialog), kName);
    Press(dialog, "'a'");
  });
  EXPECT_EQ(recorder.events, (std::vector<std::string>{"init 10 7", "10 EN_CHANGE a"}));
}

TEST_F(Dialog, EndedWhileStartingItIsNeverShown) {
  recorder.endInInit = true;
  fixture::HeadlessDialogs frontEnd([](HWND) { ADD_FAILURE() << "shown"; });
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(kResource), nullptr, Record, 3), 55);
  EXPECT_EQ(frontEnd.runs(), 0);
}

TEST_F(Dialog, FailuresGiveMinusOne) {
  fixture::HeadlessDialogs frontEnd([](HWND) {});  // shows it, but the user never ends it
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(kResource), nullptr, Record, 0), -1);
  EXPECT_EQ(frontEnd.runs(), 1);
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(kResource + 1), nullptr, Record, 0),
            -1);                                                         // no template
  EXPECT_EQ(DialogBoxParamA(nullptr, "named", nullptr, Record, 0), -1);  // only numbers name resources
  EXPECT_EQ(frontEnd.runs(), 1);
}

TEST_F(Dialog, HandlesDieWithTheDialog) {
  HWND kept = nullptr;
  HWND keptControl = nullptr;
  Show([&](HWND dialog) {
    kept = dialog;
    keptControl = GetDlgItem(dialog, kName);
    EXPECT_FALSE(EndDialog(keptControl, 1));  // a control is not a dialog
    EXPECT_TRUE(EndDialog(dialog, 9));
    EXPECT_FALSE(QuillonDialogKey(dialog, 'a'));  // ended: keys do nothing
  });
  char text[8] = "x";
  EXPECT_EQ(GetDlgItemTextA(kept, kPreset, text, sizeof text), 0u);
  EXPECT_STREQ(text, "");
  EXPECT_FALSE(SetDlgItemTextA(kept, kPreset, "y"));
  EXPECT_FALSE(EndDialog(kept, 1));
  EXPECT_FALSE(QuillonDialogKey(kept, QUILLON_KEY_TAB));
  EXPECT_FALSE(QuillonDialogEnded(kept));
  EXPECT_EQ(GetDlgItem(kept, kName), nullptr);
  EXPECT_EQ(QuillonDialogFocus(keptControl), nullptr);
}

// ---- Drawing in character cells ------------------------------------------------------

using quillon_dialog::Screen;

// The dialog as the terminal draws it, with its box at the top left.
Screen Draw(HWND dialog) {
  const quillon_dialog::Dialog &d = *quillon_dialog::FromHandle(dialog);
  quillon_dialog::CellRect box = quillon_dialog::DialogBox(d);
  Screen screen(box.width, box.height);
  quillon_dialog::Render(d, screen, 0, 0);
  return screen;
}

TEST_F(Dialog, DrawnInCells) {
  Show([&](HWND dialog) {
    Screen screen = Draw(dialog);
    // 160 x 80 dialog units: 46 x 10 cells inside a border.
    ASSERT_EQ(screen.width, 48);
    ASSERT_EQ(screen.height, 12);
    // Labels wrap at blanks inside their rectangle: 8 cells by 2 rows, so
    // "lines" is left out.
    const std::vector<std::string> rows = {
        "+---------------- Test Dialog -----------------+",
        "| Name                          [    OK    ]   |",
        "|                                              |",
        "|                                              |",
        "| A label   preset              [  Cancel  ]   |",
        "| in two                                       |",
        "|                               [  Apply   ]   |",
        "|                                              |",
        "|                                              |",
        "|                                              |",
        "|                                              |",
        "+----------------------------------------------+",
    };
    for (int row = 0; row < screen.height; ++row) EXPECT_EQ(screen.Row(row), rows[row]) << row;
    // Edit fields are underlined across their width.
    for (int col = 12; col < 12 + 18; ++col)
      EXPECT_NE(screen.At(1, col).attributes & quillon_dialog::kUnderline, 0);
    EXPECT_EQ(screen.At(1, 11).attributes, 0);
    EXPECT_EQ(screen.At(1, 30).attributes, 0);
    // Buttons: the text centred in brackets; the default one bold, the
    // mnemonic underlined.
    const int ok = static_cast<int>(screen.Row(1).find("[    OK    ]"));
    ASSERT_GE(ok, 0);
    EXPECT_NE(screen.At(1, ok).attributes & quillon_dialog::kBold, 0);
    const int apply = static_cast<int>(screen.Row(6).find("[  Apply   ]"));
    ASSERT_GE(apply, 0);
    EXPECT_NE(screen.At(6, apply + 3).attributes & quillon_dialog::kUnderline, 0);
    EXPECT_EQ(screen.At(6, apply + 4).attributes & quillon_dialog::kUnderline, 0);
    EXPECT_EQ(screen.cursorRow, -1);  // no focus, no caret

    // The focused button is shown reversed.
    Press(dialog, "BackTab");
    screen = Draw(dialog);
    EXPECT_NE(screen.At(6, apply).attributes & quillon_dialog::kReverse, 0);
  });
}

TEST_F(Dialog, AnEditFieldScrollsToKeepTheCaretInSight) {
  Show([&](HWND dialog) {
    Press(dialog, "Tab");
    const std::string text = "abcdefghijklmnopqrstuvwxyz0123456789";
    QuillonDialogType(dialog, text.c_str());
    Screen screen = Draw(dialog);
    // The field: 18 cells from column 12 of row 1 (border included).
    const int row = 1, col = 12, width = 18;
    EXPECT_EQ(screen.cursorRow, row);
    EXPECT_EQ(screen.cursorCol, col + width - 1);
    EXPECT_EQ(screen.Row(row).substr(col, width - 1), text.substr(text.size() - (width - 1)));
    Press(dialog, "Home");
    screen = Draw(dialog);
    EXPECT_EQ(screen.cursorCol, col);
    EXPECT_EQ(screen.Row(row).substr(col, width), text.substr(0, width));
  });
}

}  // namespace
