#include "model/layer_file.h"
#include "model/template_file.h"
#include "model/template_layers.h"
#include "model/template_library.h"
#include "model/watermark_conf.h"
#include "model_test_support.h"
#include "support/file_size_limit.h"
#include "support/test_sandbox.h"

#include <QDir>
#include <QFile>
#include <QMap>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using kw::test::FileSizeLimit;
using kw::test::ReadFileBytes;
using kw::test::WriteFileBytes;

namespace {

// A failed write is made with a file size limit. Qt writes a piece longer
// than its 16 KB buffer at once and so sees the failure; a shorter file
// failing only when flushed at commit would be reported as written.
const QByteArray kPadding = "<!--" + QByteArray(20000, '-') + "-->\r\n";
constexpr rlim_t kLimit = 8000;

// Two templates that share the layer "Shared":
//   First:  First_Layer 1, Shared
//   Second: Shared, Second_Layer 1
// and "Solo" with its one layer.
class TemplateLayersTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const QString &name : {u"First"_s, u"Second"_s, u"Solo"_s})
            ASSERT_TRUE(kw::AddTemplate(folder, name).ok());
        ASSERT_TRUE(kw::AddTemplateLayer(folder, u"First"_s, u"Shared"_s));
        writeTemplate(u"Second"_s, {u"Shared"_s, u"Second_Layer 1"_s});
    }

    void writeTemplate(const QString &name, const QStringList &layers, const QByteArray &pad = {})
    {
        QByteArray bytes = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Layers>\r\n";
        for (const QString &layer : layers)
            bytes += "<layer>" + layer.toUtf8() + "</layer>\r\n";
        bytes += pad + "</Layers>\r\n";
        ASSERT_TRUE(WriteFileBytes(file(name), bytes));
    }
    QString file(const QString &name) const { return kw::ModelFilePath(folder, name); }
    QStringList layers(const QString &name) const { return kw::ReadTemplateLayers(folder, name); }
    // Every file of the folder with its bytes.
    QMap<QString, QByteArray> snapshot() const
    {
        QMap<QString, QByteArray> all;
        for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::Hidden))
            all.insert(name, ReadFileBytes(QDir(folder).filePath(name)));
        return all;
    }

    kw::test::TestSandbox sandbox;
    QString folder = sandbox.filePath(u"templates"_s);
};

TEST_F(TemplateLayersTest, RefusalsAndBadIndexesChangeNothing)
{
    const auto before = snapshot();
    for (const QString &name : {u"shared"_s, u"Solo"_s, u"bad/name"_s, u""_s, u".."_s}) {
        const kw::Status added = kw::AddTemplateLayer(folder, u"First"_s, name);
        EXPECT_FALSE(added) << name.toStdString();
        EXPECT_EQ(added.error(), kw::CheckNewLayerName(folder, name));
        EXPECT_FALSE(kw::CheckLayerRename(folder, u"First"_s, 0, name).isEmpty());
        EXPECT_FALSE(kw::RenameTemplateLayer(folder, u"First"_s, 0, name));
    }
    for (int index : {-1, 2}) {
        EXPECT_FALSE(kw::RenameTemplateLayer(folder, u"First"_s, index, u"New"_s));
        EXPECT_FALSE(kw::RemoveTemplateLayer(folder, u"First"_s, index));
    }
    EXPECT_FALSE(kw::AddTemplateLayer(folder, u"Missing"_s, u"New"_s));
    EXPECT_FALSE(kw::AddTemplateLayer(folder, u"../First"_s, u"New"_s));
    EXPECT_EQ(snapshot(), before);

    // A template's only layer stays.
    const QString refusal = kw::CheckLayerRemoval(folder, u"Solo"_s, 0);
    EXPECT_TRUE(refusal.contains(u"last layer"_s)) << refusal.toStdString();
    const kw::Result<QString> removed = kw::RemoveTemplateLayer(folder, u"Solo"_s, 0);
    ASSERT_FALSE(removed);
    EXPECT_EQ(removed.error(), refusal);
    EXPECT_TRUE(kw::CheckLayerRemoval(folder, u"First"_s, 1).isEmpty());
    EXPECT_EQ(snapshot(), before);

    // The layer's own name is no rename at all.
    EXPECT_TRUE(kw::CheckLayerRename(folder, u"First"_s, 1, u"Shared"_s).isEmpty());
    EXPECT_TRUE(kw::RenameTemplateLayer(folder, u"First"_s, 1, u"Shared"_s));
    EXPECT_EQ(snapshot(), before);
}

