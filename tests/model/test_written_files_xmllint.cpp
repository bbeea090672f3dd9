// Every XML file the model writes must be accepted by a second XML reader.
#include "model/layer_file.h"
#include "model/template_library.h"
#include "model/watermark_conf.h"
#include "platform/app_folders.h"
#include "support/test_sandbox.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

using kw::CWatermarkConf;

using namespace Qt::StringLiterals;

namespace {

TEST(WrittenFiles, XmllintAcceptsEveryFile)
{
    const QString xmllint = QStandardPaths::findExecutable(u"xmllint"_s);
    if (xmllint.isEmpty())
        GTEST_SKIP() << "xmllint is not on the PATH";

    kw::test::TestSandbox sandbox;
    const QString folder = kw::GetTemplatesFolder();
    ASSERT_TRUE(kw::SeedFirstRun(folder).ok());
    ASSERT_TRUE(kw::AddTemplate(folder, u"A & B 'q'"_s).ok());
    ASSERT_TRUE(kw::AddTemplate(folder, u"Gone"_s).ok());
    ASSERT_TRUE(kw::RenameTemplate(folder, u"Gone"_s, u"Renamed"_s).ok());
    ASSERT_TRUE(kw::RemoveTemplate(folder, u"Renamed"_s).ok());
    CWatermarkConf conf;
    kw::ApplyNewLayerDefaults(conf, u"]]> & <x> 'a' \"b\" \u00e9\U0001F600"_s);
    conf.ImagePathName = u"/a&b/<c>.png"_s;
    ASSERT_TRUE(kw::CreateLayerFile(folder, u"Odd"_s, conf));
    conf.textContent = u"--><!--"_s;
    ASSERT_TRUE(kw::SaveLayerConf(folder, u"Demo 1_Layer 1"_s, conf));

    const QStringList files = QDir(folder).entryList({u"*.xml"_s}, QDir::Files);
    ASSERT_EQ(files.size(), 6);
    for (const QString &name : files) {
        QProcess lint;
        lint.start(xmllint, {u"--noout"_s, QDir(folder).filePath(name)});
        ASSERT_TRUE(lint.waitForFinished(30000)) << name.toStdString();
        EXPECT_EQ(lint.exitCode(), 0)
            << name.toStdString() << ": " << lint.readAllStandardError().toStdString();
    }
}

} // namespace
