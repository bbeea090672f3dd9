#include "model/layer_file.h"
#include "model/template_file.h"
#include "model/template_library.h"
#include "model/watermark_conf.h"
#include "model_test_support.h"
#include "platform/app_folders.h"
#include "support/file_size_limit.h"
#include "support/test_sandbox.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>

#include <gtest/gtest.h>

using kw::CWatermarkConf;

using namespace Qt::StringLiterals;
using kw::test::ReadFileBytes;
using kw::test::WriteFileBytes;

namespace {

QByteArray Index(const QList<QByteArray> &names)
{
    QByteArray bytes = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Templates>\r\n";
    for (const QByteArray &name : names)
        bytes += "<template>" + name + "</template>\r\n";
    return bytes + "</Templates>\r\n";
}

class TemplateLibraryTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(kw::SeedFirstRun(folder).ok()); }

    QString file(const QString &name) const { return folder + u'/' + name; }
    QStringList files() const { return QDir(folder).entryList(QDir::Files, QDir::Name); }
    QStringList names() const { return kw::LoadTemplateIndex(folder).valueOr({}); }
    // Every file under the sandbox with its bytes.
    QMap<QString, QByteArray> snapshot() const
    {
        QMap<QString, QByteArray> all;
        QDirIterator it(sandbox.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            all.insert(path, ReadFileBytes(path));
        }
        return all;
    }
    CWatermarkConf layer(const QString &name) const
    {
        CWatermarkConf conf;
        EXPECT_TRUE(kw::LoadLayerConf(folder, name, conf));
        return conf;
    }

    kw::test::TestSandbox sandbox;
    QString folder = kw::GetTemplatesFolder();
};

CWatermarkConf NewLayer(QStringView text)
{
    CWatermarkConf conf;
    kw::ApplyNewLayerDefaults(conf, text);
    return conf;
}

TEST_F(TemplateLibraryTest, FirstRunSeedsDemo1)
{
    EXPECT_TRUE(folder.startsWith(sandbox.path()));
    EXPECT_EQ(files(), (QStringList{u"Demo 1.xml"_s, u"Demo 1_Layer 1.xml"_s, u"qthumb.xml"_s}));
    EXPECT_EQ(ReadFileBytes(file(u"qthumb.xml"_s)), Index({"Demo 1"}));
    EXPECT_EQ(ReadFileBytes(file(u"Demo 1.xml"_s)),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Layers>\r\n"
              "<layer>Demo 1_Layer 1</layer>\r\n</Layers>\r\n");
    EXPECT_EQ(ReadFileBytes(file(u"Demo 1_Layer 1.xml"_s)).count("\r\n"), 44);
    EXPECT_EQ(layer(u"Demo 1_Layer 1"_s), NewLayer(u"Kelvane Watermark"));
    const kw::Result<QStringList> index = kw::LoadTemplateIndex(folder);
    ASSERT_TRUE(index);
    EXPECT_EQ(*index, QStringList{u"Demo 1"_s});
}

TEST_F(TemplateLibraryTest, SeedingOnlyHappensWithoutTheFolder)
{
    QFile::remove(file(u"qthumb.xml"_s));
    const auto before = snapshot();
    EXPECT_TRUE(kw::SeedFirstRun(folder).ok());
    EXPECT_EQ(snapshot(), before);
    EXPECT_FALSE(kw::LoadTemplateIndex(folder));
    EXPECT_TRUE(names().isEmpty());

    ASSERT_TRUE(QDir(folder).removeRecursively());
    EXPECT_TRUE(kw::SeedFirstRun(folder).ok());
    EXPECT_EQ(names(), QStringList{u"Demo 1"_s});
    EXPECT_EQ(files().size(), 3);
}

TEST_F(TemplateLibraryTest, AddWritesTemplateLayerAndIndexEntry)
{
    const kw::LibraryChange result = kw::AddTemplate(folder, u"Logo"_s);
    ASSERT_TRUE(result) << result.error().toStdString();
    EXPECT_TRUE(result->isEmpty());
    EXPECT_EQ(ReadFileBytes(file(u"qthumb.xml"_s)), Index({"Demo 1", "Logo"}));
    EXPECT_EQ(kw::ReadTemplateLayers(folder, u"Logo"_s), QStringList{u"Logo_Layer 1"_s});
    EXPECT_EQ(layer(u"Logo_Layer 1"_s), NewLayer(u"Kelvane Watermark For Win"));
    EXPECT_EQ(files().size(), 5);
}

