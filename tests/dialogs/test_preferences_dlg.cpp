#include "dialogs/preferences_dlg.h"

#include "controls/hyperlink_label.h"
#include "dialogs/about_page.h"
#include "support/scripted_prompts.h"
#include "support/test_sandbox.h"
#include "update/loopback_http_server.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

using kw::CAboutPage;
using kw::CUpdatePage;

using namespace Qt::StringLiterals;
using kw::test::LoopbackHttpServer;
using kw::test::ReadFileBytes;
using kw::test::WriteFileBytes;

namespace {

QByteArray PreferencesFile(const QByteArray &children)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Preferences>\r\n" + children +
           "</Preferences>\r\n";
}

const QByteArray kDefaults = PreferencesFile("<OutputFolderOpts>0</OutputFolderOpts>\r\n"
                                             "<OutputFolderPath>/home/u/Out</OutputFolderPath>\r\n"
                                             "<OutputFileNameOpts>1</OutputFileNameOpts>\r\n"
                                             "<OutputFileNameSuffix>_new</OutputFileNameSuffix>\r\n"
                                             "<OutputFormat>0</OutputFormat>\r\n"
                                             "<JpegQuality>100</JpegQuality>\r\n"
                                             "<OpenQuickStartDlg>1</OpenQuickStartDlg>\r\n");

template <typename T>
T *Find(QWidget &parent, const QString &name)
{
    T *child = parent.findChild<T *>(name);
    EXPECT_TRUE(child) << name.toStdString();
    return child;
}

struct Fixture
{
    kw::test::TestSandbox sandbox;
    kw::ScriptedPrompts prompts;
    QString file() const { return sandbox.filePath(u"preference.xml"_s); }
    std::unique_ptr<kw::CPreferencesDlg> open()
    {
        return std::make_unique<kw::CPreferencesDlg>(sandbox.path(), prompts);
    }
};

// The General page in one line: the checked choices ("-" for none), whether
// Browse and the suffix field are on, the two texts and the format.
QString Describe(QWidget &dialog)
{
    const auto checked = [&](const char *a, const char *b) {
        if (Find<QRadioButton>(dialog, QString::fromLatin1(a))->isChecked())
            return QString::fromLatin1(a).remove(u"Radio"_s);
        if (Find<QRadioButton>(dialog, QString::fromLatin1(b))->isChecked())
            return QString::fromLatin1(b).remove(u"Radio"_s);
        return u"-"_s;
    };
    const auto on = [&](const QString &name) {
        return Find<QWidget>(dialog, name)->isEnabled() ? u"on"_s : u"off"_s;
    };
    return u"%1 browse:%2 [%3] | %4 suffix:%5 [%6] | %7"_s.arg(
        checked("originalFolderRadio", "anotherFolderRadio"), on(u"browseButton"_s),
        Find<QLineEdit>(dialog, u"outputFolderEdit"_s)->text(),
        checked("keepNameRadio", "renameRadio"), on(u"suffixEdit"_s),
        Find<QLineEdit>(dialog, u"suffixEdit"_s)->text(),
        Find<QComboBox>(dialog, u"formatCombo"_s)->currentText());
}

void Click(QWidget &dialog, const QString &name)
{
    QTest::mouseClick(Find<QWidget>(dialog, name), Qt::LeftButton);
}

TEST(PreferencesDialog, OpensOnGeneralAndRewritesTheSameValues)
{
    Fixture f;
    ASSERT_TRUE(WriteFileBytes(f.file(), kDefaults));
    auto dialog = f.open();
    QTabWidget *tabs = Find<QTabWidget>(*dialog, u"preferencesTabs"_s);
    ASSERT_EQ(tabs->count(), 3);
    EXPECT_EQ(tabs->tabText(2), u"About and Support"_s);
    EXPECT_EQ(tabs->currentIndex(), 0);
    EXPECT_EQ(Describe(*dialog),
              u"originalFolder browse:off [/home/u/Out] | rename suffix:on [_new] | JPG"_s);
    EXPECT_TRUE(Find<QLineEdit>(*dialog, u"outputFolderEdit"_s)->isReadOnly());

    // The dialog takes the size of the page shown.
    dialog->show();
    const QSize general = dialog->size();
    tabs->setCurrentIndex(1);
    EXPECT_NE(dialog->size(), general);
    tabs->setCurrentIndex(0);
    EXPECT_EQ(dialog->size(), general);

    dialog->reject(); // Escape or the close box
    EXPECT_EQ(ReadFileBytes(f.file()), kDefaults);
    EXPECT_TRUE(f.prompts.messages.isEmpty());
}

