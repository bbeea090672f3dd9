#include "platform/app_folders.h"

#include "support/test_sandbox.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// Sets an environment variable for the lifetime of the object.
class ScopedEnv
{
public:
    ScopedEnv(const char *name, const QString &value)
        : m_name(name), m_old(qgetenv(name)), m_had(qEnvironmentVariableIsSet(name))
    {
        qputenv(name, QFile::encodeName(value));
    }
    ~ScopedEnv()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char *m_name;
    QByteArray m_old;
    bool m_had;
};

TEST(AppFolders, CreateFolderPath)
{
    kw::test::TestSandbox sandbox;
    EXPECT_FALSE(kw::CreateFolderPath(QString()));
    const QString deep = sandbox.filePath(u"a/b/c"_s);
    EXPECT_TRUE(kw::CreateFolderPath(deep + u'/'));
    EXPECT_TRUE(QFileInfo(deep).isDir());
    EXPECT_TRUE(kw::CreateFolderPath(deep)); // already there
    ASSERT_TRUE(kw::test::WriteFileBytes(sandbox.filePath(u"file"_s), "x"));
    EXPECT_FALSE(kw::CreateFolderPath(sandbox.filePath(u"file/sub"_s)));
}

TEST(AppFolders, FoldersInTheUsersDataAndDocuments)
{
    kw::test::TestSandbox sandbox;
    // The documents folder may be named in user-dirs.dirs under XDG_CONFIG_HOME.
    ScopedEnv config("XDG_CONFIG_HOME", sandbox.filePath(u"home/.config"_s));
    const QString exeFolder = sandbox.filePath(u"bin"_s);

    const QString appData = kw::GetAppDataFolder(exeFolder);
    EXPECT_EQ(appData, sandbox.filePath(u"home/.local/share/Kelvane Watermark"_s));
    EXPECT_TRUE(QFileInfo(appData).isDir());

    const QString output = kw::GetDocumentsOutputFolder(exeFolder);
    EXPECT_EQ(output, sandbox.filePath(u"home/Documents/Kelvane Watermark"_s));
    EXPECT_TRUE(QFileInfo(output).isDir());

    // The templates folder is named but left for the first run to create.
    const QString templates = kw::GetTemplatesFolder(exeFolder);
    EXPECT_EQ(templates, appData + u"/templates"_s);
    EXPECT_FALSE(QFileInfo::exists(templates));
    EXPECT_FALSE(QFileInfo::exists(sandbox.filePath(u"bin/Profile"_s)));
}

TEST(AppFolders, ProfileBesideExecutableWhenDataFolderCannotBeMade)
{
    kw::test::TestSandbox sandbox;
    // A regular file in the way makes the data folder impossible for any user.
    ASSERT_TRUE(kw::test::WriteFileBytes(sandbox.filePath(u"blocker"_s), "x"));
    ScopedEnv data("XDG_DATA_HOME", sandbox.filePath(u"blocker/share"_s));
    const QString exeFolder = sandbox.filePath(u"bin"_s);

    const QString appData = kw::GetAppDataFolder(exeFolder);
    EXPECT_EQ(appData, exeFolder + u"/Profile"_s);
    EXPECT_TRUE(QFileInfo(appData).isDir());
    EXPECT_EQ(kw::GetTemplatesFolder(exeFolder), exeFolder + u"/Profile/templates"_s);
    EXPECT_EQ(kw::GetAppDataFolder(QString()), QString());
}

} // namespace