TEST_F(TemplateLibraryTest, AddAfterTheLastChildWhateverItsName)
{
    ASSERT_TRUE(WriteFileBytes(file(u"qthumb.xml"_s),
                               "<Templates>\n  <template>A</template>\n  <note/>\n</Templates>\n"));
    ASSERT_TRUE(kw::AddTemplate(folder, u"B"_s).ok());
    EXPECT_EQ(ReadFileBytes(file(u"qthumb.xml"_s)),
              "<Templates>\n  <template>A</template>\n  <note/>\n<template>B</template>\r\n"
              "</Templates>\n");
}

TEST_F(TemplateLibraryTest, AddCreatesAMissingIndexButNeverOverwritesABrokenOne)
{
    QFile::remove(file(u"qthumb.xml"_s));
    ASSERT_TRUE(kw::AddTemplate(folder, u"Logo"_s).ok());
    EXPECT_EQ(ReadFileBytes(file(u"qthumb.xml"_s)), Index({"Logo"}));

    for (const QByteArray &broken : {QByteArray("<Templates><template>A</template>"),
                                     QByteArray("<Other><template>A</template></Other>")}) {
        ASSERT_TRUE(WriteFileBytes(file(u"qthumb.xml"_s), broken));
        const auto before = snapshot();
        const kw::LibraryChange result = kw::AddTemplate(folder, u"New"_s);
        EXPECT_FALSE(result);
        EXPECT_FALSE(result.error().isEmpty());
        EXPECT_EQ(snapshot(), before);
    }
}

TEST_F(TemplateLibraryTest, RenameKeepsTheLayers)
{
    ASSERT_TRUE(kw::AddTemplate(folder, u"Logo"_s).ok());
    const QByteArray logo = ReadFileBytes(file(u"Logo.xml"_s));
    ASSERT_TRUE(kw::RenameTemplate(folder, u"Logo"_s, u"Brand"_s).ok());
    EXPECT_EQ(ReadFileBytes(file(u"qthumb.xml"_s)), Index({"Demo 1", "Brand"}));
    EXPECT_FALSE(QFile::exists(file(u"Logo.xml"_s)));
    EXPECT_EQ(ReadFileBytes(file(u"Brand.xml"_s)), logo);
    EXPECT_TRUE(QFile::exists(file(u"Logo_Layer 1.xml"_s)));

    // The old name's layer file is still there, so "Logo" cannot come back
    // and overwrite it.
    const kw::LibraryChange again = kw::AddTemplate(folder, u"Logo"_s);
    EXPECT_FALSE(again);
    EXPECT_TRUE(again.error().contains(u"Logo_Layer 1"_s));

    // Only the case changes: allowed, the template's own file does not count.
    ASSERT_TRUE(kw::RenameTemplate(folder, u"Brand"_s, u"BRAND"_s).ok());
    EXPECT_EQ(names(), (QStringList{u"Demo 1"_s, u"BRAND"_s}));
    EXPECT_TRUE(QFile::exists(file(u"BRAND.xml"_s)));
    EXPECT_TRUE(kw::RenameTemplate(folder, u"BRAND"_s, u"BRAND"_s).ok());

    EXPECT_FALSE(kw::RenameTemplate(folder, u"BRAND"_s, u"demo 1"_s));
    EXPECT_FALSE(kw::RenameTemplate(folder, u"Nothing"_s, u"X"_s));
    EXPECT_FALSE(QFile::exists(file(u"X.xml"_s)));
}

TEST_F(TemplateLibraryTest, AFailedRenameGivesTheTemplateFileItsNameBack)
{
    ASSERT_TRUE(kw::AddTemplate(folder, u"Logo"_s).ok());
    // The list, padded, is written in one piece larger than the limit (a
    // write that failed only when flushed would go unseen).
    QByteArray index = Index({"Demo 1", "Logo"});
    index.insert(index.indexOf("</Templates>"), "<!--" + QByteArray(20000, '-') + "-->\r\n");
    ASSERT_TRUE(WriteFileBytes(file(u"qthumb.xml"_s), index));
    const auto before = snapshot();
    kw::LibraryChange renamed = QString();
    {
        const kw::test::FileSizeLimit full(8000);
        renamed = kw::RenameTemplate(folder, u"Logo"_s, u"Brand"_s);
    }
    EXPECT_FALSE(renamed);
    EXPECT_TRUE(renamed.error().contains(u"template list cannot be written"_s))
        << renamed.error().toStdString();
    EXPECT_EQ(snapshot(), before);
}

