// Takes screenshots for the documentation and for looking at the layout: the
// main window idle with a list of photos and in the middle of a batch, the
// template editor's two pages on a layer that uses every effect, the output
// preview of a large photo, each Preferences page, and the Image Resizing and
// Quick Start dialogs.
//
//   xvfb-run -a -s "-screen 0 1280x800x24" build/tests/app/kw_screenshots OUTPUT_FOLDER [SCALE]
//
// Runs in a temporary home folder; never touches the user's own data.
#include "app/app_context.h"
#include "app/batch_run.h"
#include "app/main_dlg.h"
#include "app/source_list.h"
#include "app/watermark_app.h"
#include "controls/button_bar.h"
#include "dialogs/output_preview_dlg.h"
#include "dialogs/preferences_dlg.h"
#include "dialogs/quick_start_dlg.h"
#include "dialogs/resize_setting_dlg.h"
#include "editor/template_edit_dlg.h"
#include "model/layer_file.h"
#include "model/template_file.h"
#include "platform/app_folders.h"
#include "render/font_mapping.h"
#include "render/thumbnail_cache.h"
#include "support/scripted_prompts.h"

#include <QApplication>
#include <QCheckBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

using kw::CQuickStartDlg;
using kw::CResizeSettingDlg;

using kw::COutputPreviewDlg;
using kw::CTemplateEditDlg;
using kw::CWatermarkConf;

namespace {

bool WaitFor(const std::function<bool()> &done, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired())
        QTest::qWait(10);
    return done();
}

void Save(QWidget &window, const QString &path)
{
    const QImage shot = window.grab().toImage();
    if (!shot.save(path))
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    else
        std::printf("%s\n", qPrintable(path));
}

// Shows a dialog without its own event loop, lets it settle, and saves it.
void ShowAndSave(QWidget &dialog, const QString &path, int settleMs = 600)
{
    dialog.show();
    if (!QTest::qWaitForWindowExposed(&dialog))
        std::fprintf(stderr, "%s was not shown\n", qPrintable(path));
    QTest::qWait(settleMs);
    Save(dialog, path);
}

