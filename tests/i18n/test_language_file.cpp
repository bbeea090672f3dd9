#include "i18n/language_file.h"
#include "i18n/string_table.h"

#include "support/test_sandbox.h"

#include <QColor>
#include <QDir>
#include <QFileInfo>
#include <QImage>

#include <iterator>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// A sandbox with an executable folder "<sandbox>/prefix/bin" and no other
// folder that could hold a language file.
class LanguageFileTest : public ::testing::Test
{
protected:
    LanguageFileTest()
        : m_oldDataDirs(qgetenv("XDG_DATA_DIRS")),
          m_hadDataDirs(qEnvironmentVariableIsSet("XDG_DATA_DIRS"))
    {
        qputenv("XDG_DATA_DIRS", QFile::encodeName(m_sandbox.filePath(u"system"_s)));
        QDir().mkpath(m_exeFolder);
    }
    ~LanguageFileTest() override
    {
        if (m_hadDataDirs)
            qputenv("XDG_DATA_DIRS", m_oldDataDirs);
        else
            qunsetenv("XDG_DATA_DIRS");
    }

    // Writes `bytes` to `relative` under the sandbox and returns the path.
    QString write(const QString &relative, const QByteArray &bytes)
    {
        const QString path = m_sandbox.filePath(relative);
        QDir().mkpath(QFileInfo(path).path());
        EXPECT_TRUE(kw::test::WriteFileBytes(path, bytes));
        return path;
    }

    kw::test::TestSandbox m_sandbox;
    QString m_exeFolder = m_sandbox.filePath(u"prefix/bin"_s);
    QByteArray m_oldDataDirs;
    bool m_hadDataDirs;
};

TEST_F(LanguageFileTest, BuiltInTextsWithoutLanguageFile)
{
    const QString path = kw::GetLanguageFile(m_exeFolder);
    EXPECT_EQ(path, m_exeFolder + u"/Lang/lang_en.ini"_s);
    const kw::LanguageFile file = kw::LanguageFile::open(path);
    EXPECT_EQ(file.string(kw::kStrTipAddPhotos), u"Add photo files"_s);
    EXPECT_EQ(file.string(kw::kStrTipRemoveItem), u"Remove selected item from list"_s);
    EXPECT_EQ(file.string(999), QString());
    EXPECT_TRUE(file.bitmap(132).isNull());
    EXPECT_EQ(kw::GetLanguageFile(QString()), u"./Lang/lang_en.ini"_s);
}

TEST_F(LanguageFileTest, StringsReplacedWithEscapes)
{
    const QString longText(20000, u'x');
    write(u"prefix/bin/Lang/lang_en.ini"_s, "\xEF\xBB\xBF[string]\r\n"
                                            "103=Add\\nphoto\\tfiles\r\n"
                                            "104=\r\n"
                                            "105=\\\\n\r\n"
                                            "106=" +
                                                longText.toLatin1() + "\r\n");
    const kw::LanguageFile file = kw::LanguageFile::open(kw::GetLanguageFile(m_exeFolder));
    EXPECT_EQ(file.string(103), u"Add\nphoto\tfiles"_s);
    EXPECT_EQ(file.string(104), u"Remove selected item from list"_s); // empty: built-in
    EXPECT_EQ(file.string(105), u"\\\n"_s);
    EXPECT_EQ(file.string(106), longText.left(kw::kLanguageValueBuffer - 1));
    EXPECT_EQ(file.string(107), u"Abort processing"_s); // missing key: built-in
}

TEST_F(LanguageFileTest, FoundBesideExecutableFirstThenInDataFolders)
{
    const QString xdgHome = u"home/.local/share/kelvane-watermark/Lang/lang_en.ini"_s;
    const QString installed = u"prefix/share/kelvane-watermark/Lang/lang_en.ini"_s;
    const QString beside = u"prefix/bin/Lang/lang_en.ini"_s;

    write(xdgHome, "[STRING]\n103=home\n");
    EXPECT_EQ(kw::GetLanguageFile(m_exeFolder), m_sandbox.filePath(xdgHome));
    write(installed, "[STRING]\n103=installed\n");
    EXPECT_EQ(kw::GetLanguageFile(m_exeFolder), m_sandbox.filePath(installed));
    write(beside, "[STRING]\n103=beside\n");
    const kw::LanguageFile file = kw::LanguageFile::open(kw::GetLanguageFile(m_exeFolder));
    EXPECT_EQ(file.string(103), u"beside"_s);
}

TEST_F(LanguageFileTest, BitmapsFromLanguageFileOrBuiltIn)
{
    QImage picture(7, 5, QImage::Format_ARGB32);
    picture.fill(Qt::red);
    write(u"prefix/bin/Lang/pics/corrupt.bmp"_s, "BM not really a bitmap");
    ASSERT_TRUE(picture.save(m_sandbox.filePath(u"prefix/bin/Lang/pics/bar.png"_s)));
    write(u"prefix/bin/Lang/lang_en.ini"_s, "[BITMAP]\n"
                                            "132=Lang\\pics\\bar.png\n"
                                            "131=Lang/pics/missing.bmp\n"
                                            "130=Lang/pics/corrupt.bmp\n");
    const kw::LanguageFile file = kw::LanguageFile::open(kw::GetLanguageFile(m_exeFolder));
    const auto builtIn = [](int id) { return QImage(id, 1, QImage::Format_ARGB32); };

    const QImage replaced = file.bitmap(132, builtIn);
    EXPECT_EQ(replaced.size(), QSize(7, 5));
    EXPECT_EQ(replaced.pixelColor(3, 2), QColor(Qt::red));
    for (int id : {131, 130, 129}) {
        SCOPED_TRACE(id);
        EXPECT_TRUE(file.bitmap(id).isNull());
        EXPECT_EQ(file.bitmap(id, builtIn).width(), id);
    }
}

TEST(StringTable, EveryTextTheProgramUses)
{
    const int ids[] = {101, 103, 104, 105, 106, 107, 108, 109, 114, 115,
                       116, 117, 118, 119, 120, 121, 122, 124, 125, 126};
    for (int id : ids)
        EXPECT_FALSE(kw::ResourceString(id).isEmpty()) << id;
    EXPECT_EQ(kw::ResourceStrings().size(), std::size(ids));
    EXPECT_EQ(kw::LocationName(kw::LocationCode::TopLeft), u"Top Left"_s);
    EXPECT_EQ(kw::LocationName(kw::LocationCode::BottomRight), u"Bottom Right"_s);
    EXPECT_EQ(kw::LocationName(kw::LocationCode(kw::kLocationCodeCount)), QString());
}

} // namespace
