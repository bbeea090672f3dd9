#include "model/template_file.h"
#include "model_test_support.h"
#include "support/test_sandbox.h"

#include <QDir>

#include <gtest/gtest.h>

using kw::CWatermarkTemplate;

using namespace Qt::StringLiterals;
using kw::test::ReadFileBytes;
using kw::test::WriteFileBytes;

namespace {

class TemplateFileTest : public ::testing::Test
{
protected:
    kw::test::TestSandbox sandbox;
    QString folder = sandbox.filePath(u"templates"_s);
    bool made = QDir().mkpath(folder);
};

TEST_F(TemplateFileTest, TemplateFileIsWrittenByteForByte)
{
    ASSERT_TRUE(kw::CreateTemplateFile(folder, u"Demo 1"_s, kw::FirstLayerName(u"Demo 1")));
    EXPECT_EQ(ReadFileBytes(folder + u"/Demo 1.xml"_s),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
              "<Layers>\r\n"
              "<layer>Demo 1_Layer 1</layer>\r\n"
              "</Layers>\r\n");
    const kw::Result<CWatermarkTemplate> read = kw::ReadTemplate(folder, u"Demo 1"_s);
    ASSERT_TRUE(read) << read.error().toStdString();
    EXPECT_EQ(*read, (CWatermarkTemplate{u"Demo 1"_s, {u"Demo 1_Layer 1"_s}}));
}

TEST_F(TemplateFileTest, ReadTemplateLayersSkipsOtherChildren)
{
    ASSERT_TRUE(WriteFileBytes(folder + u"/T.xml"_s,
                               "<?xml version=\"1.0\"?>\n<!-- c -->\n<Layers>\n"
                               "  <layer>A</layer>\n  <other/>\n  <Layer>no</Layer>\n"
                               "  <layer>B &amp; C</layer>\n</Layers>\n"));
    EXPECT_EQ(kw::ReadTemplateLayers(folder, u"T"_s), (QStringList{u"A"_s, u"B & C"_s}));

    const QByteArray unusable[] = {"", "<Other><layer>A</layer></Other>",
                                   "<Layers><layer>A</layer>"};
    for (const QByteArray &bytes : unusable) {
        ASSERT_TRUE(WriteFileBytes(folder + u"/T.xml"_s, bytes));
        EXPECT_TRUE(kw::ReadTemplateLayers(folder, u"T"_s).isEmpty()) << bytes.constData();
        // The template a render uses refuses each, naming the file.
        const kw::Result<CWatermarkTemplate> read = kw::ReadTemplate(folder, u"T"_s);
        EXPECT_FALSE(read) << bytes.constData();
        EXPECT_TRUE(read.error().contains(folder + u"/T.xml"_s)) << read.error().toStdString();
    }
    EXPECT_TRUE(kw::ReadTemplateLayers(folder, u"missing"_s).isEmpty());
    EXPECT_TRUE(kw::ReadTemplate(folder, u"missing"_s).error().endsWith(u"no such file"_s));
    // Layers without any layer is a readable, empty template.
    ASSERT_TRUE(WriteFileBytes(folder + u"/T.xml"_s, "<Layers/>"));
    const kw::Result<CWatermarkTemplate> empty = kw::ReadTemplate(folder, u"T"_s);
    ASSERT_TRUE(empty) << empty.error().toStdString();
    EXPECT_TRUE(empty->layers.isEmpty());
}

TEST_F(TemplateFileTest, PathsStayInTheFolder)
{
    EXPECT_EQ(kw::ModelFilePath(u"/t", u"A b"), u"/t/A b.xml"_s);
    EXPECT_EQ(kw::ModelFilePath(u"/t/", u"..."), u"/t/....xml"_s);
    for (const QString &name : {u""_s, u"."_s, u".."_s, u"a/b"_s, u"..\\b"_s, u"a\0b"_s})
        EXPECT_TRUE(kw::ModelFilePath(u"/t", name).isEmpty()) << name.toStdString();
    EXPECT_TRUE(kw::ModelFilePath(u"", u"a").isEmpty());
    EXPECT_FALSE(kw::CreateTemplateFile(folder, u"../T"_s, u"L"_s));
    EXPECT_FALSE(QFile::exists(sandbox.filePath(u"T.xml"_s)));
}

// The removal-resistance option: one element at the end of "Layers", there
// exactly while the option is on.
TEST_F(TemplateFileTest, MarkWarpElementComesAndGoesWithTheOption)
{
    ASSERT_TRUE(kw::CreateTemplateFile(folder, u"Demo 1"_s, kw::FirstLayerName(u"Demo 1")));
    const QString path = folder + u"/Demo 1.xml"_s;
    const QByteArray original = ReadFileBytes(path);
    EXPECT_FALSE(kw::ReadMarkWarpSetting(folder, u"Demo 1"_s)->enabled);

    kw::MarkWarpSetting on;
    on.enabled = true;
    ASSERT_TRUE(kw::SaveMarkWarpSetting(folder, u"Demo 1"_s, on));
    EXPECT_EQ(ReadFileBytes(path), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
                                   "<Layers>\r\n"
                                   "<layer>Demo 1_Layer 1</layer>\r\n"
                                   "<ResistRemoval>1,8,0,0</ResistRemoval>\r\n"
                                   "</Layers>\r\n");
    EXPECT_EQ(*kw::ReadMarkWarpSetting(folder, u"Demo 1"_s), on);

    on.maxDisplacement = 0.5;
    on.opacityVariation = 4;
    ASSERT_TRUE(kw::SaveMarkWarpSetting(folder, u"Demo 1"_s, on));
    EXPECT_TRUE(ReadFileBytes(path).contains("<ResistRemoval>0.5,8,0,4</ResistRemoval>\r\n"));
    EXPECT_EQ(*kw::ReadMarkWarpSetting(folder, u"Demo 1"_s), on);
    EXPECT_EQ(kw::ReadTemplateLayers(folder, u"Demo 1"_s), QStringList{u"Demo 1_Layer 1"_s});

    ASSERT_TRUE(kw::SaveMarkWarpSetting(folder, u"Demo 1"_s, kw::MarkWarpSetting{}));
    EXPECT_EQ(ReadFileBytes(path), original);
}

TEST_F(TemplateFileTest, MarkWarpElementKeepsTheFilesLineBreaksAndIsFoundAnywhere)
{
    const QString path = folder + u"/T.xml"_s;
    const QByteArray lf = "<?xml version=\"1.0\"?>\n<Layers>\n<layer>A</layer>\n</Layers>\n";
    ASSERT_TRUE(WriteFileBytes(path, lf));
    kw::MarkWarpSetting on;
    on.enabled = true;
    on.maxOffset = 2;
    ASSERT_TRUE(kw::SaveMarkWarpSetting(folder, u"T"_s, on));
    EXPECT_EQ(ReadFileBytes(path), "<?xml version=\"1.0\"?>\n<Layers>\n<layer>A</layer>\n"
                                   "<ResistRemoval>1,8,2,0</ResistRemoval>\n</Layers>\n");
    ASSERT_TRUE(kw::SaveMarkWarpSetting(folder, u"T"_s, kw::MarkWarpSetting{}));
    EXPECT_EQ(ReadFileBytes(path), lf);

    // Before the layers, hand-edited: still read, still replaced in place.
    ASSERT_TRUE(WriteFileBytes(path, "<Layers>\r\n<ResistRemoval>2</ResistRemoval>\r\n"
                                     "<layer>A</layer>\r\n</Layers>\r\n"));
    const kw::Result<kw::MarkWarpSetting> read = kw::ReadMarkWarpSetting(folder, u"T"_s);
    ASSERT_TRUE(read);
    EXPECT_TRUE(read->enabled);
    EXPECT_EQ(read->maxDisplacement, 2.0);
    EXPECT_EQ(read->smoothness, 8.0);
    ASSERT_TRUE(kw::SaveMarkWarpSetting(folder, u"T"_s, on));
    EXPECT_EQ(ReadFileBytes(path), "<Layers>\r\n<ResistRemoval>1,8,2,0</ResistRemoval>\r\n"
                                   "<layer>A</layer>\r\n</Layers>\r\n");

    EXPECT_FALSE(kw::ReadMarkWarpSetting(folder, u"missing"_s));
    EXPECT_FALSE(kw::SaveMarkWarpSetting(folder, u"missing"_s, on));
    EXPECT_FALSE(QFile::exists(folder + u"/missing.xml"_s));
}

TEST_F(TemplateFileTest, MarkWarpNumbersAreClampedAndBadOnesTakeTheirDefaults)
{
    struct Case
    {
        QString text;
        double displacement, smoothness, offset, opacity;
    };
    const Case cases[] = {
        {u""_s, 1, 8, 0, 0},
        {u" 0.5 , 3 "_s, 0.5, 3, 0, 0},
        {u"x,1e400,nan,-3"_s, 1, 8, 0, 0},
        {u"99,0,1000,90"_s, 10, 1, 50, 50},
        {u"-1,1000,1,5,7"_s, 0, 100, 1, 5},
    };
    for (const Case &c : cases) {
        const kw::MarkWarpSetting s = kw::ParseMarkWarpSetting(c.text);
        EXPECT_TRUE(s.enabled);
        EXPECT_EQ(s.maxDisplacement, c.displacement) << c.text.toStdString();
        EXPECT_EQ(s.smoothness, c.smoothness) << c.text.toStdString();
        EXPECT_EQ(s.maxOffset, c.offset) << c.text.toStdString();
        EXPECT_EQ(s.opacityVariation, c.opacity) << c.text.toStdString();
        EXPECT_EQ(kw::ParseMarkWarpSetting(kw::FormatMarkWarpSetting(s)), s);
    }
}

TEST_F(TemplateFileTest, MetadataChoicesAreElementsPresentOnlyWhenSet)
{
    ASSERT_TRUE(kw::CreateTemplateFile(folder, u"Demo 1"_s, kw::FirstLayerName(u"Demo 1")));
    const QString path = folder + u"/Demo 1.xml"_s;
    const QByteArray original = ReadFileBytes(path);
    EXPECT_TRUE(kw::ReadOutputMetadataSetting(folder, u"Demo 1"_s)->isDefault());

    kw::OutputMetadataSetting choices;
    choices.stripSerialNumbers = true;
    choices.copyright = u"(c) {year} Jane & John <Doe>"_s;
    ASSERT_TRUE(kw::SaveOutputMetadataSetting(folder, u"Demo 1"_s, choices));
    EXPECT_EQ(ReadFileBytes(path),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
              "<Layers>\r\n"
              "<layer>Demo 1_Layer 1</layer>\r\n"
              "<StripSerialNumbers>1</StripSerialNumbers>\r\n"
              "<OutputCopyright>(c) {year} Jane &amp; John &lt;Doe&gt;</OutputCopyright>\r\n"
              "</Layers>\r\n");
    EXPECT_EQ(*kw::ReadOutputMetadataSetting(folder, u"Demo 1"_s), choices);

    choices.stripLocation = true;
    choices.artist = u"Jane"_s;
    choices.copyright.clear();
    ASSERT_TRUE(kw::SaveOutputMetadataSetting(folder, u"Demo 1"_s, choices));
    EXPECT_EQ(*kw::ReadOutputMetadataSetting(folder, u"Demo 1"_s), choices);
    EXPECT_FALSE(ReadFileBytes(path).contains("OutputCopyright"));
    EXPECT_EQ(kw::ReadTemplateLayers(folder, u"Demo 1"_s), QStringList{u"Demo 1_Layer 1"_s});

    ASSERT_TRUE(kw::SaveOutputMetadataSetting(folder, u"Demo 1"_s, kw::OutputMetadataSetting{}));
    EXPECT_EQ(ReadFileBytes(path), original);
    EXPECT_FALSE(kw::ReadOutputMetadataSetting(folder, u"missing"_s));
}

} // namespace
