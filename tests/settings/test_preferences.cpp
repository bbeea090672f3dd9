#include "settings/preferences.h"

#include "platform/app_folders.h"
#include "support/test_sandbox.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <tuple>

using namespace Qt::StringLiterals;
using kw::test::ReadFileBytes;
using kw::test::WriteFileBytes;

namespace {

QByteArray TenLines(const QByteArray &outputFolderLine)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Preferences>\r\n"
           "<OutputFolderOpts>0</OutputFolderOpts>\r\n" +
           outputFolderLine +
           "\r\n<OutputFileNameOpts>1</OutputFileNameOpts>\r\n"
           "<OutputFileNameSuffix>_new</OutputFileNameSuffix>\r\n<OutputFormat>0</OutputFormat>\r\n"
           "<JpegQuality>100</JpegQuality>\r\n<OpenQuickStartDlg>0</OpenQuickStartDlg>\r\n"
           "</Preferences>\r\n";
}

// A second XML reader's verdict on a file we wrote.
void ExpectXmllintAccepts(const QString &path)
{
    const QString xmllint = QStandardPaths::findExecutable(u"xmllint"_s);
    if (xmllint.isEmpty())
        GTEST_SKIP() << "xmllint is not installed";
    QProcess process;
    process.start(xmllint, {u"--noout"_s, path});
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
}

auto Fields(const kw::CPreferences &p)
{
    return std::tuple(p.outputFolderOpts, p.outputFolderPath.toStdString(), p.outputFileNameOpts,
                      p.outputFileNameSuffix.toStdString(), p.outputFormat, p.jpegQuality);
}

// A data folder holding preference.xml with `bytes` (none for nullptr).
struct Folder
{
    explicit Folder(const char *bytes = nullptr)
    {
        if (bytes)
            WriteFileBytes(file(), bytes);
    }
    QString path() const { return sandbox.path(); }
    QString file() const { return sandbox.filePath(u"preference.xml"_s); }
    QByteArray bytes() const { return ReadFileBytes(file()); }
    kw::test::TestSandbox sandbox;
};

TEST(Preferences, DefaultFileIsTenLinesByteForByte)
{
    Folder folder;
    int resolved = 0;
    const auto outputFolder = [&] {
        ++resolved;
        return u"/home/ann/Docs & <Stuff> \u00e9"_s;
    };
    ASSERT_TRUE(kw::CreateDefaultPreferences(folder.path(), outputFolder));
    EXPECT_EQ(folder.bytes(), TenLines("<OutputFolderPath>/home/ann/Docs &amp; &lt;Stuff&gt; "
                                       "\xC3\xA9</OutputFolderPath>"));
    ExpectXmllintAccepts(folder.file());

    // An existing file, even a broken one, is left alone and nothing is resolved.
    WriteFileBytes(folder.file(), "<Preferences><broken");
    ASSERT_TRUE(kw::CreateDefaultPreferences(folder.path(), outputFolder));
    EXPECT_EQ(folder.bytes(), "<Preferences><broken");
    EXPECT_EQ(resolved, 1);

    // No output folder could be had: the empty form.
    QFile::remove(folder.file());
    ASSERT_TRUE(kw::CreateDefaultPreferences(folder.path(), [] { return QString(); }));
    EXPECT_EQ(folder.bytes(), TenLines("<OutputFolderPath/>"));

    // A folder name XML cannot carry: no file rather than one other readers refuse.
    QFile::remove(folder.file());
    const kw::Status created =
        kw::CreateDefaultPreferences(folder.path(), [] { return u"/a\u0001"_s; });
    EXPECT_FALSE(created);
    EXPECT_TRUE(created.error().contains(u"U+0001"_s)) << created.error().toStdString();
    EXPECT_FALSE(QFileInfo::exists(folder.file()));
}

