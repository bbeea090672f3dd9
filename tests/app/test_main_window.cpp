#include "main_window_fixture.h"

#include "app/batch_progress.h"
#include "app/batch_run.h"
#include "app/source_list.h"
#include "app/template_list.h"
#include "app/window_commands.h"
#include "dialogs/about_page.h"
#include "dialogs/output_preview_dlg.h"
#include "dialogs/quick_start_dlg.h"
#include "dialogs/resize_setting_dlg.h"
#include "editor/template_edit_dlg.h"
#include "model/template_library.h"
#include "render/photo_collection.h"
#include "settings/template_selection.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDialog>
#include <QFile>
#include <QMenu>
#include <QSignalSpy>
#include <QTimer>

using kw::CQuickStartDlg;
using kw::CResizeSettingDlg;

using kw::CAboutDlg;
using kw::COutputPreviewDlg;
using kw::CTemplateEditDlg;

using namespace Qt::StringLiterals;

namespace {

using kw::CMainDlg;
using kw::test::DropUrls;
using kw::test::MainWindowFixture;
using kw::test::ReadFileBytes;
using kw::test::WritePhoto;

class MainWindowTest : public MainWindowFixture
{
protected:
    QStringList listedTemplates() const { return window->templateList()->names(); }

    // A click on the list row of `name` (or on the empty area below the rows).
    void clickTemplate(const QString &name)
    {
        kw::CTemplateList *list = window->templateList();
        QPoint at(20, list->viewport()->height() - 5);
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            if (list->topLevelItem(i)->text(0) == name)
                at = list->visualItemRect(list->topLevelItem(i)).center();
        }
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    }

    void templateMenu(int command)
    {
        click(window->templateBar(), kw::kCmdTemplateMenu);
        QMenu *menu = window->templateMenu();
        ASSERT_TRUE(menu->isVisible());
        for (QAction *action : menu->actions()) {
            if (action->data().toInt() == command)
                action->trigger();
        }
        menu->hide();
    }

    bool templateFileExists(const QString &name) const
    {
        return QFile::exists(kw::JoinPath(templatesFolder(), name + u".xml"_s));
    }

    bool toolbarEnabled(int command) const
    {
        return window->mainToolbar()->isButtonEnabled(command);
    }
};

TEST_F(MainWindowTest, FirstStartLaysOutTheWindowAndSelectsTheDemoTemplate)
{
    start();
    EXPECT_TRUE(QFile::exists(kw::JoinPath(templatesFolder(), u"qthumb.xml"_s)));
    EXPECT_TRUE(templateFileExists(u"Demo 1"_s));
    EXPECT_TRUE(templateFileExists(u"Demo 1_Layer 1"_s));
    EXPECT_TRUE(QFile::exists(kw::JoinPath(dataFolder(), u"preference.xml"_s)));
    EXPECT_EQ(listedTemplates(), QStringList{u"Demo 1"_s});
    EXPECT_EQ(window->GetSelectedTemplateName(), u"Demo 1"_s);
    EXPECT_EQ(window->windowTitle(), u"Kelvane Watermark"_s);

    // The window opens at its smallest size, where everything fits: nothing
    // is clipped by the client area or hidden under a neighbour.
    EXPECT_EQ(window->size(), window->minimumSize());
    const QRect toolbar = window->mainToolbar()->geometry();
    const QRect settings = window->settingsBar()->geometry();
    const QRect templates = window->templateList()->geometry();
    const QRect sources = window->sourceList()->geometry();
    const QRect bar = window->templateBar()->geometry();
    for (const QRect &part : {toolbar, settings, templates, sources, bar}) {
        EXPECT_FALSE(part.isEmpty());
        EXPECT_TRUE(window->rect().contains(part));
    }
    // The toolbar and the settings bar share the top row, toolbar left; the
    // template list and its bar stand left of the photo list, below them.
    EXPECT_LT(toolbar.right(), settings.left());
    EXPECT_LE(toolbar.bottom(), templates.top());
    EXPECT_LE(settings.bottom(), sources.top());
    EXPECT_LT(templates.right(), sources.left());
    EXPECT_LE(templates.bottom(), bar.top());
    EXPECT_LE(bar.right(), templates.right());
    EXPECT_FALSE(bar.intersects(sources));

    // Only "Add photo files" works while the list is empty.
    EXPECT_TRUE(toolbarEnabled(kw::kCmdAddPhotos));
    for (int command : {kw::kCmdRemovePhoto, kw::kCmdPreview, kw::kCmdProcess, kw::kCmdAbort})
        EXPECT_FALSE(toolbarEnabled(command)) << command;
    EXPECT_EQ(window->mainToolbar()->tooltipText(kw::kCmdAddPhotos), u"Add photo files (Ctrl+O)"_s);
    EXPECT_EQ(window->templateBar()->tooltipText(kw::kCmdAddTemplate),
              u"Add New Template (Ctrl+T)"_s);
}