// Turns every effect of the template's first layer on, with a logo picture.
void UseEveryEffect(const QString &templatesFolder, const QString &templateName,
                    const QString &logoPath)
{
    QImage logo(160, 160, QImage::Format_ARGB32_Premultiplied);
    logo.fill(Qt::transparent);
    {
        QPainter painter(&logo);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(QColor(250, 190, 40));
        painter.setPen(QPen(Qt::white, 8));
        painter.drawEllipse(logo.rect().adjusted(8, 8, -8, -8));
    }
    logo.save(logoPath);

    const QString layer = kw::FirstLayerName(templateName);
    CWatermarkConf conf;
    if (!kw::LoadLayerConf(templatesFolder, layer, conf))
        return;
    conf.BAddShadow = 1;
    conf.ShadowH = conf.ShadowV = 4;
    conf.ShadowBR = 4;
    conf.ShadowAlpha = 60;
    conf.BDrawEdge = 1;
    conf.EdgeLineThickness = 2;
    conf.EdgeAlpha = 255;
    conf.B3DText = 1;
    conf.TDTextOffset = 4;
    conf.BGradientText = 1;
    conf.GradientBeginColor = 0x0000C0FF; // COLORREF: 0x00BBGGRR
    conf.GradientEndColor = 0x00FF6020;
    conf.ImagePathName = logoPath;
    conf.ImageLocation = 8;
    conf.ImageOffsetH = conf.ImageOffsetV = -20;
    conf.ImageTransparency = 70;
    (void)kw::SaveLayerConf(templatesFolder, layer, conf);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc >= 3)
        qputenv("QT_SCALE_FACTOR", argv[2]);
    QApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: kw_screenshots OUTPUT_FOLDER [SCALE]\n");
        return 2;
    }
    const QString output = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(output);

    QTemporaryDir home(QDir::tempPath() + QStringLiteral("/kw-home-XXXXXX"));
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath(QStringLiteral(".local/share"))));
    kw::SetApplicationIdentity();
    kw::RegisterWatermarkFonts();

    // Photos of a trip, made from parts of the built-in sample photo at
    // camera size, every fourth one upright (portrait).
    const QString folder = home.filePath(QStringLiteral("Pictures/Lake District 2024"));
    QDir().mkpath(folder);
    const QImage sample(QStringLiteral(":/kelvane/sample-photo-677x625.jpg"));
    QStringList photos;
    for (int i = 0; i < 24; ++i) {
        const bool portrait = i % 4 == 3;
        const QSize part = portrait ? QSize(300, 450) : QSize(480, 320);
        const QPoint at((i * 53) % (sample.width() - part.width()),
                        (i * 37) % (sample.height() - part.height()));
        const QImage large = sample.copy(QRect(at, part))
                                 .scaled(portrait ? QSize(2800, 4200) : QSize(4200, 2800),
                                         Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const QString path = folder + QStringLiteral("/IMG_%1.jpg").arg(4120 + i * 3);
        large.save(path, "JPEG", 90);
        photos << path;
    }

    kw::ScriptedPrompts prompts;
    kw::AppContext context{kw::GetAppDataFolder(), kw::GetTemplatesFolder(), prompts};
    context.batchJobs = 2;
    kw::WriteFirstRunFiles(context);
    kw::CMainDlg window(context);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        std::fprintf(stderr, "the window was not shown\n");

    prompts.files.push_back(photos);
    window.mainToolbar()->trigger(kw::kCmdAddPhotos);
    QTest::qWait(200);
    // The thumbnails of the rows in view.
    kw::CSourceList *list = window.sourceList();
    WaitFor(
        [&] {
            list->repaint();
            return list->thumbnails().pendingCount() == 0;
        },
        60000);
    list->selectOnly(2);
    Save(window, output + QStringLiteral("/main-window-idle.png"));

    window.mainToolbar()->trigger(kw::kCmdProcess);
    WaitFor([&] { return window.sourceList()->statusTextAt(8) == QStringLiteral("OK"); }, 60000);
    Save(window, output + QStringLiteral("/main-window-batch.png"));
    window.batch()->stopAndWait();

    const QString templateName = window.GetSelectedTemplateName();
    UseEveryEffect(context.templatesFolder, templateName,
                   home.filePath(QStringLiteral("logo.png")));
    {
        CTemplateEditDlg editor(context.templatesFolder, templateName, prompts, &window);
        ShowAndSave(editor, output + QStringLiteral("/editor-text.png"), 1500);
        if (auto *tabs = editor.findChild<QTabWidget *>())
            tabs->setCurrentIndex(1);
        QTest::qWait(300);
        Save(editor, output + QStringLiteral("/editor-image.png"));
        editor.done(QDialog::Accepted);
    }
    {
        // The editor previewing on a photo of the list, a portrait one.
        CTemplateEditDlg editor(context.templatesFolder, templateName, prompts, &window);
        editor.setPreviewPhotos(window.sourceList()->paths(), 3);
        // Sized with the photo and turned about its anchor, so the mark
        // keeps its place and share of the sample photo on any photo.
        for (QCheckBox *box : editor.findChildren<QCheckBox *>()) {
            if ((box->text() == QStringLiteral("Scale with the photo") ||
                 box->text() == QStringLiteral("Turn about the anchor")))
                box->click();
        }
        ShowAndSave(editor, output + QStringLiteral("/editor-own-photo.png"), 1500);
        editor.done(QDialog::Accepted);
    }
    {
        kw::SourceFileStepperFor<kw::CSourceList> sources(*window.sourceList());
        COutputPreviewDlg preview(
            {context.dataFolder, context.templatesFolder, templateName, false}, sources, prompts,
            &window);
        preview.show();
        WaitFor([&] { return !preview.isRendering(); }, 30000);
        ShowAndSave(preview, output + QStringLiteral("/output-preview.png"));
        preview.done(QDialog::Accepted);
    }
    {
        kw::CPreferencesDlg preferences(context.dataFolder, prompts, &window);
        const char *pages[] = {"general", "update", "about"};
        for (int i = 0; i < 3; ++i) {
            preferences.tabs()->setCurrentIndex(i);
            ShowAndSave(preferences,
                        output +
                            QStringLiteral("/preferences-%1.png").arg(QLatin1String(pages[i])));
        }
        preferences.done(QDialog::Rejected);
    }
    {
        bool justThisTime = false;
        CResizeSettingDlg resizing(context.dataFolder, justThisTime, prompts, &window);
        ShowAndSave(resizing, output + QStringLiteral("/image-resizing.png"));
        resizing.done(QDialog::Rejected);
    }
    {
        CQuickStartDlg quickStart(context.dataFolder, prompts, &window);
        ShowAndSave(quickStart, output + QStringLiteral("/quick-start.png"));
        quickStart.done(QDialog::Accepted);
    }
    return 0;
}
