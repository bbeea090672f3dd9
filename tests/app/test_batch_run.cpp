#include "main_window_fixture.h"

#include "app/batch_progress.h"
#include "app/batch_run.h"
#include "app/source_list.h"
#include "app/template_list.h"
#include "model/layer_file.h"
#include "settings/preferences.h"

#include <QAction>
#include <QDirIterator>
#include <QFile>
#include <QMenu>
#include <QSignalSpy>

#include <algorithm>

using kw::CWatermarkConf;

using namespace Qt::StringLiterals;

namespace {

using kw::CSourceList;
using kw::test::MainWindowFixture;
using kw::test::WaitFor;
using kw::test::WritePhoto;

// With the default preferences every output goes beside its photo as
// <name>_new.jpg.
QString OutputOf(const QString &photo)
{
    const QFileInfo info(photo);
    return info.absolutePath() + u'/' + info.completeBaseName() + u"_new.jpg"_s;
}

class BatchRunTest : public MainWindowFixture
{
protected:
    // `count` good photos in a folder of the sandbox, listed in the window.
    QStringList listPhotos(int count, QSize size = QSize(64, 48))
    {
        QStringList paths;
        for (int i = 0; i < count; ++i)
            paths << WritePhoto(file(u"in/photo%1.jpg"_s.arg(i, 2, 10, QChar(u'0'))), size);
        addPhotos(paths);
        return paths;
    }

    void process() { click(window->mainToolbar(), kw::kCmdProcess); }

    bool idle() const { return !window->batch()->isRunning(); }

    bool enabled(int command) const { return window->mainToolbar()->isButtonEnabled(command); }

    QStringList statuses() const
    {
        QStringList list;
        for (int row = 0; row < window->sourceList()->rowCount(); ++row)
            list << window->sourceList()->statusTextAt(row);
        return list;
    }