TEST_F(MainWindowTest, AMissingIndexLeavesTheListEmptyAndSeedsNothing)
{
    start();
    window.reset();
    ASSERT_TRUE(QFile::remove(kw::JoinPath(templatesFolder(), u"qthumb.xml"_s)));
    start();
    EXPECT_TRUE(listedTemplates().isEmpty());
    EXPECT_FALSE(QFile::exists(kw::JoinPath(templatesFolder(), u"qthumb.xml"_s)));
    // Without the folder, the next start seeds the first-run template again.
    window.reset();
    ASSERT_TRUE(QDir(templatesFolder()).removeRecursively());
    start();
    EXPECT_EQ(listedTemplates(), QStringList{u"Demo 1"_s});
}

TEST_F(MainWindowTest, AnchorsFollowAResizeAndTheMinimumHolds)
{
    start();
    const QSize opened = window->size();
    const QRect toolbar = window->mainToolbar()->geometry();
    const QRect settings = window->settingsBar()->geometry();
    const QRect templates = window->templateList()->geometry();
    const QRect sources = window->sourceList()->geometry();
    const QRect bar = window->templateBar()->geometry();

    window->resize(window->size() + QSize(100, 100));
    EXPECT_EQ(window->mainToolbar()->geometry(), toolbar);
    EXPECT_EQ(window->settingsBar()->geometry(), settings.translated(100, 0));
    EXPECT_EQ(window->templateList()->geometry(), templates.adjusted(0, 0, 0, 100));
    EXPECT_EQ(window->sourceList()->geometry(), sources.adjusted(0, 0, 100, 100));
    EXPECT_EQ(window->templateBar()->geometry(), bar.translated(0, 100));

    // Smaller than it opened is refused: nothing would fit.
    window->resize(300, 200);
    EXPECT_EQ(window->size(), opened);
    EXPECT_EQ(window->sourceList()->geometry(), sources);
}