TEST(PreferencesDialog, RadioRulesBrowseAndWriteBack)
{
    Fixture f;
    ASSERT_TRUE(WriteFileBytes(f.file(), kDefaults));
    auto dialog = f.open();
    Click(*dialog, u"anotherFolderRadio"_s);
    f.prompts.folders.push_back(u"/data/results"_s);
    Click(*dialog, u"browseButton"_s);
    Click(*dialog, u"browseButton"_s); // cancelled: the field keeps its text
    EXPECT_EQ(f.prompts.folderCaptions.value(0), u"Select a folder"_s);
    Click(*dialog, u"keepNameRadio"_s);
    EXPECT_EQ(Describe(*dialog),
              u"anotherFolder browse:on [/data/results] | keepName suffix:off [_new] | JPG"_s);
    // Back to the original folder: Browse off, the chosen folder kept.
    Click(*dialog, u"originalFolderRadio"_s);
    Click(*dialog, u"renameRadio"_s);
    Find<QLineEdit>(*dialog, u"suffixEdit"_s)->clear();
    Find<QComboBox>(*dialog, u"formatCombo"_s)->setCurrentIndex(3);
    EXPECT_EQ(Describe(*dialog),
              u"originalFolder browse:off [/data/results] | rename suffix:on [] | TIFF"_s);
    dialog->reject();

    const kw::Result<kw::PreferenceTexts> read = kw::ReadPreferenceTexts(
        f.sandbox.path(),
        {kw::PreferenceElement::OutputFolderOpts, kw::PreferenceElement::OutputFolderPath,
         kw::PreferenceElement::OutputFileNameOpts, kw::PreferenceElement::OutputFileNameSuffix,
         kw::PreferenceElement::OutputFormat, kw::PreferenceElement::JpegQuality,
         kw::PreferenceElement::OpenQuickStartDlg});
    ASSERT_TRUE(read);
    const kw::PreferenceTexts &stored = *read;
    const QStringList expected = {u"0"_s, u"/data/results"_s, u"1"_s, QString(),
                                  u"3"_s, u"100"_s,           u"1"_s};
    for (int i = 0; i < expected.size(); ++i)
        EXPECT_EQ(stored.text(kw::PreferenceElement(i)), expected[i]) << i;
}

// The collision choice is stored only once the user changes it, and goes
// again when set back to overwrite.
TEST(PreferencesDialog, CollisionChoiceIsWrittenOnlyWhenChanged)
{
    Fixture f;
    ASSERT_TRUE(WriteFileBytes(f.file(), kDefaults));
    const auto choose = [&](int index) {
        auto dialog = f.open();
        auto *combo = Find<QComboBox>(*dialog, u"collisionCombo"_s);
        const int shown = combo->currentIndex();
        if (index >= 0)
            combo->setCurrentIndex(index);
        dialog->reject();
        return shown;
    };
    EXPECT_EQ(choose(-1), 0); // no element: overwrite
    EXPECT_EQ(ReadFileBytes(f.file()), kDefaults);
    EXPECT_EQ(choose(2), 0);
    QByteArray renamed = kDefaults;
    renamed.replace("</Preferences>",
                    "<OutputCollisionPolicy>2</OutputCollisionPolicy>\r\n</Preferences>");
    EXPECT_EQ(ReadFileBytes(f.file()), renamed);
    EXPECT_EQ(choose(0), 2);
    EXPECT_EQ(ReadFileBytes(f.file()), kDefaults);

    // A number the dialog does not know shows no choice and is kept.
    QByteArray odd = kDefaults;
    odd.replace("</Preferences>", "<OutputCollisionPolicy>9</OutputCollisionPolicy></Preferences>");
    ASSERT_TRUE(WriteFileBytes(f.file(), odd));
    EXPECT_EQ(choose(-1), -1);
    EXPECT_EQ(ReadFileBytes(f.file()), odd);
    EXPECT_TRUE(f.prompts.messages.isEmpty());
}