    // Files left behind by an interrupted write.
    QStringList leftovers() const
    {
        QStringList found;
        QDirIterator it(file(u"in"_s), QDir::Files | QDir::Hidden);
        while (it.hasNext()) {
            const QString path = it.next();
            if (!path.endsWith(u".jpg"_s))
                found << path;
        }
        return found;
    }
};

TEST_F(BatchRunTest, GoodAndBrokenPhotosAreMarkedAndTheButtonsComeBack)
{
    start();
    const QStringList good = listPhotos(3);
    const QString text = file(u"in/text.jpg"_s);
    kw::test::WriteFileBytes(text, "this is not a photo");
    const QString empty = file(u"in/empty.png"_s);
    kw::test::WriteFileBytes(empty, "");
    addPhotos({text, empty});
    window->sourceList()->selectOnly(0);

    process();
    // Running: only Add and Abort work.
    EXPECT_TRUE(enabled(kw::kCmdAddPhotos));
    EXPECT_TRUE(enabled(kw::kCmdAbort) || idle());
    for (int command : {kw::kCmdRemovePhoto, kw::kCmdPreview, kw::kCmdProcess})
        EXPECT_FALSE(enabled(command)) << command;

    ASSERT_TRUE(WaitFor([&] { return idle(); }));
    EXPECT_EQ(statuses(), (QStringList{u"OK"_s, u"OK"_s, u"OK"_s, u"Failed"_s, u"Failed"_s}));
    for (const QString &photo : good)
        EXPECT_TRUE(QFile::exists(OutputOf(photo))) << photo.toStdString();
    EXPECT_FALSE(QFile::exists(OutputOf(text)));
    // The reason of each failure is in its row's tooltip.
    for (int row : {3, 4}) {
        const QString reason =
            window->sourceList()->topLevelItem(row)->toolTip(CSourceList::kStatusColumn);
        EXPECT_FALSE(reason.isEmpty()) << row;
    }
    // The file manager shows the last file written.
    EXPECT_EQ(prompts.shownFiles, QStringList{OutputOf(good.last())});
    for (int command : {kw::kCmdRemovePhoto, kw::kCmdPreview, kw::kCmdProcess})
        EXPECT_TRUE(enabled(command)) << command;
    EXPECT_FALSE(enabled(kw::kCmdAbort));
    EXPECT_EQ(window->windowTitle(), u"Kelvane Watermark"_s);
    EXPECT_EQ(window->batchProgress()->text(), u"Finished: 3 written, 2 failed"_s);
    EXPECT_TRUE(prompts.messages.isEmpty());
    // The selection followed the run: one row selected.
    EXPECT_EQ(window->sourceList()->selectedItems().size(), 1);

    // A second run processes every row again; the file manager opens again.
    process();
    ASSERT_TRUE(WaitFor([&] { return idle(); }));
    EXPECT_EQ(prompts.shownFiles.size(), 2);
}

TEST_F(BatchRunTest, NothingWrittenOpensNoFileManager)
{
    start();
    const QString text = file(u"in/text.jpg"_s);
    kw::test::WriteFileBytes(text, "not a photo");
    addPhotos({text});
    process();
    ASSERT_TRUE(WaitFor([&] { return idle(); }));
    EXPECT_EQ(statuses(), QStringList{u"Failed"_s});
    EXPECT_TRUE(prompts.shownFiles.isEmpty());
}

TEST_F(BatchRunTest, NoTemplateSelectedOnlyTellsSo)
{
    start();
    listPhotos(2);
    window->templateList()->clearSelection();
    process();
    EXPECT_EQ(prompts.messageTexts(), QStringList{u"Please select a watermark template first."_s});
    EXPECT_EQ(prompts.messages[0].icon, kw::MessageIcon::Information);
    EXPECT_TRUE(idle());
    EXPECT_EQ(statuses(), (QStringList{u"ready"_s, u"ready"_s}));
    EXPECT_TRUE(enabled(kw::kCmdProcess));
}

TEST_F(BatchRunTest, AbortFinishesThePhotosInProgressAndLeavesTheRest)
{
    jobs = 1;
    start();
    const QStringList photos = listPhotos(8, QSize(1600, 1200));
    bool aborted = false;
    QObject::connect(window->batch(), &kw::CBatchProcessor::rowFinished, window.get(), [&](int) {
        if (!aborted) {
            aborted = true;
            click(window->mainToolbar(), kw::kCmdAbort);
            // Abort is taken once; the run is told it is stopping.
            EXPECT_FALSE(enabled(kw::kCmdAbort));
        }
    });
    process();
    ASSERT_TRUE(WaitFor([&] { return idle(); }));
    ASSERT_TRUE(aborted);
    const QStringList after = statuses();
    // The photo in progress when Abort came is finished; the others wait.
    EXPECT_EQ(after[0], u"OK"_s);
    EXPECT_GE(after.count(u"ready"_s), 6);
    EXPECT_EQ(after.count(u"OK"_s) + after.count(u"ready"_s), 8);
    int lastDone = 0;
    for (int row = 0; row < 8; ++row) {
        if (after[row] == u"OK"_s)
            lastDone = row;
    }
    EXPECT_EQ(prompts.shownFiles, QStringList{OutputOf(photos[lastDone])});
    EXPECT_TRUE(window->batchProgress()->text().startsWith(u"Stopped"_s));
    EXPECT_TRUE(enabled(kw::kCmdProcess));
    EXPECT_FALSE(enabled(kw::kCmdAbort));

    // The stop does not carry over: the next run processes every row.
    process();
    ASSERT_TRUE(WaitFor([&] { return idle(); }));
    EXPECT_EQ(statuses().count(u"OK"_s), 8);
}

TEST_F(BatchRunTest, PhotosAddedDuringARunWaitForTheNext)
{
    jobs = 1;
    start();
    listPhotos(4, QSize(1200, 900));
    const QString late = WritePhoto(file(u"in/late.jpg"_s));
    QSignalSpy progress(window->batch(), &kw::CBatchProcessor::progressChanged);
    process();
    ASSERT_TRUE(window->batch()->isRunning());
    prompts.files = {{late}};
    click(window->mainToolbar(), kw::kCmdAddPhotos);
    // Adding does not re-enable Process or Remove during the run.
    EXPECT_FALSE(enabled(kw::kCmdProcess));
    EXPECT_FALSE(enabled(kw::kCmdRemovePhoto));
    ASSERT_TRUE(WaitFor([&] { return idle(); }));
    EXPECT_EQ(statuses(), (QStringList{u"OK"_s, u"OK"_s, u"OK"_s, u"OK"_s, u"ready"_s}));
    EXPECT_FALSE(QFile::exists(OutputOf(late)));
    // Progress counted the run's four photos.
    ASSERT_FALSE(progress.isEmpty());
    EXPECT_EQ(progress.last().at(0).toInt(), 4);
    EXPECT_EQ(progress.last().at(1).toInt(), 4);
}

TEST_F(BatchRunTest, ProgressShowsOnTheBannerAndInTheTitle)
{
    jobs = 1;
    start();
    listPhotos(3, QSize(1200, 900));
    QStringList titles;
    QStringList texts;
    QObject::connect(window->batch(), &kw::CBatchProcessor::progressChanged, window.get(), [&] {
        titles << window->windowTitle();
        texts << window->batchProgress()->text();
    });
    process();
    EXPECT_TRUE(window->batchProgress()->barVisible());
    ASSERT_TRUE(WaitFor([&] { return idle(); }));
    EXPECT_TRUE(titles.contains(u"Kelvane Watermark — 2 of 3"_s))
        << titles.join(u'|').toStdString();
    EXPECT_TRUE(texts.contains(u"Processing 2 of 3"_s)) << texts.join(u'|').toStdString();
    EXPECT_FALSE(window->batchProgress()->barVisible());
    EXPECT_EQ(window->batchProgress()->text(), u"Finished: 3 photos written"_s);
}

TEST_F(BatchRunTest, ClosingDuringARunStopsItAndWaits)
{
    jobs = 1;
    start();
    listPhotos(12, QSize(1600, 1200));
    process();
    ASSERT_TRUE(window->batch()->isRunning());
    window->close();
    EXPECT_FALSE(window->batch()->isRunning());
    window.reset();
    // Whatever was written is whole; nothing half-written is left and the
    // file manager is not opened for a run the user closed.
    EXPECT_TRUE(leftovers().isEmpty()) << leftovers().join(u' ').toStdString();
    EXPECT_TRUE(prompts.shownFiles.isEmpty());
    EXPECT_TRUE(QFile::exists(kw::JoinPath(dataFolder(), u"config.ini"_s)));
    for (const QString &out : QDir(file(u"in"_s)).entryList({u"*_new.jpg"_s}))
        EXPECT_FALSE(QImage(file(u"in/"_s + out)).isNull()) << out.toStdString();
}

// A run draws the template it read at its start; while it goes on, every
// command that would change or remove a template is disabled, in the menu,
// the bar, the shortcuts and on a double-click.
TEST_F(BatchRunTest, TemplateCommandsAreDisabledWhileARunGoesOn)
{
    jobs = 1;
    start();
    listPhotos(8, QSize(1600, 1200));
    const kw::CTemplateList::Commands &commands = window->templateList()->commands();
    const QList<QAction *> all = {commands.add, commands.edit, commands.rename, commands.remove};
    for (QAction *action : window->templateMenu()->actions()) {
        if (!action->isSeparator()) {
            EXPECT_TRUE(all.contains(action)) << action->text().toStdString();
        }
    }
    QSignalSpy edits(window.get(), &kw::CMainDlg::editTemplateRequested);
    process();
    ASSERT_TRUE(window->batch()->isRunning());
    for (QAction *action : all)
        EXPECT_FALSE(action->isEnabled()) << action->text().toStdString();
    EXPECT_FALSE(window->templateBar()->isButtonEnabled(kw::kCmdAddTemplate));
    for (QAction *action : all)
        action->trigger();
    window->onTemplateMenuCommand(kw::kCmdRenameTemplate);
    window->onTemplateBarCommand(kw::kCmdAddTemplate);
    kw::CTemplateList *list = window->templateList();
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {},
                       list->visualItemRect(list->topLevelItem(0)).center());
    EXPECT_TRUE(prompts.nameRequests.isEmpty());
    EXPECT_TRUE(prompts.messages.isEmpty());
    EXPECT_TRUE(edits.isEmpty());
    EXPECT_EQ(list->names(), QStringList{u"Demo 1"_s});