TEST_F(MainWindowTest, AddRenameAndRemoveTemplates)
{
    start();
    // An empty name keeps the prompt open; the second answer is taken.
    prompts.names = {u""_s, u"Logo"_s};
    click(window->templateBar(), kw::kCmdAddTemplate);
    ASSERT_EQ(prompts.nameRequests.size(), 1);
    EXPECT_EQ(prompts.nameRequests[0].caption, u"Add New Template"_s);
    EXPECT_EQ(prompts.nameRequests[0].label, u"Input Template Name:"_s);
    EXPECT_EQ(prompts.messageTexts(), QStringList{u"Please input a valid template name."_s});
    EXPECT_EQ(prompts.messages[0].icon, kw::MessageIcon::Warning);
    EXPECT_EQ(prompts.messages[0].caption, u"Kelvane Watermark"_s);
    EXPECT_EQ(listedTemplates(), (QStringList{u"Demo 1"_s, u"Logo"_s}));
    EXPECT_TRUE(templateFileExists(u"Logo"_s));
    EXPECT_TRUE(templateFileExists(u"Logo_Layer 1"_s));
    // Adding does not move the selection.
    EXPECT_EQ(window->GetSelectedTemplateName(), u"Demo 1"_s);

    // Rename: the template file follows, its layer keeps its name.
    clickTemplate(u"Logo"_s);
    prompts.names = {u"Brand"_s};
    templateMenu(kw::kCmdRenameTemplate);
    EXPECT_EQ(prompts.nameRequests.last().caption, u"Rename Template"_s);
    EXPECT_EQ(listedTemplates(), (QStringList{u"Demo 1"_s, u"Brand"_s}));
    EXPECT_FALSE(templateFileExists(u"Logo"_s));
    EXPECT_TRUE(templateFileExists(u"Brand"_s));
    EXPECT_TRUE(ReadFileBytes(kw::JoinPath(templatesFolder(), u"Brand.xml"_s))
                    .contains("<layer>Logo_Layer 1</layer>"));
    EXPECT_EQ(kw::LoadTemplateIndex(templatesFolder()).valueOr({}),
              (QStringList{u"Demo 1"_s, u"Brand"_s}));

    // Remove asks first; No keeps everything.
    prompts.messages.clear();
    prompts.answers = {kw::MessageAnswer::No};
    templateMenu(kw::kCmdRemoveTemplate);
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_EQ(prompts.messages[0].text, u"Are you sure to remove this template?"_s);
    EXPECT_EQ(prompts.messages[0].buttons, kw::MessageButtons::YesNoDefaultNo);
    EXPECT_EQ(listedTemplates().size(), 2);

    prompts.answers = {kw::MessageAnswer::Yes};
    templateMenu(kw::kCmdRemoveTemplate);
    EXPECT_EQ(listedTemplates(), QStringList{u"Demo 1"_s});
    EXPECT_FALSE(templateFileExists(u"Brand"_s));
    EXPECT_FALSE(templateFileExists(u"Logo_Layer 1"_s));
    EXPECT_EQ(window->GetSelectedTemplateName(), u"Demo 1"_s);
    EXPECT_EQ(window->templateList()->selectedIndex(), 0);

    // Removing the last template leaves an empty list; then there is nothing
    // to remove, rename or edit.
    prompts.answers = {kw::MessageAnswer::Yes};
    templateMenu(kw::kCmdRemoveTemplate);
    EXPECT_TRUE(listedTemplates().isEmpty());
    prompts.messages.clear();
    templateMenu(kw::kCmdRemoveTemplate);
    templateMenu(kw::kCmdRenameTemplate);
    QSignalSpy edits(window.get(), &CMainDlg::editTemplateRequested);
    templateMenu(kw::kCmdEditTemplate);
    EXPECT_EQ(prompts.messageTexts(),
              (QStringList{u"Please select a watermark template first to remove!"_s,
                           u"Please select a template to rename!"_s,
                           u"Please select a watermark template first."_s}));
    EXPECT_EQ(edits.count(), 0);
    window->close();
    EXPECT_EQ(kw::LoadSelectedTemplateIndex(dataFolder()).valueOr(-9), 0);
}

TEST_F(MainWindowTest, ARefusedNameIsToldAndWritesNothing)
{
    start();
    const QStringList before = QDir(templatesFolder()).entryList(QDir::Files);
    // A clash with an existing template, in another case: told, and the
    // prompt stays open until the user cancels.
    prompts.names = {u"demo 1"_s, std::nullopt};
    click(window->templateBar(), kw::kCmdAddTemplate);
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_EQ(prompts.messages[0].icon, kw::MessageIcon::Warning);
    EXPECT_FALSE(prompts.messages[0].text.isEmpty());
    EXPECT_EQ(listedTemplates(), QStringList{u"Demo 1"_s});
    EXPECT_EQ(QDir(templatesFolder()).entryList(QDir::Files), before);
}

// A name the template list's encoding cannot hold is refused with the reason,
// before any file is written.
TEST_F(MainWindowTest, ANameTheListCannotHoldIsToldAndWritesNothing)
{
    start();
    const QString index = kw::TemplateIndexPath(templatesFolder());
    const QByteArray latin1 = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n"
                              "<Templates>\r\n<template>Demo 1</template>\r\n</Templates>\r\n";
    ASSERT_TRUE(kw::test::WriteFileBytes(index, latin1));
    const QStringList before = QDir(templatesFolder()).entryList(QDir::Files);
    prompts.names = {u"\u4e2d\u6587"_s};
    click(window->templateBar(), kw::kCmdAddTemplate);
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_EQ(prompts.messages[0].icon, kw::MessageIcon::Warning);
    EXPECT_TRUE(prompts.messages[0].text.contains(u"U+4E2D"_s))
        << prompts.messages[0].text.toStdString();
    EXPECT_EQ(listedTemplates(), QStringList{u"Demo 1"_s});
    EXPECT_EQ(QDir(templatesFolder()).entryList(QDir::Files), before);
    EXPECT_EQ(ReadFileBytes(index), latin1);
}

