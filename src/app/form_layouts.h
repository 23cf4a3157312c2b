#pragma once

// The windows' faces as both programs draw them: controls, captions and
// places in twips (1440 to the logical inch), so a window looks the same on
// Qt and on Win32 and each becomes pixels at its own screen's DPI.

#include <cstddef>

namespace orvane::layout {

struct TwipsSize {
    int width;
    int height;
};

struct TwipsPoint {
    int x;
    int y;
};

struct TwipsRect {
    int left;
    int top;
    int width;
    int height;
};

// A thin line between two points.
struct TwipsLine {
    const char* name;
    TwipsPoint from;
    TwipsPoint to;
};

struct Font {
    const char* face;
    double points;
    bool bold;
};

// --- frmOrvane ---------------------------------------------------------------

enum class Kind { Heading, TextBox, Button, Option, CheckBox };

struct Control {
    const char* name;
    Kind kind;
    const char* caption;
    TwipsRect rect;
};

inline constexpr TwipsSize MainClient{7455, 1305};
// The window's face; headings are the same face, bold and underlined.
inline constexpr Font MainFont{"MS Sans Serif", 8.25, false};

// In tab order: focus moves as the layout reads.
inline constexpr Control MainControls[] = {
    {"Label2", Kind::Heading, "Play Path", {120, 0, 6375, 255}},
    {"Text1", Kind::TextBox, "", {120, 240, 6375, 285}},
    {"cmdPath", Kind::Button, "Browse", {6600, 120, 735, 375}},
    {"Label1", Kind::Heading, "File Play Order", {120, 720, 1575, 255}},
    {"optDate", Kind::Option, "Date", {120, 960, 735, 375}},
    {"optName", Kind::Option, "Name", {960, 960, 735, 375}},
    {"ckRepeat", Kind::CheckBox, "Repeat All", {1920, 720, 1335, 255}},
    {"ckSub", Kind::CheckBox, "Subdirectories", {1920, 960, 1335, 375}},
    {"cmdStop", Kind::Button, "Stop", {3480, 720, 975, 495}},
    {"cmdSkip", Kind::Button, "Skip", {4440, 720, 975, 495}},
    {"cmdPause", Kind::Button, "Pause", {5400, 720, 975, 495}},
    {"cmdPlay", Kind::Button, "Play", {6360, 720, 975, 495}},
};

inline constexpr TwipsLine MainLines[] = {
    {"Line1", {120, 600}, {7320, 600}},
    {"Line3", {1800, 720}, {1800, 1200}},
    {"Line2", {3360, 720}, {3360, 1200}},
};

// RCPopup, the menu of the tray icon and of the main window itself (a right
// click, the Menu key or Shift+F10 on it), in order; "-" is a separator. Both
// programs build the one menu from this table and show it in both places, so
// an item added here is in both. A check item shows the check mark of the
// control model's value of the same name.
struct MenuItem {
    const char* name;
    const char* caption;
    bool check = false;
};

inline constexpr const char* PopupMenuName = "MP3 Orvane"; // what a screen reader calls the menu

inline constexpr MenuItem PopupMenu[] = {
    {"mnuPlay", "&Play"},
    {"mnuPause", "P&ause"},
    {"mnuSkip", "S&kip"},
    {"mnuStop", "S&top"},
    {"mnuline3", "-"},
    {"mnuShuffle", "Shuffle &Folders", true},
    {"mnuEvenLoudness", "&Even Loudness", true},
    {"mnuline2", "-"},
    {"mnuSettings", "&Settings"},
    {"mnuline1", "-"},
    {"mnuAbout", "&About"},
    {"mnuline", "-"},
    {"mnuExit", "E&xit"},
};

// The Windows program's menu has these after Stop too: its desktop offers no
// control that seeks (Ctrl+Left and Ctrl+Right do it in either program).
inline constexpr MenuItem SeekMenu[] = {
    {"mnuBack", "&Back 10 s"},
    {"mnuForward", "F&orward 30 s"},
};

// --- frmSplash and frmAbout ----------------------------------------------------

// Frame1 of the startup and About windows and what both show in it; places
// inside the frame are relative to it.
struct ProductFrame {
    TwipsSize client;
    TwipsRect frame;
    TwipsRect logo;
    TwipsPoint companyProduct; // lblCompanyProduct, sized to its text
    TwipsPoint productName;    // lblProductName, sized to its text
    TwipsPoint versionTopRight; // lblVersion grows to the left of this
    TwipsRect warning;
    const char* warningText;
};

inline constexpr Font CompanyProductFont{"Arial", 18, true};
inline constexpr Font ProductNameFont{"Arial", 24, true};
inline constexpr Font VersionFont{"Arial", 12, true};
inline constexpr Font WarningFont{"Arial", 8.25, false};

inline constexpr ProductFrame SplashFrame{
    {7380, 4245},
    {150, 0, 7080, 4050},
    {480, 480, 1740, 1620},
    {2280, 1080},
    {2280, 1560},
    {5670 + 885, 2280},
    {150, 3660, 6855, 195},
    "Copyright \u00A9 The Orvane authors. Provided as is, without warranty of any kind.",
};

inline constexpr ProductFrame AboutFrame{
    {7380, 4245},
    {75, 75, 7230, 4095},
    {360, 360, 1500, 1500},
    {2160, 480},
    {2160, 900},
    {6855, 1980},
    {240, 3720, 6855, 195},
    "Copyright \u00A9 The Orvane authors. This program is provided as is, without warranty of any kind.",
};

inline constexpr const char* AboutCaption = "About MP3 Orvane";
// lblURL: centred across the frame, only as wide as its text, so the pointer
// counts as on it exactly where the word is.
inline constexpr const char* AboutLinkText = "WebSite";
inline constexpr int AboutLinkTop = 2640;
inline constexpr Font AboutLinkFont{"MS Sans Serif", 9.75, true};
inline constexpr TwipsRect AboutExit{5640, 3060, 1215, 435};
inline constexpr const char* AboutExitCaption = "Exit";

} // namespace orvane::layout