TEST_F(TemplateLibraryTest, RemoveTheLastTemplateLeavesAnEmptyList)
{
    ASSERT_TRUE(kw::AddTemplate(folder, u"Logo"_s).ok());
    ASSERT_TRUE(kw::RemoveTemplate(folder, u"Logo"_s).ok());
    EXPECT_EQ(ReadFileBytes(file(u"qthumb.xml"_s)), Index({"Demo 1"}));
    const kw::LibraryChange last = kw::RemoveTemplate(folder, u"Demo 1"_s);
    ASSERT_TRUE(last.ok());
    EXPECT_TRUE(last->isEmpty());
    EXPECT_EQ(files(), QStringList{u"qthumb.xml"_s});
    EXPECT_EQ(ReadFileBytes(file(u"qthumb.xml"_s)), Index({}));
    const kw::Result<QStringList> index = kw::LoadTemplateIndex(folder);
    ASSERT_TRUE(index);
    EXPECT_TRUE(index->isEmpty());
    EXPECT_FALSE(kw::RemoveTemplate(folder, u"Demo 1"_s));
}

TEST_F(TemplateLibraryTest, RemoveKeepsFilesOthersStillName)
{
    ASSERT_TRUE(kw::AddTemplate(folder, u"A"_s).ok());
    // B shares A's layer; a second "A" entry still names A's file; A's file
    // also names a layer outside the folder.
    ASSERT_TRUE(WriteFileBytes(file(u"B.xml"_s), "<Layers><layer>A_Layer 1</layer></Layers>"));
    ASSERT_TRUE(WriteFileBytes(file(u"qthumb.xml"_s), Index({"A", "B", "A"})));
    ASSERT_TRUE(WriteFileBytes(file(u"A.xml"_s),
                               "<Layers><layer>A_Layer 1</layer><layer>../outside</layer>"
                               "<layer>Demo 1_Layer 1</layer></Layers>"));
    ASSERT_TRUE(WriteFileBytes(sandbox.filePath(u"outside.xml"_s), "keep"));

    ASSERT_TRUE(kw::RemoveTemplate(folder, u"A"_s).ok());
    EXPECT_EQ(names(), (QStringList{u"B"_s, u"A"_s}));
    EXPECT_TRUE(QFile::exists(file(u"A.xml"_s)));
    EXPECT_TRUE(QFile::exists(file(u"A_Layer 1.xml"_s)));

    ASSERT_TRUE(kw::RemoveTemplate(folder, u"A"_s).ok());
    EXPECT_FALSE(QFile::exists(file(u"A.xml"_s)));
    EXPECT_FALSE(QFile::exists(file(u"Demo 1_Layer 1.xml"_s)));
    EXPECT_TRUE(QFile::exists(file(u"A_Layer 1.xml"_s))); // B's layer
    EXPECT_EQ(ReadFileBytes(sandbox.filePath(u"outside.xml"_s)), "keep");
}

// A template list kept in an encoding that cannot hold a new name: the add or
// rename is refused before any file is written or renamed, so no template
// file is orphaned by an entry saved as "??".
TEST_F(TemplateLibraryTest, NamesTheListsEncodingCannotHoldAreRefused)
{
    const QByteArray latin1 = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<Templates>\r\n"
                              "<template>Demo 1</template>\r\n<template>Caf\xE9</template>\r\n"
                              "</Templates>\r\n";
    ASSERT_TRUE(WriteFileBytes(file(u"qthumb.xml"_s), latin1));
    ASSERT_TRUE(kw::CreateTemplateFile(folder, u"Caf\u00e9"_s, u"Demo 1_Layer 1"_s));
    EXPECT_EQ(names(), (QStringList{u"Demo 1"_s, u"Caf\u00e9"_s}));
    const auto before = snapshot();

    const kw::LibraryChange added = kw::AddTemplate(folder, u"\u4e2d\u6587"_s);
    EXPECT_FALSE(added);
    EXPECT_TRUE(added.error().contains(file(u"qthumb.xml"_s))) << added.error().toStdString();
    EXPECT_TRUE(added.error().contains(u"U+4E2D"_s)) << added.error().toStdString();
    EXPECT_EQ(snapshot(), before);

    const kw::LibraryChange renamed = kw::RenameTemplate(folder, u"Caf\u00e9"_s, u"\u4e2d"_s);
    EXPECT_FALSE(renamed);
    EXPECT_TRUE(renamed.error().contains(u"U+4E2D"_s)) << renamed.error().toStdString();
    EXPECT_EQ(snapshot(), before);

    // What ISO-8859-1 holds is written in it, the rest of the list untouched.
    ASSERT_TRUE(kw::RenameTemplate(folder, u"Caf\u00e9"_s, u"Th\u00e9"_s).ok());
    EXPECT_EQ(ReadFileBytes(file(u"qthumb.xml"_s)),
              QByteArray(latin1).replace("Caf\xE9", "Th\xE9"));
    EXPECT_TRUE(QFile::exists(file(u"Th\u00e9.xml"_s)));
}