TEST_F(MainWindowTest, SelectionSurvivesARestartAndEmptyClicksKeepIt)
{
    start();
    prompts.names = {u"Logo"_s, u"Brand"_s};
    click(window->templateBar(), kw::kCmdAddTemplate);
    click(window->templateBar(), kw::kCmdAddTemplate);
    clickTemplate(u"Brand"_s);
    EXPECT_EQ(window->GetSelectedTemplateName(), u"Brand"_s);
    clickTemplate(QString()); // the empty area below the rows
    EXPECT_EQ(window->GetSelectedTemplateName(), u"Brand"_s);
    // The keyboard moves the selected template as a click does.
    window->templateList()->setFocus();
    QTest::keyClick(window->templateList(), Qt::Key_Up);
    EXPECT_EQ(window->GetSelectedTemplateName(), u"Logo"_s);

    restart();
    EXPECT_EQ(listedTemplates(), (QStringList{u"Demo 1"_s, u"Logo"_s, u"Brand"_s}));
    EXPECT_EQ(window->GetSelectedTemplateName(), u"Logo"_s);
    EXPECT_TRUE(ReadFileBytes(kw::JoinPath(dataFolder(), u"config.ini"_s)).contains("template=1"));

    // An index beyond the list selects nothing.
    window.reset();
    ASSERT_TRUE(kw::SaveSelectedTemplateIndex(dataFolder(), 7));
    start();
    EXPECT_EQ(window->GetSelectedTemplateName(), QString());
}

TEST_F(MainWindowTest, DoubleClickAndEditOpenTheEditorForTheSelection)
{
    start();
    QSignalSpy edits(window.get(), &CMainDlg::editTemplateRequested);
    templateMenu(kw::kCmdEditTemplate);
    EXPECT_EQ(edits.count(), 1);
    kw::CTemplateList *list = window->templateList();
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {},
                       list->visualItemRect(list->topLevelItem(0)).center());
    EXPECT_EQ(edits.count(), 2);
    // A double-click below the rows opens nothing.
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {},
                       QPoint(20, list->viewport()->height() - 5));
    EXPECT_EQ(edits.count(), 2);
}

// Each command that opens a window opens its dialog modally over the main
// window; the preview starts on the selected photo.
TEST_F(MainWindowTest, CommandsOpenTheirDialogsModallyOverTheWindow)
{
    start();
    kw::UpdateCheckSetup offline;
    offline.reachability = [] { return kw::NetworkReachability::Offline; };
    kw::ConnectWindowCommands(*window, *context, offline);
    addPhotos({WritePhoto(file(u"p/one.jpg"_s)), WritePhoto(file(u"p/two.jpg"_s))});
    window->sourceList()->selectOnly(1);

    // Runs `command` and returns the class of the modal dialog it opened
    // (closed again at once), or empty text when none opened.
    const auto opened = [&](const std::function<void()> &command,
                            const std::function<void(QDialog *)> &inspect = {}) {
        QString name;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible())
                return;
            poll.stop();
            name = QString::fromLatin1(dialog->metaObject()->className());
            EXPECT_EQ(dialog->parentWidget(), window.get()) << name.toStdString();
            if (inspect)
                inspect(dialog);
            dialog->done(QDialog::Rejected);
        });
        poll.start(20);
        command();
        QCoreApplication::processEvents();
        return name;
    };

    EXPECT_EQ(opened([&] { templateMenu(kw::kCmdEditTemplate); }), u"kw::CTemplateEditDlg"_s);
    QString previewed;
    EXPECT_EQ(opened([&] { click(window->mainToolbar(), kw::kCmdPreview); },
                     [&](QDialog *d) {
                         if (auto *preview = qobject_cast<COutputPreviewDlg *>(d))
                             previewed = preview->currentPath();
                     }),
              u"kw::COutputPreviewDlg"_s);
    EXPECT_EQ(previewed, file(u"p/two.jpg"_s));

    EXPECT_EQ(opened([&] { click(window->settingsBar(), kw::kCmdImageResizing); }),
              u"kw::CResizeSettingDlg"_s);
    EXPECT_EQ(opened([&] { click(window->settingsBar(), kw::kCmdPreferences); }),
              u"kw::CPreferencesDlg"_s);
    EXPECT_EQ(opened([&] { emit window->quickStartRequested(); }), u"kw::CQuickStartDlg"_s);
    EXPECT_EQ(opened([&] { emit window->aboutRequested(); }), u"kw::CAboutDlg"_s);
}