TEST(PreferencesDialog, FormatListStoresFormatNumbers)
{
    Fixture f;
    ASSERT_TRUE(WriteFileBytes(f.file(), kDefaults));
    const auto pick = [&](const QString &name) {
        auto dialog = f.open();
        auto *combo = Find<QComboBox>(*dialog, u"formatCombo"_s);
        const QString shown = combo->currentText();
        if (!name.isEmpty())
            combo->setCurrentIndex(combo->findText(name));
        dialog->reject();
        return shown;
    };
    const auto stored = [&](const char *format) {
        QByteArray expected = kDefaults;
        return expected.replace("<OutputFormat>0<", QByteArray("<OutputFormat>") + format + "<");
    };
    EXPECT_EQ(pick(u"AVIF"_s), u"JPG"_s);
    EXPECT_EQ(ReadFileBytes(f.file()), stored("5"));
    EXPECT_EQ(pick(u"WebP"_s), u"AVIF"_s);
    EXPECT_EQ(ReadFileBytes(f.file()), stored("4"));
    EXPECT_EQ(pick(u"TIFF"_s), u"WebP"_s);
    EXPECT_EQ(ReadFileBytes(f.file()), stored("3"));

    // A number the list does not hold (a later version's format) stays as
    // stored, also when the user changes something else on the page.
    ASSERT_TRUE(WriteFileBytes(f.file(), stored("6")));
    {
        auto dialog = f.open();
        EXPECT_EQ(Find<QComboBox>(*dialog, u"formatCombo"_s)->currentIndex(), -1);
        Find<QLineEdit>(*dialog, u"suffixEdit"_s)->setText(u"_wm"_s);
        dialog->reject();
    }
    QByteArray unknown = stored("6");
    EXPECT_EQ(ReadFileBytes(f.file()), unknown.replace("_new", "_wm"));
    EXPECT_TRUE(f.prompts.messages.isEmpty());
}

TEST(PreferencesDialog, OutputQualityElementsOnlyWhenChanged)
{
    Fixture f;
    ASSERT_TRUE(WriteFileBytes(f.file(), kDefaults));
    const auto edit = [&](const std::function<void(QWidget &)> &change) {
        auto dialog = f.open();
        change(*dialog);
        dialog->reject();
    };
    // Opened and closed untouched: the file stays byte for byte.
    edit([](QWidget &) {});
    EXPECT_EQ(ReadFileBytes(f.file()), kDefaults);

    edit([](QWidget &d) {
        EXPECT_EQ(Find<QSpinBox>(d, u"jpegQualitySpin"_s)->value(), 98);
        EXPECT_EQ(Find<QSpinBox>(d, u"webpQualitySpin"_s)->value(), kw::kDefaultWebpQuality);
        EXPECT_EQ(Find<QSpinBox>(d, u"avifQualitySpin"_s)->value(), kw::kDefaultAvifQuality);
        Find<QSpinBox>(d, u"jpegQualitySpin"_s)->setValue(85);
        Find<QCheckBox>(d, u"webpLosslessCheck"_s)->setChecked(true);
    });
    QByteArray changed = kDefaults;
    changed.replace("</Preferences>", "<OutputJpegQuality>85</OutputJpegQuality>\r\n"
                                      "<OutputWebpLossless>1</OutputWebpLossless>\r\n"
                                      "</Preferences>");
    EXPECT_EQ(ReadFileBytes(f.file()), changed);
    kw::CPreferences prefs;
    ASSERT_TRUE(kw::LoadPreferences(f.sandbox.path(), prefs));
    EXPECT_EQ(prefs.quality.jpeg, 85);
    EXPECT_EQ(prefs.quality.webpLossless, 1);
    EXPECT_EQ(prefs.jpegQuality, 100) << "the old element is read and kept";

    // Set back to the defaults: the elements go again.
    edit([](QWidget &d) {
        EXPECT_EQ(Find<QSpinBox>(d, u"jpegQualitySpin"_s)->value(), 85);
        Find<QSpinBox>(d, u"jpegQualitySpin"_s)->setValue(98);
        Find<QCheckBox>(d, u"webpLosslessCheck"_s)->setChecked(false);
    });
    EXPECT_EQ(ReadFileBytes(f.file()), kDefaults);

    // A stored number outside the range shows clamped and stays stored
    // while only another setting changes.
    QByteArray odd = kDefaults;
    odd.replace("</Preferences>", "<OutputAvifQuality>300</OutputAvifQuality></Preferences>");
    ASSERT_TRUE(WriteFileBytes(f.file(), odd));
    edit([](QWidget &d) {
        EXPECT_EQ(Find<QSpinBox>(d, u"avifQualitySpin"_s)->value(), 100);
        Find<QSpinBox>(d, u"webpQualitySpin"_s)->setValue(70);
    });
    odd.replace("</Preferences>", "<OutputWebpQuality>70</OutputWebpQuality>\r\n</Preferences>");
    EXPECT_EQ(ReadFileBytes(f.file()), odd);
    EXPECT_TRUE(f.prompts.messages.isEmpty());
}

