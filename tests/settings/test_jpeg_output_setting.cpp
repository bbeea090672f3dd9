#include "settings/jpeg_output_setting.h"

#include "settings/preferences.h"
#include "support/test_sandbox.h"

#include <QFileInfo>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using kw::test::ReadFileBytes;
using kw::test::WriteFileBytes;

namespace {

QString File(const kw::test::TestSandbox &sandbox)
{
    return sandbox.filePath(u"preference.xml"_s);
}

TEST(JpegOutputSetting, ElementsComeAndGoWithTheirValues)
{
    kw::test::TestSandbox sandbox;
    ASSERT_TRUE(kw::CreateDefaultPreferences(sandbox.path(), [] { return u"/out"_s; }));
    const QByteArray firstRun = ReadFileBytes(File(sandbox));

    // The first-run file says "quality 98" by having no element: nothing is written.
    ASSERT_TRUE(kw::SaveJpegOutputSetting(sandbox.path(), {}));
    EXPECT_EQ(ReadFileBytes(File(sandbox)), firstRun);
    EXPECT_EQ(*kw::LoadJpegOutputSetting(sandbox.path()), kw::JpegOutputSetting());

    const kw::JpegOutputSetting kept{kw::JpegOutputMode::KeepOriginal, true};
    ASSERT_TRUE(kw::SaveJpegOutputSetting(sandbox.path(), kept));
    // Appended at the end of Preferences, in the file's own line ends; the
    // rest byte for byte.
    QByteArray expected = firstRun;
    expected.replace("</Preferences>", "<JpegOutputMode>1</JpegOutputMode>\r\n"
                                       "<JpegOptimizedHuffman>1</JpegOptimizedHuffman>\r\n"
                                       "</Preferences>");
    EXPECT_EQ(ReadFileBytes(File(sandbox)), expected);
    EXPECT_EQ(*kw::LoadJpegOutputSetting(sandbox.path()), kept);
    kw::CPreferences prefs;
    ASSERT_TRUE(kw::LoadPreferences(sandbox.path(), prefs));
    EXPECT_EQ(prefs.jpegOutput, kept);

    // Back to the defaults: the file is the first-run file again.
    ASSERT_TRUE(kw::SaveJpegOutputSetting(sandbox.path(), {}));
    EXPECT_EQ(ReadFileBytes(File(sandbox)), firstRun);
}

TEST(JpegOutputSetting, FoundWhereverItStands)
{
    kw::test::TestSandbox sandbox;
    // Ahead of the other elements, in a file with LF line ends and an unknown
    // value for the table choice.
    const QByteArray file = "<Preferences>\n<JpegOptimizedHuffman>7</JpegOptimizedHuffman>\n"
                            "<JpegOutputMode>1</JpegOutputMode>\n"
                            "<OutputFolderOpts>0</OutputFolderOpts>\n</Preferences>\n";
    ASSERT_TRUE(WriteFileBytes(File(sandbox), file));
    const kw::Result<kw::JpegOutputSetting> read = kw::LoadJpegOutputSetting(sandbox.path());
    ASSERT_TRUE(read);
    EXPECT_EQ(read->mode, kw::JpegOutputMode::KeepOriginal);
    EXPECT_FALSE(read->optimizedHuffman);

    // Saving what is there already changes nothing; the mode going back to
    // quality 98 removes its element and its line only.
    ASSERT_TRUE(
        kw::SaveJpegOutputSetting(sandbox.path(), {kw::JpegOutputMode::KeepOriginal, false}));
    QByteArray expected = file;
    expected.replace("<JpegOptimizedHuffman>7</JpegOptimizedHuffman>\n", "");
    EXPECT_EQ(ReadFileBytes(File(sandbox)), expected);
    ASSERT_TRUE(kw::SaveJpegOutputSetting(sandbox.path(), {}));
    expected.replace("<JpegOutputMode>1</JpegOutputMode>\n", "");
    EXPECT_EQ(ReadFileBytes(File(sandbox)), expected);

    // No file, or no Preferences: a failure, and nothing is created.
    kw::test::TestSandbox empty;
    EXPECT_FALSE(kw::LoadJpegOutputSetting(empty.path()));
    EXPECT_FALSE(
        kw::SaveJpegOutputSetting(empty.path(), {kw::JpegOutputMode::KeepOriginal, false}));
    EXPECT_FALSE(QFileInfo::exists(File(empty)));
    ASSERT_TRUE(WriteFileBytes(File(empty), "<Settings/>\n"));
    EXPECT_FALSE(
        kw::SaveJpegOutputSetting(empty.path(), {kw::JpegOutputMode::KeepOriginal, false}));
    EXPECT_EQ(ReadFileBytes(File(empty)), QByteArray("<Settings/>\n"));
}

} // namespace
