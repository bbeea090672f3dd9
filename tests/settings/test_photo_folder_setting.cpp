#include "settings/photo_folder_setting.h"
#include "settings/template_selection.h"

#include "support/test_sandbox.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using kw::test::ReadFileBytes;
using kw::test::WriteFileBytes;

namespace {

TEST(PhotoFolderSetting, StoredBesideTheTemplateIndexAndRead)
{
    kw::test::TestSandbox sandbox;
    // No file, or a file of the template index only: no folder.
    EXPECT_EQ(kw::LoadLastPhotoFolder(sandbox.path()).valueOr(u"x"_s), QString());
    ASSERT_TRUE(kw::SaveSelectedTemplateIndex(sandbox.path(), 2));
    const QByteArray before = ReadFileBytes(sandbox.filePath(u"config.ini"_s));
    EXPECT_EQ(kw::LoadLastPhotoFolder(sandbox.path()).valueOr(u"x"_s), QString());

    ASSERT_TRUE(kw::SaveLastPhotoFolder(sandbox.path(), u"/home/u/Pictures/2024 Trip"_s));
    EXPECT_EQ(ReadFileBytes(sandbox.filePath(u"config.ini"_s)),
              before + "photoFolder=/home/u/Pictures/2024 Trip\r\n");
    EXPECT_EQ(kw::LoadLastPhotoFolder(sandbox.path()).valueOr({}), u"/home/u/Pictures/2024 Trip"_s);
    // The template index is kept, and saving it keeps the folder.
    ASSERT_TRUE(kw::SaveSelectedTemplateIndex(sandbox.path(), 0));
    EXPECT_EQ(kw::LoadLastPhotoFolder(sandbox.path()).valueOr({}), u"/home/u/Pictures/2024 Trip"_s);
    EXPECT_EQ(kw::LoadSelectedTemplateIndex(sandbox.path()).valueOr(-9), 0);

    // A folder name the file's code page cannot hold is refused, never
    // stored with question marks.
    const QString cyrillic = u"/home/u/Фото"_s;
    const kw::Status stored = kw::SaveLastPhotoFolder(sandbox.path(), cyrillic);
    if (stored)
        EXPECT_EQ(kw::LoadLastPhotoFolder(sandbox.path()).valueOr({}), cyrillic);
    else
        EXPECT_EQ(kw::LoadLastPhotoFolder(sandbox.path()).valueOr({}),
                  u"/home/u/Pictures/2024 Trip"_s);

    EXPECT_FALSE(kw::SaveLastPhotoFolder(QString(), u"/x"_s));
    EXPECT_FALSE(kw::LoadLastPhotoFolder(QString()));
}

} // namespace