TEST(PreferencesDialog, OddStoredValues)
{
    Fixture f;
    // Folder option 2 reads as "another folder" and is written back as 1; a
    // format outside the list shows no choice and stays as stored; the file
    // has no suffix element, and gains none.
    ASSERT_TRUE(
        WriteFileBytes(f.file(), PreferencesFile("<OutputFolderOpts>2</OutputFolderOpts>\r\n"
                                                 "<OutputFolderPath>x</OutputFolderPath>\r\n"
                                                 "<OutputFileNameOpts>0</OutputFileNameOpts>\r\n"
                                                 "<OutputFormat>7</OutputFormat>\r\n")));
    auto dialog = f.open();
    EXPECT_EQ(Describe(*dialog), u"anotherFolder browse:on [x] | keepName suffix:off [] | "_s);
    dialog->reject();
    const QByteArray rewritten = PreferencesFile("<OutputFolderOpts>1</OutputFolderOpts>\r\n"
                                                 "<OutputFolderPath>x</OutputFolderPath>\r\n"
                                                 "<OutputFileNameOpts>0</OutputFileNameOpts>\r\n"
                                                 "<OutputFormat>7</OutputFormat>\r\n");
    EXPECT_EQ(ReadFileBytes(f.file()), rewritten);
    EXPECT_TRUE(f.prompts.messages.isEmpty());

    // A suffix typed for a file that cannot hold it is not lost silently.
    dialog = f.open();
    Find<QLineEdit>(*dialog, u"suffixEdit"_s)->setText(u"_wm"_s);
    dialog->reject();
    EXPECT_EQ(ReadFileBytes(f.file()), rewritten);
    ASSERT_EQ(f.prompts.messages.size(), 1);
    EXPECT_TRUE(f.prompts.messages[0].text.contains(u"OutputFileNameSuffix"_s));
    EXPECT_EQ(f.prompts.messages[0].icon, kw::MessageIcon::Warning);
}

TEST(PreferencesDialog, ASuffixThatLeavesTheFolderIsRefused)
{
    Fixture f;
    ASSERT_TRUE(WriteFileBytes(f.file(), kDefaults));
    for (const QString &suffix : {u"/../x"_s, u"a\\b"_s, u"a\nb"_s}) {
        auto dialog = f.open();
        Find<QComboBox>(*dialog, u"formatCombo"_s)->setCurrentIndex(1);
        Find<QLineEdit>(*dialog, u"suffixEdit"_s)->setText(suffix);
        dialog->reject();
        // The suffix before stays; the rest of the page is saved.
        QByteArray expected = kDefaults;
        expected.replace("<OutputFormat>0<", "<OutputFormat>1<");
        EXPECT_EQ(ReadFileBytes(f.file()), expected) << suffix.toStdString();
        ASSERT_EQ(f.prompts.messages.size(), 1);
        EXPECT_TRUE(f.prompts.messages[0].text.contains(u"suffix was not changed"_s));
        f.prompts.messages.clear();
        ASSERT_TRUE(WriteFileBytes(f.file(), kDefaults));
    }
}

TEST(PreferencesDialog, MissingFile)
{
    Fixture f;
    auto dialog = f.open(); // unchanged: nothing to tell, nothing written
    EXPECT_EQ(Describe(*dialog), u"- browse:on [] | - suffix:on [] | JPG"_s);
    dialog->reject();
    EXPECT_TRUE(f.prompts.messages.isEmpty());
    dialog = f.open();
    Find<QComboBox>(*dialog, u"formatCombo"_s)->setCurrentIndex(1);
    dialog->reject();
    EXPECT_FALSE(QFile::exists(f.file()));
    EXPECT_EQ(f.prompts.messages.size(), 1);
}

kw::UpdateCheckSetup
CheckSetup(const LoopbackHttpServer &server, const QString &downloadPath,
           kw::NetworkReachability reachability = kw::NetworkReachability::Online)
{
    kw::UpdateCheckSetup setup;
    setup.check = {server.url(), downloadPath, 5000};
    setup.reachability = [reachability] { return reachability; };
    return setup;
}

