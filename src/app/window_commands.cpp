#include "app/window_commands.h"

#include "app/app_context.h"
#include "app/batch_run.h"
#include "app/main_dlg.h"
#include "app/source_list.h"
#include "dialogs/about_page.h"
#include "dialogs/output_preview_dlg.h"
#include "dialogs/preferences_dlg.h"
#include "dialogs/quick_start_dlg.h"
#include "dialogs/resize_setting_dlg.h"
#include "editor/preview_photo.h"
#include "editor/template_edit_dlg.h"

namespace kw {

void ConnectWindowCommands(CMainDlg &window, AppContext &context, UpdateCheckSetup updateSetup)
{
    QObject::connect(&window, &CMainDlg::editTemplateRequested, &window, [&window, &context] {
        const QString name = window.GetSelectedTemplateName();
        // The run in progress draws the template as it was read at its start.
        if (name.isEmpty() || window.batch()->isRunning())
            return;
        CTemplateEditDlg editor(context.templatesFolder, name, context.prompts, &window);
        editor.setPreviewPhotos(
            window.sourceList()->paths(), window.sourceList()->firstSelectedRow(),
            CurrentResizeRequest(context.dataFolder, context.resizeJustThisTime));
        editor.exec();
    });
    QObject::connect(&window, &CMainDlg::previewRequested, &window, [&window, &context] {
        OutputPreviewInputs inputs{context.dataFolder, context.templatesFolder,
                                   window.GetSelectedTemplateName(), context.resizeJustThisTime};
        SourceFileStepperFor<CSourceList> sources(*window.sourceList());
        COutputPreviewDlg preview(std::move(inputs), sources, context.prompts, &window);
        preview.exec();
    });
    QObject::connect(&window, &CMainDlg::resizeSettingsRequested, &window, [&window, &context] {
        CResizeSettingDlg dialog(context.dataFolder, context.resizeJustThisTime, context.prompts,
                                 &window);
        dialog.exec();
    });
    // The Update page checks with the same setup as the start-up check.
    QObject::connect(
        &window, &CMainDlg::preferencesRequested, &window, [&window, &context, updateSetup] {
            CPreferencesDlg dialog(context.dataFolder, context.prompts, &window, updateSetup);
            dialog.exec();
        });
    QObject::connect(&window, &CMainDlg::quickStartRequested, &window, [&window, &context] {
        CQuickStartDlg dialog(context.dataFolder, context.prompts, &window);
        dialog.exec();
    });
    QObject::connect(&window, &CMainDlg::aboutRequested, &window, [&window, &context] {
        CAboutDlg dialog(context.prompts, &window);
        dialog.exec();
    });

    StartStartupUpdateCheck(&window, context.prompts, std::move(updateSetup));
}

} // namespace kw