TEST(Preferences, FirstStartCreatesDataAndOutputFolders)
{
    kw::test::TestSandbox sandbox;
    // The documents folder may be renamed in user-dirs.dirs under XDG_CONFIG_HOME.
    const bool hadConfig = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(sandbox.filePath(u"home/.config"_s)));
    const QString dataFolder = kw::GetAppDataFolder(sandbox.filePath(u"bin"_s));
    const bool created = kw::CreateDefaultPreferences(dataFolder).ok();
    if (hadConfig)
        qputenv("XDG_CONFIG_HOME", oldConfig);
    else
        qunsetenv("XDG_CONFIG_HOME");

    ASSERT_TRUE(created);
    const QString output = sandbox.filePath(u"home/Documents/Kelvane Watermark"_s);
    EXPECT_TRUE(QFileInfo(output).isDir());
    EXPECT_EQ(ReadFileBytes(dataFolder + u"/preference.xml"_s),
              TenLines("<OutputFolderPath>" + output.toUtf8() + "</OutputFolderPath>"));
}

TEST(Preferences, LoadHandWrittenFiles)
{
    const kw::CPreferences previous{9, u"prev"_s, 9, u"_p"_s, 9, 9, {}};
    const struct
    {
        const char *bytes;
        kw::CPreferences expected;
    } cases[] = {
        // Unreadable: the record stays as it was.
        {nullptr, previous},
        {"", previous},
        {"<Preferences><OutputFormat>1</Preferences>", previous},
        {"<Settings><OutputFormat>1</OutputFormat></Settings>", previous},
        {"<?xml version=\"1.0\"?>\n<Preferences>\n  <OutputFolderOpts>1</OutputFolderOpts>\n"
         "  <OutputFolderPath>/out &amp; more</OutputFolderPath>\n"
         "  <OutputFileNameOpts>0</OutputFileNameOpts>\n"
         "  <OutputFileNameSuffix/>\n  <OutputFormat>3</OutputFormat>\n"
         "  <JpegQuality>75</JpegQuality>\n</Preferences>\n",
         {1, u"/out & more"_s, 0, QString(), 3, 75, {}}},
        // Missing elements keep the field; odd numbers convert leniently.
        {"<Preferences><OutputFolderOpts> 7</OutputFolderOpts><OutputFileNameOpts>x"
         "</OutputFileNameOpts><JpegQuality>-99999999999</JpegQuality></Preferences>",
         {7, u"prev"_s, 0, u"_p"_s, 9, -2147483647 - 1, {}}},
        // An element ahead of one found earlier is not seen; names compare with case.
        {"<Preferences><OutputFormat>2</OutputFormat><!-- c --><OutputFolderOpts>1"
         "</OutputFolderOpts><OutputFolderOpts>0</OutputFolderOpts><outputformat>2</outputformat>"
         "<Group><OutputFormat>3</OutputFormat></Group>"
         "<OutputFolderPath><b>child</b></OutputFolderPath></Preferences>",
         {1, QString(), 9, u"_p"_s, 9, 9, {}}},
    };
    for (const auto &c : cases) {
        Folder folder(c.bytes);
        kw::CPreferences prefs = previous;
        const kw::Status loaded = kw::LoadPreferences(folder.path(), prefs);
        // Every readable case changes a field.
        EXPECT_EQ(loaded.ok(), Fields(c.expected) != Fields(previous)) << c.bytes;
        EXPECT_EQ(loaded.error().isEmpty(), loaded.ok());
        EXPECT_EQ(Fields(prefs), Fields(c.expected)) << c.bytes;
    }
}