// A template list saved in the ANSI code page keeps its bytes when a
// template is added, and a list whose declared encoding did not decode is
// not rewritten (its unreadable names would be saved as '?').
TEST_F(TemplateLibraryTest, TemplateListKeepsBytesItCouldNotReadAsUtf8)
{
    const QByteArray ansi = Index({"Demo 1", "Caf\xE9 \x80"});
    ASSERT_TRUE(WriteFileBytes(file(u"qthumb.xml"_s), ansi));
    EXPECT_EQ(names(), (QStringList{u"Demo 1"_s, u"Caf\u00e9 \u20ac"_s}));
    ASSERT_TRUE(kw::AddTemplate(folder, u"Logo"_s).ok());
    EXPECT_EQ(ReadFileBytes(file(u"qthumb.xml"_s)), Index({"Demo 1", "Caf\xE9 \x80", "Logo"}));

    const QByteArray sjis = "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<Templates>\r\n"
                            "<template>Demo 1</template>\r\n<template>\xFF</template>\r\n"
                            "</Templates>\r\n";
    ASSERT_TRUE(WriteFileBytes(file(u"qthumb.xml"_s), sjis));
    const auto before = snapshot();
    EXPECT_FALSE(kw::AddTemplate(folder, u"New"_s));
    const kw::LibraryChange removed = kw::RemoveTemplate(folder, u"Demo 1"_s);
    EXPECT_FALSE(removed);
    EXPECT_TRUE(removed.error().contains(u"could not be decoded"_s))
        << removed.error().toStdString();
    EXPECT_EQ(snapshot(), before);
}

TEST_F(TemplateLibraryTest, RefusedNamesWriteNothing)
{
    ASSERT_TRUE(kw::AddTemplate(folder, u"Logo"_s).ok());
    ASSERT_TRUE(WriteFileBytes(file(u"Stray.XML"_s), "x"));
    const QString refused[] = {
        u""_s,       u"   "_s,   u"a/b"_s,           u"../up"_s,          u"a\\b"_s,
        u"a:b"_s,    u"a*b"_s,   u"a?b"_s,           u"a\"b"_s,           u"a<b"_s,
        u"a>b"_s,    u"a|b"_s,   u"tab\there"_s,     u"del\x7f"_s,        u"nl\n"_s,
        u"."_s,      u".."_s,    u"demo 1"_s,        u"LOGO"_s,           u"logo_layer 1"_s,
        u"QTHUMB"_s, u"stray"_s, QString(300, u'a'), u"Demo 1_Layer 1"_s, QString(QChar(0xD800)),
    };
    const auto before = snapshot();
    for (const QString &name : refused) {
        SCOPED_TRACE(name.toStdString());
        const kw::LibraryChange added = kw::AddTemplate(folder, name);
        EXPECT_FALSE(added);
        EXPECT_FALSE(added.error().isEmpty());
        EXPECT_FALSE(kw::CheckNewLayerName(folder, name).isEmpty());
        if (name.compare(u"logo"_s, Qt::CaseInsensitive) != 0) {
            EXPECT_FALSE(kw::RenameTemplate(folder, u"Logo"_s, name));
        }
    }
    // The first layer's file name would be too long.
    EXPECT_FALSE(kw::AddTemplate(folder, QString(250, u'a')));
    EXPECT_EQ(snapshot(), before);
    EXPECT_TRUE(kw::CheckNewLayerName(folder, QString(250, u'a')).isEmpty());

    // "Demo" is free, but its first layer would be "Demo_Layer 1": also free.
    EXPECT_TRUE(kw::CheckNewTemplateName(folder, u"Demo").isEmpty());
    EXPECT_EQ(kw::CheckNewTemplateName(folder, u""), u"Please input a valid template name."_s);
    // Names that only look odd are fine.
    for (const QString &name : {u"..."_s, u" lead"_s, u"caf\u00e9 \u4e2d"_s, u"a.b"_s}) {
        EXPECT_TRUE(kw::AddTemplate(folder, name).ok()) << name.toStdString();
        EXPECT_EQ(kw::ReadTemplateLayers(folder, name), QStringList{kw::FirstLayerName(name)});
    }
}

} // namespace
