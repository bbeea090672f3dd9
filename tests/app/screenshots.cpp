// Takes screenshots of the main window for the documentation and for looking
// at the layout: idle with a list of photos, and in the middle of a batch.
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
#include "controls/user_prompts.h"
#include "platform/app_folders.h"
#include "render/font_mapping.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

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

    // Photos of a trip, made from the built-in sample photo at camera size.
    const QString folder = home.filePath(QStringLiteral("Pictures/Lake District 2024"));
    QDir().mkpath(folder);
    const QImage sample(QStringLiteral(":/kelvane/sample-photo-677x625.jpg"));
    const QImage large = sample.scaled(4200, 3900, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QStringList photos;
    for (int i = 0; i < 24; ++i) {
        const QString path = folder + QStringLiteral("/IMG_%1.jpg").arg(4120 + i * 3);
        large.save(path, "JPEG", 90);
        photos << path;
    }

    kw::ScriptedPrompts prompts;
    kw::AppContext context{kw::GetAppDataFolder(), kw::GetTemplatesFolder(), prompts};
    context.batchJobs = 2;
    kw::CMainDlg window(context);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        std::fprintf(stderr, "the window was not shown\n");

    prompts.files.push_back(photos);
    window.mainToolbar()->trigger(kw::kCmdAddPhotos);
    QTest::qWait(200);
    window.sourceList()->selectOnly(2);
    Save(window, output + QStringLiteral("/main-window-idle.png"));

    window.mainToolbar()->trigger(kw::kCmdProcess);
    WaitFor([&] { return window.sourceList()->statusTextAt(8) == QStringLiteral("OK"); }, 60000);
    Save(window, output + QStringLiteral("/main-window-batch.png"));
    window.batch()->stopAndWait();
    return 0;
}