TEST_F(MainWindowTest, TemplateMenuOpensBesideTheBarWithoutCoveringIt)
{
    start();
    click(window->templateBar(), kw::kCmdTemplateMenu);
    QMenu *menu = window->templateMenu();
    ASSERT_TRUE(menu->isVisible());
    const QRect bar(window->templateBar()->mapToGlobal(QPoint(0, 0)),
                    window->templateBar()->size());
    EXPECT_EQ(menu->geometry().left(), bar.left() + 36);
    EXPECT_FALSE(menu->geometry().intersects(bar));
    QStringList texts;
    for (QAction *action : menu->actions()) {
        if (!action->isSeparator())
            texts << action->text();
    }
    EXPECT_EQ(texts, (QStringList{u"Edit Selected Template"_s, u"Remove Selected Template"_s,
                                  u"Rename Selected Template"_s}));
    menu->hide();
}

TEST_F(MainWindowTest, PhotosAddedRemovedAndDroppedSetTheButtons)
{
    start();
    const QString a = WritePhoto(file(u"photos/a.jpg"_s));
    const QString b = WritePhoto(file(u"photos/b.png"_s));
    const QString c = WritePhoto(file(u"photos/c.jpg"_s));
    kw::CSourceList *list = window->sourceList();

    prompts.files = {{a, b}};
    click(window->mainToolbar(), kw::kCmdAddPhotos);
    ASSERT_EQ(prompts.fileRequests.size(), 1);
    EXPECT_EQ(prompts.fileRequests[0].filter, kw::PhotoOpenDialogFilter());
    EXPECT_TRUE(prompts.fileRequests[0].multiple);
    EXPECT_EQ(list->paths(), (QStringList{a, b}));
    EXPECT_EQ(list->statusTextAt(0), u"ready"_s);
    EXPECT_EQ(list->firstSelectedRow(), 0);
    for (int command : {kw::kCmdRemovePhoto, kw::kCmdPreview, kw::kCmdProcess})
        EXPECT_TRUE(toolbarEnabled(command)) << command;
    EXPECT_FALSE(toolbarEnabled(kw::kCmdAbort));

    // Three chosen, one already listed: two appended, the first selected.
    prompts.files = {{b, c, a}};
    click(window->mainToolbar(), kw::kCmdAddPhotos);
    EXPECT_EQ(list->paths(), (QStringList{a, b, c}));
    EXPECT_EQ(list->firstSelectedRow(), 2);
    // Cancelling adds nothing.
    click(window->mainToolbar(), kw::kCmdAddPhotos);
    EXPECT_EQ(list->rowCount(), 3);

    // Removing the last row selects the new last row.
    click(window->mainToolbar(), kw::kCmdRemovePhoto);
    EXPECT_EQ(list->paths(), (QStringList{a, b}));
    EXPECT_EQ(list->firstSelectedRow(), 1);
    // Several selected rows go at once.
    list->selectAll();
    click(window->mainToolbar(), kw::kCmdRemovePhoto);
    EXPECT_EQ(list->rowCount(), 0);
    for (int command : {kw::kCmdRemovePhoto, kw::kCmdPreview, kw::kCmdProcess})
        EXPECT_FALSE(toolbarEnabled(command)) << command;

    // A drop from the file manager adds and enables the commands.
    QSignalSpy dropped(list, &kw::CSourceList::filesDropped);
    ASSERT_TRUE(DropUrls(list->viewport(), {QUrl::fromLocalFile(a), QUrl::fromLocalFile(c)}));
    EXPECT_EQ(list->paths(), (QStringList{a, c}));
    EXPECT_EQ(dropped.count(), 1);
    EXPECT_TRUE(toolbarEnabled(kw::kCmdProcess));
    EXPECT_GE(list->columnWidth(kw::CSourceList::kStatusColumn), 55);
    // The same files again add nothing; the program's own drags are refused.
    ASSERT_TRUE(DropUrls(list->viewport(), {QUrl::fromLocalFile(a)}));
    EXPECT_FALSE(
        DropUrls(list->viewport(), {QUrl::fromLocalFile(b)}, kw::kPrivateDragMimeType.toString()));
    EXPECT_FALSE(DropUrls(list->viewport(), {QUrl(u"https://example.org/x.jpg"_s)}));
    EXPECT_EQ(list->rowCount(), 2);

    // Preview follows its button: from the toolbar and a double-click on a row.
    QSignalSpy previews(window.get(), &CMainDlg::previewRequested);
    click(window->mainToolbar(), kw::kCmdPreview);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {},
                       list->visualItemRect(list->topLevelItem(1)).center());
    EXPECT_EQ(previews.count(), 2);
}

