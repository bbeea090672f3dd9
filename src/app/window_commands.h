#pragma once

namespace kw {

struct AppContext;
class CMainDlg;

// Connects the main window's commands that open other windows (the template
// editor, the output preview, the Image Resizing and Preferences dialogs, the
// Quick Start and About) and starts the start-up update check. Called once,
// after the window is built and before it is shown.
void ConnectWindowCommands(CMainDlg &window, AppContext &context);

} // namespace kw