TEST_F(TemplateLayersTest, ALayerTwoTemplatesShareIsNeitherRenamedNorDeleted)
{
    const auto before = snapshot();
    const QString refusal = kw::CheckLayerRename(folder, u"First"_s, 1, u"Renamed"_s);
    EXPECT_TRUE(refusal.contains(u"Second"_s)) << refusal.toStdString();
    const kw::Status renamed = kw::RenameTemplateLayer(folder, u"First"_s, 1, u"Renamed"_s);
    ASSERT_FALSE(renamed);
    EXPECT_EQ(renamed.error(), refusal);
    EXPECT_EQ(snapshot(), before);

    // Removed from one template, the layer keeps its file for the other.
    const kw::Result<QString> fromFirst = kw::RemoveTemplateLayer(folder, u"First"_s, 1);
    ASSERT_TRUE(fromFirst) << fromFirst.error().toStdString();
    EXPECT_TRUE(fromFirst->isEmpty());
    EXPECT_EQ(layers(u"First"_s), QStringList{u"First_Layer 1"_s});
    EXPECT_EQ(layers(u"Second"_s), (QStringList{u"Shared"_s, u"Second_Layer 1"_s}));
    EXPECT_EQ(ReadFileBytes(file(u"Shared"_s)), before.value(u"Shared.xml"_s));

    // Now only Second names it: it may be renamed, and then removed for good.
    ASSERT_TRUE(kw::RenameTemplateLayer(folder, u"Second"_s, 0, u"Renamed"_s));
    EXPECT_FALSE(QFile::exists(file(u"Shared"_s)));
    EXPECT_EQ(ReadFileBytes(file(u"Renamed"_s)), before.value(u"Shared.xml"_s));
    ASSERT_TRUE(kw::RemoveTemplateLayer(folder, u"Second"_s, 0));
    EXPECT_EQ(layers(u"Second"_s), QStringList{u"Second_Layer 1"_s});
    EXPECT_FALSE(QFile::exists(file(u"Renamed"_s)));
}

TEST_F(TemplateLayersTest, ALayerNamedTwiceInOneTemplateKeepsItsFileUntilTheLastEntry)
{
    writeTemplate(u"Solo"_s, {u"Solo_Layer 1"_s, u"Solo_Layer 1"_s});
    ASSERT_TRUE(kw::RemoveTemplateLayer(folder, u"Solo"_s, 1));
    EXPECT_TRUE(QFile::exists(file(u"Solo_Layer 1"_s)));
    EXPECT_EQ(layers(u"Solo"_s), QStringList{u"Solo_Layer 1"_s});
}

TEST_F(TemplateLayersTest, AFailedAddLeavesEveryFileAsItWas)
{
    // The template, padded, is written in one piece larger than the limit,
    // which the short layer file stays under: the layer file is written, the
    // template fails.
    writeTemplate(u"First"_s, {u"First_Layer 1"_s}, kPadding);
    const auto before = snapshot();
    kw::Status added;
    {
        const FileSizeLimit full(kLimit);
        added = kw::AddTemplateLayer(folder, u"First"_s, u"Extra"_s);
    }
    ASSERT_FALSE(added);
    EXPECT_TRUE(added.error().contains(u"template file cannot be written"_s))
        << added.error().toStdString();
    EXPECT_EQ(snapshot(), before);

    ASSERT_TRUE(kw::AddTemplateLayer(folder, u"First"_s, u"Extra"_s));
    EXPECT_EQ(layers(u"First"_s), (QStringList{u"First_Layer 1"_s, u"Extra"_s}));
}

TEST_F(TemplateLayersTest, AFailedRenameGivesTheLayerFileItsNameBack)
{
    writeTemplate(u"Solo"_s, {u"Solo_Layer 1"_s}, kPadding);
    const auto before = snapshot();
    kw::Status renamed;
    {
        const FileSizeLimit full(kLimit);
        renamed = kw::RenameTemplateLayer(folder, u"Solo"_s, 0, u"Renamed"_s);
    }
    ASSERT_FALSE(renamed);
    EXPECT_TRUE(renamed.error().contains(u"template file cannot be written"_s))
        << renamed.error().toStdString();
    EXPECT_EQ(snapshot(), before);

    ASSERT_TRUE(kw::RenameTemplateLayer(folder, u"Solo"_s, 0, u"Renamed"_s));
    EXPECT_EQ(layers(u"Solo"_s), QStringList{u"Renamed"_s});
}

} // namespace

TEST_F(TemplateLayersTest, AnAddedLayerTurnsAboutItsAnchor)
{
    // The layer added in SetUp: both parts turn about their anchor; the
    // template's first layer, made like the first-run one, does not.
    kw::CWatermarkConf added;
    ASSERT_TRUE(kw::LoadLayerOverDefaults(folder, u"Shared"_s, added));
    EXPECT_EQ(added.TurnAboutAnchor, 1);
    EXPECT_EQ(added.ImageTurnAboutAnchor, 1);
    EXPECT_EQ(added.textContent, kw::kAddedLayerText.toString());
    const QByteArray bytes = ReadFileBytes(file(u"Shared"_s));
    EXPECT_EQ(bytes.count("\r\n"), 46);
    EXPECT_TRUE(bytes.contains("<TurnAboutAnchor>1</TurnAboutAnchor>\r\n</Text>"));

    kw::CWatermarkConf first;
    ASSERT_TRUE(kw::LoadLayerOverDefaults(folder, u"First_Layer 1"_s, first));
    EXPECT_EQ(first.TurnAboutAnchor, 0);
    EXPECT_EQ(ReadFileBytes(file(u"First_Layer 1"_s)).count("\r\n"), 44);
}
