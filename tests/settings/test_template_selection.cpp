#include "settings/template_selection.h"

#include "support/test_sandbox.h"

#include <QDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using kw::test::ReadFileBytes;
using kw::test::WriteFileBytes;

namespace {

TEST(TemplateSelection, ReadsHandWrittenFiles)
{
    const struct
    {
        const char *bytes; // nullptr: no file
        int expected;
    } cases[] = {
        {nullptr, 0},
        {"[Other]\ntemplate=3\n", 0},
        {"; mine\n[general]\nTEMPLATE = 5\n", 5},
        {"[General]\ntemplate=-1\n", -1},
        {"[General]\ntemplate=99999999999\n", 2147483647},
    };
    for (const auto &c : cases) {
        kw::test::TestSandbox sandbox;
        if (c.bytes) {
            ASSERT_TRUE(WriteFileBytes(sandbox.filePath(u"config.ini"_s), c.bytes));
        }
        const kw::Result<int> loaded = kw::LoadSelectedTemplateIndex(sandbox.path());
        ASSERT_TRUE(loaded);
        EXPECT_EQ(*loaded, c.expected) << c.bytes;
    }
}

TEST(TemplateSelection, Writes)
{
    kw::test::TestSandbox sandbox;
    // Selecting the third template and closing.
    ASSERT_TRUE(kw::SaveSelectedTemplateIndex(sandbox.path(), 2));
    EXPECT_EQ(ReadFileBytes(sandbox.filePath(u"config.ini"_s)), "[General]\r\ntemplate=2\r\n");
    ASSERT_TRUE(kw::SaveSelectedTemplateIndex(sandbox.path(), -1));
    EXPECT_EQ(kw::LoadSelectedTemplateIndex(sandbox.path()).valueOr(0), -1);

    const kw::Status noFolder = kw::SaveSelectedTemplateIndex(QString(), 1);
    EXPECT_FALSE(noFolder);
    EXPECT_FALSE(noFolder.error().isEmpty());
    ASSERT_TRUE(QDir(sandbox.path()).mkdir(u"sub"_s));
    ASSERT_TRUE(QDir(sandbox.filePath(u"sub"_s)).mkdir(u"config.ini"_s));
    const kw::Result<int> unreadable = kw::LoadSelectedTemplateIndex(sandbox.filePath(u"sub"_s));
    EXPECT_FALSE(unreadable);
    EXPECT_TRUE(unreadable.error().contains(u"config.ini"_s)) << unreadable.error().toStdString();
    EXPECT_FALSE(kw::SaveSelectedTemplateIndex(sandbox.filePath(u"sub"_s), 1));
}

} // namespace
