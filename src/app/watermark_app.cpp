#include "app/watermark_app.h"

#include "app/app_context.h"
#include "app/main_dlg.h"
#include "app/window_commands.h"
#include "controls/artwork.h"
#include "controls/user_prompts.h"
#include "model/template_library.h"
#include "platform/app_folders.h"
#include "render/font_mapping.h"
#include "settings/preferences.h"

#include "kw_version.h"

#include <QApplication>

namespace kw {

void SetApplicationIdentity()
{
    QCoreApplication::setApplicationName(QStringLiteral("Kelvane Watermark"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KW_VERSION_STRING));
    // No display name of its own: under X11 Qt appends a set display name to
    // every window title that does not end with it ("Preferences — Kelvane
    // Watermark"), which named the program twice in the main window's title
    // and cut narrow dialogs' titles. applicationDisplayName() still gives
    // the name, from applicationName().
    QGuiApplication::setDesktopFileName(QStringLiteral("com.kelvane.Watermark"));
    QGuiApplication::setWindowIcon(AppIcon());
}

void WriteFirstRunFiles(const AppContext &context)
{
    // Failures are not fatal: the window works without them and says so
    // where it needs them.
    (void)CreateDefaultPreferences(context.dataFolder);
    (void)SeedFirstRun(context.templatesFolder);
}

CWatermarkApp::CWatermarkApp(QApplication &application) : m_application(application) {}

int CWatermarkApp::run()
{
    SetApplicationIdentity();
    RegisterWatermarkFonts();

    QtUserPrompts prompts;
    AppContext context{GetAppDataFolder(), GetTemplatesFolder(), prompts};

    WriteFirstRunFiles(context);
    CMainDlg window(context);
    ConnectWindowCommands(window, context);
    window.show();
    return m_application.exec();
}

} // namespace kw
