#include "model/template_file.h"
#include "model_test_support.h"
#include "support/test_sandbox.h"

#include <QDir>

#include <gtest/gtest.h>

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

} // namespace