TEST(UpdatePage, CheckNowReportsEveryOutcome)
{
    kw::test::TestSandbox sandbox;
    kw::VersionTriple running;
    ASSERT_TRUE(kw::GetProgramVersion(running));
    // Clicks "Check Now" against `server`; returns the latest version shown.
    const auto checkNow = [&](const QByteArray &response, kw::ScriptedPrompts &prompts,
                              kw::NetworkReachability reachability =
                                  kw::NetworkReachability::Online) {
        LoopbackHttpServer server(response);
        CUpdatePage page(prompts, CheckSetup(server, sandbox.filePath(u"d.ini"_s), reachability));
        EXPECT_EQ(Find<QLabel>(page, u"yourVersion"_s)->text(), kw::FormatVersion(running));
        QSignalSpy reported(&page, &CUpdatePage::checkReported);
        QPushButton *button = Find<QPushButton>(page, u"checkNowButton"_s);
        QTest::mouseClick(button, Qt::LeftButton);
        if (reachability == kw::NetworkReachability::Online) {
            EXPECT_FALSE(button->isEnabled()); // one check at a time
            EXPECT_TRUE(reported.wait(10000));
        } else {
            EXPECT_EQ(server.connections(), 0);
        }
        EXPECT_TRUE(button->isEnabled());
        return Find<QLabel>(page, u"latestVersion"_s)->text();
    };
    using Server = LoopbackHttpServer;

    kw::ScriptedPrompts newer;
    newer.answers.push_back(kw::MessageAnswer::Yes);
    EXPECT_EQ(checkNow(Server::Http("200 OK", Server::Descriptor(99, 0, 1)), newer), u"99.0.1"_s);
    EXPECT_EQ(newer.messageTexts(), QStringList{kw::NewVersionQuestion()});
    EXPECT_EQ(newer.messages[0].buttons, kw::MessageButtons::YesNo);
    EXPECT_EQ(newer.openedAddresses, QList<QUrl>{kw::DownloadPageAddress()});

    kw::ScriptedPrompts same;
    EXPECT_EQ(checkNow(Server::Http("200 OK", Server::Descriptor(1, 0, 0)), same), u"1.0.0"_s);
    EXPECT_EQ(same.messageTexts(), QStringList{u"You are using the latested version!"_s});

    kw::ScriptedPrompts failed;
    EXPECT_EQ(checkNow(Server::Http("500 Oops", Server::Descriptor(99, 0, 0)), failed), QString());
    ASSERT_EQ(failed.messages.size(), 1);
    EXPECT_TRUE(failed.messages[0].text.startsWith(kw::CheckFailedNotice()));

    kw::ScriptedPrompts offline;
    checkNow(Server::Http("200 OK", Server::Descriptor(99, 0, 0)), offline,
             kw::NetworkReachability::Offline);
    EXPECT_EQ(offline.messageTexts(), QStringList{kw::CheckFailedNotice()});
}

TEST(UpdatePage, StartUpCheckSpeaksOnlyOfANewerVersion)
{
    kw::test::TestSandbox sandbox;
    const QString download = sandbox.filePath(u"kw_version.ini"_s);
    for (const bool newer : {false, true}) {
        LoopbackHttpServer server(LoopbackHttpServer::Http(
            "200 OK", LoopbackHttpServer::Descriptor(newer ? 99 : 0, 1, 0)));
        LoopbackHttpServer failing(LoopbackHttpServer::Http("404 Not Found", "gone"));
        QWidget window;
        kw::ScriptedPrompts prompts;
        ASSERT_TRUE(kw::StartStartupUpdateCheck(&window, prompts, CheckSetup(server, download)));
        ASSERT_TRUE(kw::StartStartupUpdateCheck(&window, prompts, CheckSetup(failing, download)));
        EXPECT_FALSE(kw::StartStartupUpdateCheck(
            &window, prompts, CheckSetup(server, download, kw::NetworkReachability::Offline)));
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return window.findChildren<kw::CUpdateCheck *>().isEmpty(); }, 10000));
        EXPECT_EQ(prompts.messageTexts(),
                  newer ? QStringList{kw::NewVersionQuestion()} : QStringList{});
        EXPECT_TRUE(prompts.openedAddresses.isEmpty()); // the answer was No
    }
}

TEST(AboutPage, VersionAndLinks)
{
    kw::ScriptedPrompts prompts;
    CAboutPage page(prompts);
    kw::VersionTriple running;
    ASSERT_TRUE(kw::GetProgramVersion(running));
    EXPECT_EQ(Find<QLabel>(page, u"aboutVersion"_s)->text(), kw::FormatVersion(running));
    ASSERT_EQ(page.links().size(), 6);
    page.links().constLast()->open();
    EXPECT_EQ(prompts.openedAddresses, QList<QUrl>{kw::DownloadPageAddress()});
}

} // namespace

