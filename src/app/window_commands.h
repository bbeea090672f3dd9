#pragma once

#include "dialogs/update_page.h"

namespace kw {

struct AppContext;
class CMainDlg;

// Connects the main window's commands that open other windows, each modal
// over it: the template editor (template menu Edit, double-click on a
// template), the output preview (Preview, double-click on a photo), the Image
// Resizing and Preferences dialogs, the Quick Start and the About dialog; then
// starts the start-up update check through `updateSetup` (silent unless a
// newer version exists). Called once, after the window is built and before it
// is shown; `window` and `context` must outlive the connections.
void ConnectWindowCommands(CMainDlg &window, AppContext &context,
                           UpdateCheckSetup updateSetup = {});

} // namespace kw