    ASSERT_TRUE(WaitFor([&] { return idle(); }));
    for (QAction *action : all)
        EXPECT_TRUE(action->isEnabled()) << action->text().toStdString();
    EXPECT_TRUE(window->templateBar()->isButtonEnabled(kw::kCmdAddTemplate));
    commands.edit->trigger();
    EXPECT_EQ(edits.size(), 1);
}

TEST_F(BatchRunTest, SkippedAndFailedRowsAndTheirSummary)
{
    start();
    const QStringList photos = listPhotos(3);
    process();
    ASSERT_TRUE(WaitFor([&] { return idle(); }));

    // A second run into the same folder, told to skip what exists.
    ASSERT_TRUE(kw::SaveCollisionPolicy(dataFolder(), kw::OutputCollisionPolicy::Skip));
    QFile::remove(OutputOf(photos[1]));
    prompts.shownFiles.clear();
    process();
    ASSERT_TRUE(WaitFor([&] { return idle(); }));
    EXPECT_EQ(statuses(), (QStringList{u"Skipped"_s, u"OK"_s, u"Skipped"_s}));
    EXPECT_TRUE(window->sourceList()
                    ->topLevelItem(0)
                    ->toolTip(CSourceList::kStatusColumn)
                    .contains(u"exists"_s));
    EXPECT_EQ(window->batchProgress()->text(), u"Finished: 1 written, 2 skipped"_s);
    EXPECT_EQ(prompts.shownFiles, QStringList{OutputOf(photos[1])});

    // A logo that went missing fails every photo, naming it; nothing is written.
    ASSERT_TRUE(kw::SaveCollisionPolicy(dataFolder(), kw::OutputCollisionPolicy::Overwrite));
    CWatermarkConf layer;
    ASSERT_TRUE(kw::LoadLayerConf(templatesFolder(), u"Demo 1_Layer 1"_s, layer));
    layer.ImagePathName = file(u"moved/logo.png"_s);
    ASSERT_TRUE(kw::SaveLayerConf(templatesFolder(), u"Demo 1_Layer 1"_s, layer));
    for (const QString &photo : photos)
        QFile::remove(OutputOf(photo));
    process();
    ASSERT_TRUE(WaitFor([&] { return idle(); }));
    EXPECT_EQ(statuses(), (QStringList{u"Failed"_s, u"Failed"_s, u"Failed"_s}));
    EXPECT_TRUE(window->sourceList()
                    ->topLevelItem(2)
                    ->toolTip(CSourceList::kStatusColumn)
                    .contains(u"the logo "_s + file(u"moved/logo.png"_s)));
    for (const QString &photo : photos)
        EXPECT_FALSE(QFile::exists(OutputOf(photo)));
    EXPECT_EQ(window->batchProgress()->text(), u"Finished: 0 written, 3 failed"_s);
}

