#pragma once

#include "app/app_context.h"
#include "app/main_dlg.h"
#include "app/watermark_app.h"
#include "controls/button_bar.h"
#include "platform/app_folders.h"
#include "support/scripted_prompts.h"

#include "support/test_sandbox.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QDragEnterEvent>
#include <QImage>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include <functional>
#include <memory>
#include <ostream>

#include <gtest/gtest.h>

// Readable QString values in test failures.
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace kw::test {

// Runs the event loop until `done` holds or `ms` have passed.
inline bool WaitFor(const std::function<bool()> &done, int ms = 20000)
{
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QTest::qWait(5);
    }
    return true;
}

// Writes a small photo (a JPEG unless the name says otherwise).
inline QString WritePhoto(const QString &path, QSize size = QSize(64, 48))
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(90, 140, 200));
    EXPECT_TRUE(image.save(path)) << path.toStdString();
    return path;
}

// Sends a drag of `urls` (and, when given, a MIME type of its own) over the
// widget and drops it there when the widget accepts it. Returns whether the
// drag was accepted.
inline bool DropUrls(QWidget *target, const QList<QUrl> &urls, const QString &extraType = {})
{
    QMimeData mime;
    mime.setUrls(urls);
    if (!extraType.isEmpty())
        mime.setData(extraType, QByteArray("x"));
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton,
                          Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton,
                    Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

// A main window over a sandboxed home, with scripted answers.
class MainWindowFixture : public ::testing::Test
{
protected:
    MainWindowFixture() = default;
    ~MainWindowFixture() override { window.reset(); }

    void start()
    {
        SetApplicationIdentity();
        context = std::make_unique<AppContext>(
            AppContext{GetAppDataFolder(), GetTemplatesFolder(), prompts});
        context->batchJobs = jobs;
        WriteFirstRunFiles(*context);
        window = std::make_unique<CMainDlg>(*context);
        window->show();
    }
    // Closes the window (storing its state) and starts a new one.
    void restart()
    {
        window->close();
        window.reset();
        start();
    }

    // A click on a bar's button, handled as the window would handle it.
    void click(CButtonBar *bar, int command)
    {
        ASSERT_TRUE(bar->isButtonEnabled(command)) << command;
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->buttonRect(command).center());
        QCoreApplication::processEvents();
    }

    // Adds photos as the user would, through the "Add photo files" dialog.
    void addPhotos(const QStringList &paths)
    {
        prompts.files.push_back(paths);
        click(window->mainToolbar(), kCmdAddPhotos);
    }

    QString templatesFolder() const { return context->templatesFolder; }
    QString dataFolder() const { return context->dataFolder; }
    QString file(const QString &name) const { return sandbox.filePath(name); }

    TestSandbox sandbox;
    ScriptedPrompts prompts;
    int jobs = 0;
    std::unique_ptr<AppContext> context;
    std::unique_ptr<CMainDlg> window;
};

} // namespace kw::test
