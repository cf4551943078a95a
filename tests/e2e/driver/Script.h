#pragma once
// The driver's command line: which installer to start and the user actions to play against it.
//
//   tazel_driver --run=C:\path\Installer.exe [--timeout=SECONDS] [--occupy=PATH]... ACTION...
//
// --occupy=PATH makes, before the installer runs a single instruction, the file its first
// temporary name for the target PATH would be ("PATH.<installer pid in hex>-0.tmp"): a name
// taken, and a leftover whose writer still runs.
//
// Actions, played in order (an "exit" is added when the script does not end with one):
//   window            wait until the installer's main window is visible; report its frame
//   window-close      ask the main window to close (as its close button would)
//   window-move=X,Y   move the main window's frame to screen position X,Y
//   dpi=DPI,X,Y       tell the main window its DPI is now DPI, as Windows 10 does when the window
//                     moves to a monitor of another scale: WM_GETDPISCALEDSIZE (reported), then
//                     WM_DPICHANGED with a suggested frame at X,Y of the size the window named,
//                     or else the current one scaled by the change; report the window afterwards
//   accessible        report the main window's child windows in reading order: class, style,
//                     text, and name and role as the accessibility API (oleacc) gives them
//   cover             lay a plain window of the driver's own over the main window's frame, as
//                     another program's window would be; reports its rectangle and colour
//   uncover           take that window away again, leaving the installer to repaint
//   box               wait for the next message box; report title, frame, text, buttons, icon, owner
//   browse            wait for the folder browse dialog; report its texts and owner
//   press=KEY         answer the box or dialog found last: ok, cancel, escape (a key press
//                     on the focused control) or close (the title bar's close command)
//   box=KEY           box, then press=KEY
//   browse=KEY        browse, then press=KEY
//   select=PATH       make PATH the browse dialog's selection, as if the user had clicked it
//   pick=PATH         browse, select=PATH, press=ok
//   sync=NAME         report a sync point and wait for one line on standard input, so the
//                     harness can act (sample CPU time, take a screenshot, change files) at it
//   sleep=MS          keep watching the installer for MS milliseconds
//   hold=PATH[,MS]    open the existing file PATH for reading without delete sharing, as a virus
//                     scanner or the game might, and keep it open until the driver ends; with MS,
//                     only until MS milliseconds after the installer's temporary file for PATH
//                     ("PATH.<installer pid in hex>-*.tmp") has appeared
//   exit              wait for the installer to end; a box appearing meanwhile is reported
//                     as unexpected and ends the installer
//   kill              end the installer at once

#include <optional>
#include <string>
#include <vector>

namespace tazel::e2e {

enum class ActionKind {
    Window,
    WindowClose,
    WindowMove,
    Dpi,
    Accessible,
    Cover,
    Uncover,
    Box,
    Browse,
    Press,
    Select,
    Sync,
    Sleep,
    Hold,
    Exit,
    Kill
};
enum class Key { Ok, Cancel, Escape, Close };

struct Action {
    ActionKind kind = ActionKind::Exit;
    std::wstring token; // as written on the command line, for the report
    Key key = Key::Ok;
    std::wstring text; // select's and hold's path, sync's name
    int x = 0;
    int y = 0;
    int dpi = 0;
    int milliseconds = 0; // -1: throughout
};

struct Script {
    std::wstring installer;
    int timeoutSeconds = 60;
    std::vector<std::wstring> occupy;
    std::vector<Action> actions;
};

// The script of a command line, or nothing with `error` saying what is wrong with it.
std::optional<Script> ParseScript(const std::vector<std::wstring>& arguments, std::wstring& error);

const char* KeyName(Key key) noexcept;

} // namespace tazel::e2e