TEST_F(MainWindowTest, ADroppedFolderLeavesTheOutputsOfTheCurrentNamingOut)
{
    start(); // default settings: beside the source, suffix "_new", JPEG
    const QString first = kw::test::WritePhoto(file(u"trip/IMG_1.jpg"_s));
    kw::test::WritePhoto(file(u"trip/IMG_1_new.jpg"_s));
    kw::test::WritePhoto(file(u"trip/IMG_1_new (2).jpg"_s));
    const QString png = kw::test::WritePhoto(file(u"trip/IMG_2_new.png"_s));
    kw::CSourceList *list = window->sourceList();
    ASSERT_TRUE(DropUrls(list->viewport(), {QUrl::fromLocalFile(file(u"trip"_s))}));
    EXPECT_EQ(list->paths(), (QStringList{first, png}));
    EXPECT_TRUE(window->batchProgress()->text().startsWith(u"2 earlier outputs left out"_s))
        << window->batchProgress()->text().toStdString();
}

TEST_F(MainWindowTest, SettingsBarAndShortcutsDispatchTheirCommands)
{
    start();
    QSignalSpy resizing(window.get(), &CMainDlg::resizeSettingsRequested);
    QSignalSpy preferences(window.get(), &CMainDlg::preferencesRequested);
    click(window->settingsBar(), kw::kCmdImageResizing);
    click(window->settingsBar(), kw::kCmdPreferences);
    EXPECT_EQ(resizing.count(), 1);
    EXPECT_EQ(preferences.count(), 1);
    EXPECT_EQ(window->settingsBar()->tooltipText(kw::kCmdPreferences), u"Preferences (Ctrl+,)"_s);

    // Ctrl+O is "Add photo files".
    window->activateWindow();
    QTest::keyClick(window.get(), Qt::Key_O, Qt::ControlModifier);
    QCoreApplication::processEvents();
    EXPECT_EQ(prompts.fileRequests.size(), 1);

    // Every button has its keys, named in its tooltip, and the keys and the
    // button are one action.
    const std::pair<kw::CButtonBar *, QList<int>> bars[] = {
        {window->mainToolbar(),
         {kw::kCmdAddPhotos, kw::kCmdRemovePhoto, kw::kCmdPreview, kw::kCmdProcess, kw::kCmdAbort}},
        {window->settingsBar(), {kw::kCmdImageResizing, kw::kCmdPreferences}},
        {window->templateBar(), {kw::kCmdAddTemplate, kw::kCmdTemplateMenu}}};
    QList<QKeySequence> seen;
    for (const auto &[bar, commands] : bars) {
        EXPECT_EQ(bar->commands(), commands);
        for (int command : commands) {
            QAction *action = window->action(command);
            ASSERT_TRUE(action) << command;
            EXPECT_EQ(bar->action(command), action) << command;
            EXPECT_FALSE(action->shortcut().isEmpty()) << command;
            EXPECT_FALSE(seen.contains(action->shortcut())) << command;
            seen << action->shortcut();
            EXPECT_TRUE(bar->tooltipText(command).endsWith(
                u" (%1)"_s.arg(action->shortcut().toString(QKeySequence::NativeText))))
                << bar->tooltipText(command).toStdString();
        }
    }
    QTest::keyClick(window.get(), Qt::Key_R, Qt::ControlModifier);
    QTest::keyClick(window.get(), Qt::Key_Comma, Qt::ControlModifier);
    QCoreApplication::processEvents();
    EXPECT_EQ(resizing.count(), 2);
    EXPECT_EQ(preferences.count(), 2);
}