// Waiting for a run (as closing does) leaves the processor ready to report
// the next run's rows.
TEST_F(BatchRunTest, ARunAfterAWaitedStopIsReported)
{
    jobs = 1;
    start();
    listPhotos(4, QSize(1200, 900));
    process();
    window->batch()->stopAndWait();
    EXPECT_TRUE(idle());
    EXPECT_TRUE(enabled(kw::kCmdProcess));
    process();
    ASSERT_TRUE(WaitFor([&] { return idle(); }));
    EXPECT_EQ(statuses(), (QStringList{u"OK"_s, u"OK"_s, u"OK"_s, u"OK"_s}));
    EXPECT_EQ(window->batchProgress()->text(), u"Finished: 4 photos written"_s);
}

} // namespace

// A new run starts from "ready" on every row, and the selection walks down
// the list however the workers finish.
TEST_F(BatchRunTest, ANewRunResetsTheRowsAndTheSelectionFollowsTheList)
{
    jobs = 2;
    start();
    // A large photo first: the small ones after it finish before it does.
    QStringList photos{WritePhoto(file(u"in/big.jpg"_s), QSize(3000, 2000))};
    for (int i = 0; i < 5; ++i)
        photos << WritePhoto(file(u"in/small%1.jpg"_s.arg(i)));
    addPhotos(photos);
    process();
    ASSERT_TRUE(WaitFor([&] { return idle(); }));
    ASSERT_EQ(statuses().count(u"OK"_s), 6);

    QStringList atStart;
    QList<int> selected;
    bool selectionAheadOfTheList = false;
    QObject::connect(window->batch(), &kw::CBatchProcessor::runningChanged, window.get(),
                     [&](bool running) {
                         if (running)
                             atStart = statuses();
                     });
    QObject::connect(window->batch(), &kw::CBatchProcessor::rowFinished, window.get(), [&](int) {
        const int row = window->sourceList()->firstSelectedRow();
        selected << row;
        const QStringList now = statuses();
        for (int r = 0; r <= row; ++r)
            selectionAheadOfTheList |= now[r] == u"ready"_s;
    });
    process();
    ASSERT_TRUE(WaitFor([&] { return idle(); }));
    EXPECT_EQ(atStart, QStringList(6, u"ready"_s));
    EXPECT_FALSE(selectionAheadOfTheList);
    EXPECT_TRUE(std::is_sorted(selected.begin(), selected.end())) << selected.size();
    EXPECT_EQ(window->sourceList()->firstSelectedRow(), 5);
    EXPECT_EQ(window->sourceList()->selectedItems().size(), 1);
}

// Every photo failing for one reason is told once, with the cure.
TEST_F(BatchRunTest, AReasonSharedBySeveralFailuresIsToldOnce)
{
    start();
    listPhotos(3);
    kw::PreferenceTexts keepName;
    keepName.set(kw::PreferenceElement::OutputFileNameOpts, int(kw::OutputNameOption::KeepName));
    ASSERT_TRUE(kw::UpdatePreferences(dataFolder(), keepName));
    process();
    ASSERT_TRUE(WaitFor([&] { return idle(); }));
    EXPECT_EQ(statuses(), QStringList(3, u"Failed"_s));
    EXPECT_EQ(prompts.messageTexts(),
              QStringList{u"3 photos failed: the output would replace the source photo — change "
                          u"the output name or folder in Preferences"_s});

    // Reasons given once are left to the rows' tooltips.
    EXPECT_EQ(kw::CBatchProcessor::SharedFailureText({u"a"_s, u"b"_s, u"a"_s, u"c"_s, u"b"_s}),
              u"2 photos failed: a\n2 photos failed: b"_s);
    EXPECT_EQ(kw::CBatchProcessor::SharedFailureText({u"a"_s, u"b"_s}), QString());
}