TEST(Preferences, UpdateChangesOnlyTheElementTexts)
{
    // Comments, unknown elements, spacing and mixed line ends survive; the
    // OutputFormat ahead of the order is never the one written.
    const QByteArray original =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- mine -->\n"
        "<Preferences>\r\n\t<OutputFormat>9</OutputFormat>\n"
        "\t<OutputFolderOpts> 2 </OutputFolderOpts>\n<Unknown>keep</Unknown>\n"
        "\t<OutputFolderPath>/old</OutputFolderPath>\r\n"
        "\t<OutputFileNameSuffix/>\n\t<OutputFormat>0</OutputFormat>\n"
        "\t<JpegQuality>100</JpegQuality>\n"
        "\t<OpenQuickStartDlg>0</OpenQuickStartDlg>\n</Preferences>\n";
    Folder folder(original.constData());
    using E = kw::PreferenceElement;
    kw::PreferenceTexts changes;
    changes.set(E::OutputFolderOpts, 1);
    changes.set(E::OutputFolderPath, u"/new & <dir>"_s);
    changes.set(E::OutputFileNameOpts, 0);
    changes.set(E::OutputFileNameSuffix, u"_wm"_s);
    changes.set(E::OutputFormat, 2);
    // OutputFileNameOpts is missing: not added, the rest is still stored.
    const kw::Status updated = kw::UpdatePreferences(folder.path(), changes);
    EXPECT_FALSE(updated);
    EXPECT_TRUE(updated.error().contains(u"OutputFileNameOpts"_s)) << updated.error().toStdString();
    QByteArray expected = original;
    expected.replace("> 2 <", ">1<")
        .replace("/old", "/new &amp; &lt;dir&gt;")
        .replace("<OutputFileNameSuffix/>", "<OutputFileNameSuffix>_wm</OutputFileNameSuffix>")
        .replace("<OutputFormat>0", "<OutputFormat>2");
    EXPECT_EQ(folder.bytes(), expected);
    ExpectXmllintAccepts(folder.file());

    kw::CPreferences loaded;
    ASSERT_TRUE(kw::LoadPreferences(folder.path(), loaded));
    EXPECT_EQ(loaded.outputFolderPath, u"/new & <dir>"_s);
    EXPECT_EQ(loaded.jpegQuality, 100); // no dialog edits it

    ASSERT_TRUE(kw::SaveQuickStartChoice(folder.path(), true));
    EXPECT_EQ(folder.bytes(), QByteArray(expected).replace("Dlg>0<", "Dlg>1<"));
    ASSERT_TRUE(kw::SaveQuickStartChoice(folder.path(), false));
    EXPECT_EQ(folder.bytes(), expected);
}

TEST(Preferences, UpdateWritesNothingItCannotWriteWhole)
{
    const char *const simple = "<Preferences><OutputFolderPath>/a</OutputFolderPath></Preferences>";
    const char *const latin1 = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><Preferences>"
                               "<OutputFolderPath>/a</OutputFolderPath></Preferences>";
    const struct
    {
        const char *bytes;
        QString path; // the new OutputFolderPath
    } cases[] = {
        {nullptr, u"/b"_s}, // no file: none is made
        {"<Preferences><OutputFolderPath>/a</Preferences>", u"/b"_s},
        {"<Settings><OutputFolderPath>/a</OutputFolderPath></Settings>", u"/b"_s},
        {simple, u"/b\u001Fc"_s},
        {simple, QString(QChar(0xD800))},
        {latin1, u"/\u65E5\u672C"_s},
    };
    for (const auto &c : cases) {
        Folder folder(c.bytes);
        kw::PreferenceTexts changes;
        changes.set(kw::PreferenceElement::OutputFolderPath, c.path);
        const kw::Status updated = kw::UpdatePreferences(folder.path(), changes);
        EXPECT_FALSE(updated);
        EXPECT_FALSE(updated.error().isEmpty());
        EXPECT_EQ(folder.bytes(), QByteArray(c.bytes)) << c.bytes;
    }
    // The refusal names the file and the character its encoding lacks.
    Folder refusing(latin1);
    kw::PreferenceTexts japanese;
    japanese.set(kw::PreferenceElement::OutputFolderPath, u"/\u65E5"_s);
    const kw::Status updated = kw::UpdatePreferences(refusing.path(), japanese);
    EXPECT_TRUE(updated.error().contains(refusing.file())) << updated.error().toStdString();
    EXPECT_TRUE(updated.error().contains(u"U+65E5"_s)) << updated.error().toStdString();

    // What the declared encoding can hold is written in it.
    Folder folder(latin1);
    kw::PreferenceTexts changes;
    changes.set(kw::PreferenceElement::OutputFolderPath, u"/caf\u00e9"_s);
    ASSERT_TRUE(kw::UpdatePreferences(folder.path(), changes));
    EXPECT_EQ(folder.bytes(), QByteArray(latin1).replace("/a", "/caf\xE9"));
}

