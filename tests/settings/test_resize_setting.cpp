#include "settings/resize_setting.h"

#include "support/test_sandbox.h"

#include <QDir>

#include <gtest/gtest.h>

#include <optional>
#include <tuple>
#include <utility>

using namespace Qt::StringLiterals;
using kw::test::ReadFileBytes;
using kw::test::WriteFileBytes;

namespace {

constexpr int kMax = 2147483647;

auto Fields(const kw::CResizeSetting &s)
{
    return std::tuple(s.scaleType, s.targetWidth, s.targetHeight, s.resizeEveryTime,
                      s.resizeJustThisTime);
}

TEST(ResizeSetting, ReadsHandWrittenFiles)
{
    const struct
    {
        const char *bytes; // nullptr: no file
        kw::CResizeSetting expected;
    } cases[] = {
        {nullptr, {1, 800, 600, 0, true}},
        {"[General]\r\nScaleType=3\r\nTargetWidth=1024\r\nTargetHeight=768\r\n"
         "ResizeEveryTime=1\r\n",
         {3, 1024, 768, 1, true}},
        {"[general]\ntargetheight=\"480\"\n", {1, 800, 480, 0, true}},
        {"[General]\nTargetWidth=\nTargetHeight=abc\n", {1, 0, 0, 0, true}},
        {"[General]\nTargetWidth=-5\nTargetHeight=99999999999\nScaleType=7\n",
         {7, -5, kMax, 0, true}},
        {"\xFF garbage\n=\n[\n", {1, 800, 600, 0, true}},
    };
    for (const auto &c : cases) {
        kw::test::TestSandbox sandbox;
        if (c.bytes) {
            ASSERT_TRUE(WriteFileBytes(sandbox.filePath(u"resizing_config.ini"_s), c.bytes));
        }
        kw::CResizeSetting setting{0, 1, 2, 3, true}; // the run-time flag is never read
        EXPECT_TRUE(kw::LoadResizeSetting(sandbox.path(), setting));
        EXPECT_EQ(Fields(setting), Fields(c.expected)) << c.bytes;
    }

    kw::test::TestSandbox sandbox;
    ASSERT_TRUE(QDir(sandbox.path()).mkdir(u"resizing_config.ini"_s));
    kw::CResizeSetting setting{3, 10, 20, 1, false};
    EXPECT_FALSE(kw::LoadResizeSetting(sandbox.path(), setting));
    EXPECT_EQ(Fields(setting), Fields({1, 800, 600, 0, false}));
}

TEST(ResizeSetting, Writes)
{
    kw::test::TestSandbox sandbox;
    const QString path = sandbox.filePath(u"resizing_config.ini"_s);
    ASSERT_TRUE(kw::SaveResizeSetting(sandbox.path(), {2, u"1024"_s, QString(), true}));
    EXPECT_EQ(ReadFileBytes(path), "[General]\r\nScaleType=2\r\nTargetWidth=1024\r\n"
                                   "TargetHeight=\r\nResizeEveryTime=1\r\n");
    kw::CResizeSetting setting;
    ASSERT_TRUE(kw::LoadResizeSetting(sandbox.path(), setting));
    EXPECT_EQ(Fields(setting), Fields({2, 1024, 0, 1, false})); // empty reads back as 0

    // Refused input leaves the file as it was.
    const QByteArray written = ReadFileBytes(path);
    for (const kw::ResizeSettingInput &input : {kw::ResizeSettingInput{4, u"1"_s, u"1"_s, false},
                                                {1, u"-5"_s, u"1"_s, false},
                                                {1, u"1"_s, u"5\n"_s, false}}) {
        const kw::Status saved = kw::SaveResizeSetting(sandbox.path(), input);
        EXPECT_FALSE(saved);
        EXPECT_FALSE(saved.error().isEmpty());
    }
    EXPECT_EQ(ReadFileBytes(path), written);
}

TEST(ResizeSetting, LongEdgeAndNeverEnlargeAreReadAsStored)
{
    const struct
    {
        const char *bytes;
        std::optional<int32_t> longEdge;
        bool neverEnlarge;
    } cases[] = {
        {"[General]\nScaleType=2\n", std::nullopt, false},
        {"[General]\nTargetLongEdge=2048\nNeverEnlarge=1\n", 2048, true},
        {"[General]\ntargetlongedge = \"1600\"\nneverenlarge=7\n", 1600, true},
        {"[General]\nTargetLongEdge=\nNeverEnlarge=0\n", 0, false},
        {"[General]\nTargetLongEdge=abc\nNeverEnlarge=yes\n", 0, false},
        {"[General]\nTargetLongEdge=-300\nNeverEnlarge=-1\n", -300, true},
        {"[General]\nTargetLongEdge=99999999999\n", kMax, false},
        {"[Other]\nTargetLongEdge=500\nNeverEnlarge=1\n", std::nullopt, false},
    };
    for (const auto &c : cases) {
        kw::test::TestSandbox sandbox;
        ASSERT_TRUE(WriteFileBytes(sandbox.filePath(u"resizing_config.ini"_s), c.bytes));
        kw::CResizeSetting setting;
        setting.targetLongEdge = 5; // overwritten by what the file says
        setting.neverEnlarge = true;
        EXPECT_TRUE(kw::LoadResizeSetting(sandbox.path(), setting));
        EXPECT_EQ(setting.targetLongEdge, c.longEdge) << c.bytes;
        EXPECT_EQ(setting.neverEnlarge, c.neverEnlarge) << c.bytes;
    }
}

TEST(ResizeSetting, LongEdgeAndNeverEnlargeAreWrittenOnlyWhenSet)
{
    kw::test::TestSandbox sandbox;
    const QString path = sandbox.filePath(u"resizing_config.ini"_s);
    const QByteArray plain = "[General]\r\nScaleType=1\r\nTargetWidth=800\r\n"
                             "TargetHeight=600\r\nResizeEveryTime=0\r\n";
    ASSERT_TRUE(kw::SaveResizeSetting(sandbox.path(), {1, u"800"_s, u"600"_s, false}));
    EXPECT_EQ(ReadFileBytes(path), plain);

    kw::ResizeSettingInput input{1, u"800"_s, u"600"_s, true};
    input.toLongEdge = true;
    input.targetLongEdge = u"2048"_s;
    input.neverEnlarge = true;
    ASSERT_TRUE(kw::SaveResizeSetting(sandbox.path(), input));
    EXPECT_EQ(ReadFileBytes(path), "[General]\r\nScaleType=1\r\nTargetWidth=800\r\n"
                                   "TargetHeight=600\r\nResizeEveryTime=1\r\n"
                                   "TargetLongEdge=2048\r\nNeverEnlarge=1\r\n");
    kw::CResizeSetting setting;
    ASSERT_TRUE(kw::LoadResizeSetting(sandbox.path(), setting));
    EXPECT_EQ(setting.targetLongEdge, 2048);
    EXPECT_TRUE(setting.neverEnlarge);

    // Not digits: refused, the file unchanged.
    const QByteArray written = ReadFileBytes(path);
    input.targetLongEdge = u"-1"_s;
    EXPECT_FALSE(kw::SaveResizeSetting(sandbox.path(), input));
    EXPECT_EQ(ReadFileBytes(path), written);

    // Back to width and enlarging: the two keys go, the file is as before.
    ASSERT_TRUE(kw::SaveResizeSetting(sandbox.path(), {1, u"800"_s, u"600"_s, false}));
    EXPECT_EQ(ReadFileBytes(path), plain);
    ASSERT_TRUE(kw::LoadResizeSetting(sandbox.path(), setting));
    EXPECT_EQ(setting.targetLongEdge, std::nullopt);
    EXPECT_FALSE(setting.neverEnlarge);
}

QByteArray Utf16LE(const QString &text)
{
    QByteArray bytes = "\xFF\xFE";
    for (const QChar c : text) {
        bytes += char(c.cell());
        bytes += char(c.row());
    }
    return bytes;
}

// A file written by a program working in the ANSI code page, or in UTF-16:
// a save changes the four values and no other byte.
TEST(ResizeSetting, SaveKeepsEveryOtherByteOfTheFile)
{
    const QByteArray ansi = "; Gr\xF6\xDF"
                            "e \x80 \x81\x8D\x8F\x90\x9D\r\n[General]\r\nScaleType=1\r\n"
                            "TargetWidth=800\r\nTargetHeight=600\r\nResizeEveryTime=0\r\n"
                            "Note=caf\xE9\r\n";
    const QByteArray ansiAfter = "; Gr\xF6\xDF"
                                 "e \x80 \x81\x8D\x8F\x90\x9D\r\n[General]\r\nScaleType=3\r\n"
                                 "TargetWidth=1024\r\nTargetHeight=768\r\nResizeEveryTime=1\r\n"
                                 "Note=caf\xE9\r\n";
    const QByteArray utf16 = Utf16LE(u"[General]\r\nNote=\u65e5\r\nScaleType=1\r\n"_s);
    const QByteArray utf16After =
        Utf16LE(u"[General]\r\nNote=\u65e5\r\nScaleType=3\r\nTargetWidth=1024\r\n"
                u"TargetHeight=768\r\nResizeEveryTime=1\r\n"_s);
    for (const auto &[before, after] : {std::pair(ansi, ansiAfter), std::pair(utf16, utf16After)}) {
        kw::test::TestSandbox sandbox;
        const QString path = sandbox.filePath(u"resizing_config.ini"_s);
        ASSERT_TRUE(WriteFileBytes(path, before));
        ASSERT_TRUE(kw::SaveResizeSetting(sandbox.path(), {3, u"1024"_s, u"768"_s, true}));
        EXPECT_EQ(ReadFileBytes(path), after);
        kw::CResizeSetting setting;
        ASSERT_TRUE(kw::LoadResizeSetting(sandbox.path(), setting));
        EXPECT_EQ(Fields(setting), Fields({3, 1024, 768, 1, false}));
    }
}

} // namespace