namespace {

TEST(PreferencesDialog, OutputQualityStoresTheJpegModeOnlyWhenChosen)
{
    Fixture f;
    ASSERT_TRUE(WriteFileBytes(f.file(), kDefaults));
    {
        auto dialog = f.open();
        auto *mode = Find<QComboBox>(*dialog, u"jpegModeCombo"_s);
        auto *smallest = Find<QCheckBox>(*dialog, u"jpegSmallestCheck"_s);
        EXPECT_EQ(mode->currentText(), u"quality 98"_s);
        EXPECT_FALSE(smallest->isEnabled());
        mode->setCurrentIndex(1);
        EXPECT_EQ(mode->currentText(), u"keep the original, re-encode only the watermark"_s);
        EXPECT_TRUE(smallest->isEnabled());
        smallest->setChecked(true);
        dialog->reject();
    }
    QByteArray expected = kDefaults;
    expected.replace("</Preferences>", "<JpegOutputMode>1</JpegOutputMode>\r\n"
                                       "<JpegOptimizedHuffman>1</JpegOptimizedHuffman>\r\n"
                                       "</Preferences>");
    EXPECT_EQ(ReadFileBytes(f.file()), expected);
    {
        auto dialog = f.open();
        EXPECT_EQ(Find<QComboBox>(*dialog, u"jpegModeCombo"_s)->currentIndex(), 1);
        EXPECT_TRUE(Find<QCheckBox>(*dialog, u"jpegSmallestCheck"_s)->isChecked());
        // Back to quality 98: the file is as it was, and the table choice goes too.
        Find<QComboBox>(*dialog, u"jpegModeCombo"_s)->setCurrentIndex(0);
        dialog->reject();
    }
    EXPECT_EQ(ReadFileBytes(f.file()), kDefaults);
    EXPECT_TRUE(f.prompts.messages.isEmpty());
}

} // namespace

namespace {

// A click on a laid-out radio button's circle (its centre may be past its text).
void ClickRadio(QWidget &dialog, const QString &name)
{
    QWidget *radio = Find<QWidget>(dialog, name);
    QTest::mouseClick(radio, Qt::LeftButton, {}, QPoint(8, radio->height() / 2));
}

// The page warns as soon as its choices would save each photo over itself.
TEST(PreferencesDialog, WarnsWhenOutputsWouldReplaceTheirSources)
{
    Fixture f;
    ASSERT_TRUE(WriteFileBytes(f.file(), kDefaults));
    auto dialog = f.open();
    dialog->show();
    kw::COutputSettingsPage *page = dialog->generalPage();
    auto *warning = Find<QLabel>(*dialog, u"replaceSourceWarning"_s);
    EXPECT_EQ(page->replaceWarning(), QString()); // the defaults add "_new"

    ClickRadio(*dialog, u"keepNameRadio"_s);
    EXPECT_EQ(page->replaceWarning(),
              u"Every JPG photo would be saved over itself, so none of them would be processed: "
              u"choose another folder, or rename with a suffix."_s);
    EXPECT_TRUE(warning->isVisible());

    // An empty suffix names the output the same.
    ClickRadio(*dialog, u"renameRadio"_s);
    EXPECT_EQ(page->replaceWarning(), QString());
    Find<QLineEdit>(*dialog, u"suffixEdit"_s)->clear();
    EXPECT_TRUE(page->replaceWarning().startsWith(u"Every JPG photo"_s));
    Find<QComboBox>(*dialog, u"formatCombo"_s)->setCurrentIndex(1);
    EXPECT_TRUE(page->replaceWarning().startsWith(u"Every PNG photo"_s));

    // Numbered names or another folder replace nothing.
    Find<QComboBox>(*dialog, u"collisionCombo"_s)
        ->setCurrentIndex(int(kw::OutputCollisionPolicy::Rename));
    EXPECT_EQ(page->replaceWarning(), QString());
    Find<QComboBox>(*dialog, u"collisionCombo"_s)
        ->setCurrentIndex(int(kw::OutputCollisionPolicy::Skip));
    EXPECT_FALSE(page->replaceWarning().isEmpty());
    ClickRadio(*dialog, u"anotherFolderRadio"_s);
    EXPECT_EQ(page->replaceWarning(), QString());
    EXPECT_FALSE(warning->isVisible());
    dialog->reject();
}

} // namespace