// A preference.xml saved by an editor working in the ANSI code page, with or
// without its declaration: an update changes only the element it sets.
TEST(Preferences, AnsiFileKeepsItsBytes)
{
    for (const char *declaration : {"", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"}) {
        const QByteArray original = QByteArray(declaration) +
                                    "<Preferences>\r\n<OutputFolderPath>/Fotos/M\xFCnchen \x80\x81"
                                    "</OutputFolderPath>\r\n<OutputFormat>0</OutputFormat>\r\n"
                                    "</Preferences>\r\n";
        Folder folder(original.constData());
        kw::CPreferences prefs;
        ASSERT_TRUE(kw::LoadPreferences(folder.path(), prefs));
        EXPECT_EQ(prefs.outputFolderPath, u"/Fotos/M\u00fcnchen \u20ac\u0081"_s);

        kw::PreferenceTexts changes;
        changes.set(kw::PreferenceElement::OutputFormat, 1);
        ASSERT_TRUE(kw::UpdatePreferences(folder.path(), changes));
        EXPECT_EQ(folder.bytes(),
                  QByteArray(original).replace("<OutputFormat>0", "<OutputFormat>1"));

        // The path typed again in the dialog is stored as it was.
        changes.set(kw::PreferenceElement::OutputFolderPath, prefs.outputFolderPath);
        ASSERT_TRUE(kw::UpdatePreferences(folder.path(), changes));
        EXPECT_EQ(folder.bytes(),
                  QByteArray(original).replace("<OutputFormat>0", "<OutputFormat>1"));
    }
}

// The collision policy is a new element: absent means overwrite, it is
// written only when set, appended at the end of Preferences in the file's
// own line ends, removed when set back, and found wherever it stands.
TEST(Preferences, CollisionPolicyElement)
{
    using Policy = kw::OutputCollisionPolicy;
    const QByteArray ten = TenLines("<OutputFolderPath>/out</OutputFolderPath>");
    Folder folder(ten.constData());
    kw::CPreferences prefs;
    prefs.collisionPolicy = Policy::Rename; // a file without the element says overwrite
    ASSERT_TRUE(kw::LoadPreferences(folder.path(), prefs));
    EXPECT_EQ(prefs.collisionPolicy, Policy::Overwrite);

    ASSERT_TRUE(kw::SaveCollisionPolicy(folder.path(), Policy::Overwrite));
    EXPECT_EQ(folder.bytes(), ten) << "the default is not written";

    ASSERT_TRUE(kw::SaveCollisionPolicy(folder.path(), Policy::Skip));
    QByteArray withSkip = ten;
    withSkip.replace("</Preferences>",
                     "<OutputCollisionPolicy>1</OutputCollisionPolicy>\r\n</Preferences>");
    EXPECT_EQ(folder.bytes(), withSkip);
    ASSERT_TRUE(kw::LoadPreferences(folder.path(), prefs));
    EXPECT_EQ(prefs.collisionPolicy, Policy::Skip);
    ASSERT_TRUE(kw::SaveCollisionPolicy(folder.path(), Policy::Rename));
    ASSERT_TRUE(kw::LoadPreferences(folder.path(), prefs));
    EXPECT_EQ(prefs.collisionPolicy, Policy::Rename);
    ASSERT_TRUE(kw::SaveCollisionPolicy(folder.path(), Policy::Overwrite));
    EXPECT_EQ(folder.bytes(), ten) << "set back, the element goes";

    // Hand-placed first, with LF line ends: still found, changed in place.
    Folder moved("<Preferences>\n<OutputCollisionPolicy>2</OutputCollisionPolicy>\n"
                 "<OutputFolderOpts>1</OutputFolderOpts>\n</Preferences>\n");
    ASSERT_TRUE(kw::LoadPreferences(moved.path(), prefs));
    EXPECT_EQ(prefs.collisionPolicy, Policy::Rename);
    EXPECT_EQ(prefs.outputFolderOpts, 1);
    ASSERT_TRUE(kw::SaveCollisionPolicy(moved.path(), Policy::Skip));
    EXPECT_EQ(moved.bytes(), "<Preferences>\n<OutputCollisionPolicy>1</OutputCollisionPolicy>\n"
                             "<OutputFolderOpts>1</OutputFolderOpts>\n</Preferences>\n");
    EXPECT_FALSE(kw::SaveCollisionPolicy(Folder().path(), Policy::Skip));
}

TEST(Preferences, QuickStartDecision)
{
    const struct
    {
        const char *bytes;
        bool opens;
    } cases[] = {
        {nullptr, false},
        {"<Preferences><OpenQuickStartDlg>1</OpenQuickStartDlg></Preferences>", false},
        {"<Preferences><OpenQuickStartDlg/></Preferences>", true}, // no digits: 0
        {"<Preferences><OutputFormat>1</OutputFormat></Preferences>", false},
        // Searched on its own, so its place among the others does not matter.
        {"<Preferences><OpenQuickStartDlg>0</OpenQuickStartDlg><OutputFolderOpts>1"
         "</OutputFolderOpts></Preferences>",
         true},
        {"<Preferences><OpenQuickStartDlg>0</OpenQuickStartDlg>", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(kw::ShouldOpenQuickStart(Folder(c.bytes).path()), c.opens) << c.bytes;
}

} // namespace

// The output quality elements: absent means the defaults, each written only
// when it differs from its default, removed when set back, and a number
// outside the range kept as stored (the writer refuses it).
TEST(Preferences, OutputQualityElements)
{
    const QByteArray ten = TenLines("<OutputFolderPath>/out</OutputFolderPath>");
    Folder folder(ten.constData());
    kw::CPreferences prefs;
    prefs.quality.jpeg = 5;
    ASSERT_TRUE(kw::LoadPreferences(folder.path(), prefs));
    EXPECT_EQ(prefs.quality, kw::OutputQuality());
    EXPECT_EQ(prefs.quality.jpeg, 98);
    EXPECT_EQ(prefs.jpegQuality, 100) << "JpegQuality is still read";

    ASSERT_TRUE(kw::SaveOutputQuality(folder.path(), kw::OutputQuality()));
    EXPECT_EQ(folder.bytes(), ten) << "the defaults are not written";

    kw::OutputQuality set;
    set.avif = 70;
    set.webpLossless = 1;
    ASSERT_TRUE(kw::SaveOutputQuality(folder.path(), set));
    QByteArray withTwo = ten;
    withTwo.replace("</Preferences>",
                    "<OutputWebpLossless>1</OutputWebpLossless>\r\n"
                    "<OutputAvifQuality>70</OutputAvifQuality>\r\n</Preferences>");
    EXPECT_EQ(folder.bytes(), withTwo);
    ASSERT_TRUE(kw::LoadPreferences(folder.path(), prefs));
    EXPECT_EQ(prefs.quality, set);

    set.webpLossless = 0;
    set.jpeg = 250; // kept as given
    ASSERT_TRUE(kw::SaveOutputQuality(folder.path(), set));
    ASSERT_TRUE(kw::LoadPreferences(folder.path(), prefs));
    EXPECT_EQ(prefs.quality, set);
    EXPECT_FALSE(folder.bytes().contains("OutputWebpLossless"));
    ASSERT_TRUE(kw::SaveOutputQuality(folder.path(), kw::OutputQuality()));
    EXPECT_EQ(folder.bytes(), ten) << "set back, the elements go";
    EXPECT_FALSE(kw::SaveOutputQuality(Folder().path(), set));
}
