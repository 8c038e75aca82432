#pragma once

#include <string_view>

// Where each control of the main window stands, in twips, with its caption
// and face: what the window is built from and what its tests read.
namespace chatterwick::gui::layout {

inline constexpr int kClientWidth = 14190;
inline constexpr int kClientHeight = 8010;

struct Face {
  const char* family;
  double points;
  bool bold = false, underline = false;
};
inline constexpr Face kPlain{"MS Sans Serif", 8.25};
inline constexpr Face kTitle{"MS Sans Serif", 8.25, true};
inline constexpr Face kHeading{"MS Sans Serif", 13.5, false, true};
inline constexpr Face kBoxLabel{"MS Sans Serif", 9.75};
inline constexpr Face kBoxText{"System", 9.75, true};

enum class Kind { kButton, kCheckBox, kLabel, kLineEdit, kPane };

struct Control {
  const char* name;
  Kind kind;
  const char* caption;  // a label's or button's text, an edit box's first text
  int left, top, width, height;
  Face face;
};

// In tab-index order, so that the focus chain follows it.
inline constexpr Control kControls[] = {
    {"cmdLoad", Kind::kButton, "Load Log", 240, 6480, 1455, 375, kPlain},
    {"txtOutput", Kind::kPane, "", 120, 480, 13935, 5175, kBoxText},
    {"cmdSaveTxt", Kind::kButton, "Save as Text", 240, 6960, 1455, 375, kPlain},
    {"cmdSaveCSV", Kind::kButton, "Save as CSV", 240, 7440, 1455, 375, kPlain},
    {"cmdCSV", Kind::kButton, "Parse Log Folder to CSV", 2280, 7320, 2655, 375, kPlain},
    {"chkBOM", Kind::kCheckBox, "Add UTF8 BOM  (CSV Exports Only)", 5400, 6360, 3255, 375, kPlain},
    {"txtFolder", Kind::kLineEdit, "%appdata%\\.purple\\logs\\", 2880, 6360, 2175, 285, kBoxText},
    {"txtMask", Kind::kLineEdit, "*.html", 2880, 6720, 2175, 285, kBoxText},
    {"lblName", Kind::kLabel, "", 120, 120, 14055, 255, kTitle},
    {"Label_0", Kind::kLabel, "Indivual Log:", 120, 5880, 1815, 375, kHeading},
    {"Label1", Kind::kLabel, "Log Folder Parsing: ", 2280, 5880, 2775, 375, kHeading},
    {"Label2", Kind::kLabel, "Export Options: ", 5400, 5880, 2775, 375, kHeading},
    {"Label_1", Kind::kLabel, "Folder:", 2160, 6360, 735, 255, kBoxLabel},
    {"Label_2", Kind::kLabel, "Mask:", 2160, 6720, 735, 255, kBoxLabel},
};

struct Line {
  int x1, y1, x2, y2;
};
inline constexpr Line kLines[] = {
    {0, 5760, 14280, 5760},    // under the output pane
    {2040, 5760, 2040, 8160},  // single log | folder run
    {5160, 5760, 5160, 8160},  // folder run | export options
    {8880, 5760, 8880, 8040},  // closes the export group
};

// The free corner right of the export options: the status line, under it
// the find bar, and under that the way to the archive.
inline constexpr int kStatusLeft = 9000;
inline constexpr int kStatusTop = 5880;
inline constexpr int kStatusWidth = 5055;
inline constexpr int kFindBarTop = 7020;
inline constexpr int kFindBarHeight = 400;
inline constexpr int kArchiveButtonTop = kFindBarTop + 480;
inline constexpr int kArchiveButtonWidth = 2400;
inline constexpr int kArchiveButtonHeight = 375;

// The control of that name; a name not in the table does not compile.
consteval const Control& Named(std::string_view name) {
  for (const Control& c : kControls)
    if (name == c.name) return c;
  throw "no such control";
}

}  // namespace chatterwick::gui::layout