// The bars take the keyboard: Tab reaches them, the arrows move between the
// enabled buttons, Space clicks.
TEST_F(MainWindowTest, ButtonBarsWorkFromTheKeyboard)
{
    start();
    QSignalSpy preferences(window.get(), &CMainDlg::preferencesRequested);
    kw::CButtonBar *settings = window->settingsBar();
    EXPECT_EQ(settings->focusPolicy(), Qt::TabFocus);
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    settings->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(settings->hasFocus());
    EXPECT_EQ(settings->focusCommand(), kw::kCmdImageResizing);
    QTest::keyClick(settings, Qt::Key_Right);
    EXPECT_EQ(settings->focusCommand(), kw::kCmdPreferences);
    QTest::keyClick(settings, Qt::Key_Space);
    QCoreApplication::processEvents();
    EXPECT_EQ(preferences.count(), 1);

    // Disabled buttons are passed over: with an empty list only Add is
    // reachable on the main toolbar.
    kw::CButtonBar *toolbar = window->mainToolbar();
    toolbar->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(toolbar->focusCommand(), kw::kCmdAddPhotos);
    QTest::keyClick(toolbar, Qt::Key_Right);
    EXPECT_EQ(toolbar->focusCommand(), kw::kCmdAddPhotos);
    QTest::keyClick(toolbar, Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_EQ(prompts.fileRequests.size(), 1);
}

// Right-clicks offer the commands of the list they hit, as the same actions
// the bars use: what a run disables is disabled in the menus too.
TEST_F(MainWindowTest, ContextMenusOfTheListsShareTheCommands)
{
    start();
    const QStringList photos = {kw::test::WritePhoto(file(u"in/a.jpg"_s)),
                                kw::test::WritePhoto(file(u"in/b.jpg"_s))};
    addPhotos(photos);
    kw::CSourceList *list = window->sourceList();
    const QPoint onB = list->visualItemRect(list->topLevelItem(1)).center();
    QContextMenuEvent rightClick(QContextMenuEvent::Mouse, onB, list->viewport()->mapToGlobal(onB));
    QCoreApplication::sendEvent(list->viewport(), &rightClick);
    QMenu *menu = window->sourceMenu();
    ASSERT_TRUE(menu->isVisible());
    menu->hide();
    // The row under the pointer became the selection.
    EXPECT_EQ(list->firstSelectedRow(), 1);
    QList<QAction *> entries;
    for (QAction *action : menu->actions()) {
        if (!action->isSeparator() && !action->isCheckable())
            entries << action;
    }
    // And the switch for the thumbnails.
    QAction *thumbnails = menu->findChild<QAction *>(u"showThumbnailsAction"_s);
    ASSERT_TRUE(thumbnails && menu->actions().contains(thumbnails));
    EXPECT_TRUE(thumbnails->isChecked());
    thumbnails->trigger();
    EXPECT_FALSE(list->thumbnailsShown());
    EXPECT_EQ(entries, (QList<QAction *>{
                           window->action(kw::kCmdPreview), window->action(kw::kCmdRemovePhoto),
                           window->action(kw::kCmdOpenFolder), window->action(kw::kCmdAddPhotos)}));
    window->action(kw::kCmdOpenFolder)->trigger();
    EXPECT_EQ(prompts.shownFiles, QStringList{photos[1]});
    window->action(kw::kCmdRemovePhoto)->trigger();
    EXPECT_EQ(list->paths(), QStringList{photos[0]});

    // The template list's menu: the template menu's commands and Add.
    kw::CTemplateList *templates = window->templateList();
    QContextMenuEvent onTemplates(QContextMenuEvent::Mouse, QPoint(10, 10),
                                  templates->viewport()->mapToGlobal(QPoint(10, 10)));
    QCoreApplication::sendEvent(templates->viewport(), &onTemplates);
    QMenu *templateMenu = window->templateContextMenu();
    ASSERT_TRUE(templateMenu->isVisible());
    templateMenu->hide();
    const kw::CTemplateList::Commands &commands = templates->commands();
    for (QAction *action : {commands.edit, commands.remove, commands.rename, commands.add})
        EXPECT_TRUE(templateMenu->actions().contains(action));

    // While a run goes on, Preview and Remove are off in the menu as on the bar.
    kw::test::WritePhoto(file(u"in/big.jpg"_s), QSize(3000, 2000));
    addPhotos({file(u"in/big.jpg"_s)});
    click(window->mainToolbar(), kw::kCmdProcess);
    if (window->batch()->isRunning()) {
        EXPECT_FALSE(window->action(kw::kCmdPreview)->isEnabled());
        EXPECT_FALSE(window->mainToolbar()->isButtonEnabled(kw::kCmdPreview));
        EXPECT_FALSE(commands.remove->isEnabled());
    }
    ASSERT_TRUE(kw::test::WaitFor([&] { return !window->batch()->isRunning(); }));
    EXPECT_TRUE(window->action(kw::kCmdPreview)->isEnabled());
}

TEST_F(MainWindowTest, TooltipsComeFromTheLanguageFile)
{
    const QString lang = file(u"home/.local/share/kelvane-watermark/Lang"_s);
    QDir().mkpath(lang);
    kw::test::WriteFileBytes(lang + u"/lang_en.ini"_s,
                             "[STRING]\r\n103=Add\\nphotos\r\n108=New template\r\n");
    start();
    EXPECT_EQ(window->mainToolbar()->tooltipText(kw::kCmdAddPhotos), u"Add\nphotos (Ctrl+O)"_s);
    EXPECT_EQ(window->mainToolbar()->tooltipText(kw::kCmdAbort), u"Abort processing (Esc)"_s);
    EXPECT_EQ(window->templateBar()->tooltipText(kw::kCmdAddTemplate), u"New template (Ctrl+T)"_s);
}

} // namespace

