#include "app/window_commands.h"

#include "app/app_context.h"
#include "app/main_dlg.h"
#include "controls/user_prompts.h"

#include <QCoreApplication>

namespace kw {

void ConnectWindowCommands(CMainDlg &window, AppContext &context)
{
    // Until the About dialog is connected, the window's About entry names the
    // program and its version.
    QObject::connect(&window, &CMainDlg::aboutRequested, &window, [&window, &context] {
        context.prompts.message(
            &window,
            QStringLiteral("Kelvane Watermark %1").arg(QCoreApplication::applicationVersion()),
            MessageIcon::Information);
    });
}

} // namespace kw