namespace {

using kw::test::MainWindowFixture;

class AddDialogFolderTest : public MainWindowFixture
{
};

// The Add dialog opens in a folder that exists (a missing one would be
// taken for a file name), and after a restart in the folder last used.
TEST_F(AddDialogFolderTest, OpensWhereThePhotosWereLastTakenFrom)
{
    start();
    prompts.files = {{}};
    click(window->mainToolbar(), kw::kCmdAddPhotos);
    ASSERT_EQ(prompts.fileRequests.size(), 1);
    const QString first = prompts.fileRequests[0].folder;
    EXPECT_TRUE(first.endsWith(u'/')) << first.toStdString();
    EXPECT_TRUE(QFileInfo(first).isDir()) << first.toStdString();

    const QString trip = kw::test::WritePhoto(file(u"photos/2024 Trip/a.jpg"_s));
    addPhotos({trip});
    restart();
    prompts.fileRequests.clear();
    click(window->mainToolbar(), kw::kCmdAddPhotos);
    ASSERT_EQ(prompts.fileRequests.size(), 1);
    EXPECT_EQ(prompts.fileRequests[0].folder, file(u"photos/2024 Trip/"_s));

    // A folder that has gone falls back to one that exists.
    ASSERT_TRUE(QDir(file(u"photos"_s)).removeRecursively());
    restart();
    prompts.fileRequests.clear();
    click(window->mainToolbar(), kw::kCmdAddPhotos);
    ASSERT_EQ(prompts.fileRequests.size(), 1);
    EXPECT_TRUE(QFileInfo(prompts.fileRequests[0].folder).isDir());
}

// Qt appends an application display name that was set to every window title
// under X11; the program's name is only its application name, so the titles
// stay as set ("Preferences", "Kelvane Watermark — 6 of 29").
TEST_F(AddDialogFolderTest, TheDisplayNameIsNotSetApart)
{
    start();
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), u"Kelvane Watermark"_s);
    // A display name that was never set follows the application name.
    QCoreApplication::setApplicationName(u"Renamed"_s);
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), u"Renamed"_s);
    kw::SetApplicationIdentity();
    EXPECT_EQ(window->windowTitle(), u"Kelvane Watermark"_s);
}

} // namespace
