#include "platform/ini_file.h"

#include "support/test_sandbox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdint>
#include <functional>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using kw::IniFile;
using kw::test::ReadFileBytes;
using kw::test::WriteFileBytes;

namespace {

// Loads the file, sets one value and saves it, as the settings modules do.
kw::Status WriteValue(const QString &path, QStringView section, QStringView key, QStringView value)
{
    IniFile file = IniFile::load(path);
    if (kw::Status set = file.setValue(section, key, value); !set)
        return set;
    return file.save();
}

// Keys before the first section, comments, a duplicate key, a second section
// of the same name, quoting, a section line without ']' and odd spacing.
constexpr char kOddFile[] = "orphan=before any section\r\n"
                            "; a comment\r\n"
                            "[General]\r\n"
                            "  Template =  3  \r\n"
                            "template=4\r\n"
                            "Quoted = \" padded \"\r\n"
                            "Single='x'\n"
                            "Mixed=\"x'\n"
                            "Empty=\n"
                            "NoEquals\n"
                            ";commented=1\n"
                            "[general]\n"
                            "late=second section of the same name\n"
                            "\t[ Spaced Section ]  \n"
                            "k=v\n"
                            "[Broken\n"
                            "afterBroken=still in the spaced section\n"
                            "[Other]\n"
                            "eq=a=b";

TEST(IniFile, ReadingRules)
{
    const IniFile file = IniFile::fromBytes(QByteArray(kOddFile));
    const QString missing = u"<missing>"_s;
    const struct
    {
        QString section, key, expected;
    } cases[] = {
        {u"GENERAL"_s, u"TEMPLATE"_s, u"3"_s}, // case-insensitive, trimmed, first key wins
        {u" General "_s, u"\ttemplate "_s, u"3"_s},
        {u"general"_s, u"quoted"_s, u" padded "_s},
        {u"General"_s, u"Single"_s, u"x"_s},
        {u"General"_s, u"Mixed"_s, u"\"x'"_s},
        {u"General"_s, u"Empty"_s, QString()},
        {u"General"_s, u"NoEquals"_s, missing},
        {u"General"_s, u";commented"_s, missing},
        {u"General"_s, u"late"_s, missing}, // only the first [General] is searched
        {u"General"_s, u"orphan"_s, missing},
        {u"spaced section"_s, u"K"_s, u"v"_s},
        {u"Spaced Section"_s, u"afterBroken"_s, u"still in the spaced section"_s},
        {u"Broken"_s, u"afterBroken"_s, missing},
        {u"Other"_s, u"eq"_s, u"a=b"_s},
        {u"Nowhere"_s, u"k"_s, missing},
        {QString(), u"orphan"_s, missing},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(qPrintable(c.section + u'/' + c.key));
        EXPECT_EQ(file.value(c.section, c.key, missing), c.expected);
        EXPECT_EQ(file.contains(c.section, c.key), c.expected != missing);
    }
}

TEST(IniFile, IntegerValues)
{
    const struct
    {
        const char *text;
        int expected;
    } cases[] = {
        {"7", 7},      {"\" 7\"", 7}, {"-12", -12},      {"+5", 5},
        {"12abc", 12}, {"x", 0},      {"", 0},           {"-", 0},
        {"1 2", 1},    {"--3", 0},    {"4294967297", 1}, {"2147483648", INT32_MIN},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        const IniFile file = IniFile::fromBytes(QByteArray("[s]\nk=") + c.text);
        EXPECT_EQ(file.intValue(u"s", u"k", 99), c.expected);
    }
    const IniFile file = IniFile::fromBytes("[s]\nk=1\n");
    EXPECT_EQ(file.intValue(u"s", u"other", 99), 99);
    EXPECT_EQ(file.intValue(u"t", u"k", -1), -1);
}

TEST(IniFile, MissingAndUnreadableFiles)
{
    kw::test::TestSandbox sandbox;
    const QString missing = sandbox.filePath(u"none.ini"_s);
    EXPECT_EQ(IniFile::load(missing).state(), IniFile::State::Missing);
    EXPECT_EQ(IniFile::load(missing).value(u"General", u"template", u"d"_s), u"d"_s);
    EXPECT_EQ(IniFile::load(missing).intValue(u"General", u"template", 5), 5);

    // A folder where the file should be is reported and never replaced.
    const QString folder = sandbox.filePath(u"folder.ini"_s);
    ASSERT_TRUE(QDir().mkdir(folder));
    const IniFile unreadable = IniFile::load(folder);
    EXPECT_EQ(unreadable.state(), IniFile::State::Unreadable);
    EXPECT_FALSE(unreadable.errorString().isEmpty());
    const kw::Status written = WriteValue(folder, u"General", u"template", u"1");
    EXPECT_FALSE(written);
    EXPECT_FALSE(written.error().isEmpty());
    EXPECT_TRUE(QFileInfo(folder).isDir());
}

// Writes one value into a file with the given bytes and returns the result.
QByteArray AfterWrite(const QByteArray &before, QStringView section, QStringView key,
                      QStringView value)
{
    kw::test::TestSandbox sandbox;
    const QString path = sandbox.filePath(u"config.ini"_s);
    if (!before.isNull()) {
        EXPECT_TRUE(WriteFileBytes(path, before));
    }
    const kw::Status written = WriteValue(path, section, key, value);
    EXPECT_TRUE(written) << qPrintable(written.error());
    return ReadFileBytes(path);
}

TEST(IniFile, WritesKeepEveryOtherByte)
{
    const struct
    {
        const char *name;
        QByteArray before;
        QString section, key, value;
        QByteArray after;
    } cases[] = {
        {"replace in place",
         "; settings\r\n[General]\r\n  Template =  1   \r\nother=x\n\n[Next]\r\nk=v", u"general"_s,
         u"TEMPLATE"_s, u"22"_s,
         "; settings\r\n[General]\r\n  Template =  22   \r\nother=x\n\n[Next]\r\nk=v"},
        {"replace first duplicate only", "[s]\nk=1\nk=2\n", u"s"_s, u"k"_s, u"3"_s,
         "[s]\nk=3\nk=2\n"},
        {"fill an empty value", "[s]\r\nw= \r\n", u"s"_s, u"w"_s, u"800"_s, "[s]\r\nw= 800\r\n"},
        {"append before the next section's lead-in",
         "[A]\r\nx=1\r\n\r\n; about B\r\n[B]\r\ny=2\r\n", u"a"_s, u"z"_s, u"3"_s,
         "[A]\r\nx=1\r\nz=3\r\n\r\n; about B\r\n[B]\r\ny=2\r\n"},
        {"append to an empty section, LF kept", "[A]\n[B]\n", u"A"_s, u"z"_s, u"3"_s,
         "[A]\nz=3\n[B]\n"},
        {"append after a last line without break", "[A]\nx=1", u"A"_s, u"y"_s, u"2"_s,
         "[A]\nx=1\ny=2\n"},
        {"new section at the end", "[A]\nx=1", u"B"_s, u"k"_s, u"v"_s, "[A]\nx=1\n[B]\nk=v\n"},
        {"new file", QByteArray(), u"General"_s, u"template"_s, u"2"_s,
         "[General]\r\ntemplate=2\r\n"},
        {"empty value", "[s]\nk=5\n", u"s"_s, u"k"_s, QString(), "[s]\nk=\n"},
        {"undecodable bytes kept", "[s]\r\nname=caf\xE9\r\nk=1\r\n", u"s"_s, u"k"_s,
         u"\u00e9t\u00e9"_s, "[s]\r\nname=caf\xE9\r\nk=\xC3\xA9t\xC3\xA9\r\n"},
        {"bytes Windows-1252 leaves undefined kept", "[s]\r\nodd=\x81\x8D\x8F\x90\x9D\r\nk=1\r\n",
         u"s"_s, u"k"_s, u"2"_s, "[s]\r\nodd=\x81\x8D\x8F\x90\x9D\r\nk=2\r\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(AfterWrite(c.before, c.section, c.key, c.value), c.after);
    }
}

TEST(IniFile, RemovedKeysTakeTheirLinesOnly)
{
    const struct
    {
        const char *name;
        QByteArray before;
        QString section, key;
        QByteArray after;
    } cases[] = {
        {"a key between others, CR LF kept", "[s]\r\na=1\r\n  K = 2 \r\nb=3\r\n", u"S"_s, u"k"_s,
         "[s]\r\na=1\r\nb=3\r\n"},
        {"every duplicate of the section", "[s]\nk=1\nx=0\nK=2\n[t]\nk=3\n", u"s"_s, u"k"_s,
         "[s]\nx=0\n[t]\nk=3\n"},
        {"a last line without break", "[s]\na=1\nk=2", u"s"_s, u"k"_s, "[s]\na=1\n"},
        {"a missing key", "[s]\na=1\n", u"s"_s, u"k"_s, "[s]\na=1\n"},
        {"a missing section", "[s]\nk=1\n", u"t"_s, u"k"_s, "[s]\nk=1\n"},
        {"a commented key stays", "[s]\n;k=1\nk=2\n", u"s"_s, u"k"_s, "[s]\n;k=1\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        IniFile file = IniFile::fromBytes(c.before);
        file.removeKey(c.section, c.key);
        EXPECT_EQ(file.toBytes(), c.after);
        EXPECT_FALSE(file.contains(c.section, c.key));
    }
}

TEST(IniFile, ValuesReadBackAsWritten)
{
    IniFile file = IniFile::fromBytes("[s]\nk=old\n");
    for (const QString &value : {u" lead"_s, u"trail\t"_s, u"\"quoted\""_s, u"'x'"_s, u"'"_s,
                                 QString(), u"a=b ; c"_s, u"\u65e5\u672c"_s}) {
        ASSERT_TRUE(file.setValue(u"s", u"k", value));
        EXPECT_EQ(IniFile::fromBytes(file.toBytes()).value(u"s", u"k"), value);
    }
}

TEST(IniFile, LegacyAnsiLinesReadAsWindows1252)
{
    const IniFile file = IniFile::fromBytes(
        "[s]\nname=caf\xE9\neuro=\x80\nutf8=\xC3\xA9\nc1=\x81\x8D\x8F\x90\x9D\n");
    EXPECT_EQ(file.value(u"s", u"name"), u"caf\u00e9"_s);
    EXPECT_EQ(file.value(u"s", u"c1"), u"\u0081\u008D\u008F\u0090\u009D"_s);
    EXPECT_EQ(file.value(u"s", u"euro"), u"\u20ac"_s);
    EXPECT_EQ(file.value(u"s", u"utf8"), u"\u00e9"_s);
}

QByteArray Utf16(const QString &text, bool littleEndian)
{
    QByteArray bytes;
    for (const QChar unit : text) {
        bytes.append(char(littleEndian ? unit.cell() : unit.row()));
        bytes.append(char(littleEndian ? unit.row() : unit.cell()));
    }
    return bytes;
}

TEST(IniFile, EncodingAndByteOrderMarkKept)
{
    const QString before = u"[G\u00e9n\u00e9ral]\r\ncl\u00e9=\u00e9t\u00e9\r\n"_s;
    const QString after = u"[G\u00e9n\u00e9ral]\r\ncl\u00e9=\u65e5\u672c\r\nnew=1\r\n"_s;
    const struct
    {
        const char *name;
        kw::IniEncoding encoding;
        QByteArray bom;
        std::function<QByteArray(const QString &)> encode;
    } cases[] = {
        {"UTF-8", kw::IniEncoding::Utf8, "", [](const QString &t) { return t.toUtf8(); }},
        {"UTF-8 BOM", kw::IniEncoding::Utf8Bom, "\xEF\xBB\xBF",
         [](const QString &t) { return t.toUtf8(); }},
        {"UTF-16LE", kw::IniEncoding::Utf16LE, "\xFF\xFE",
         [](const QString &t) { return Utf16(t, true); }},
        {"UTF-16BE", kw::IniEncoding::Utf16BE, "\xFE\xFF",
         [](const QString &t) { return Utf16(t, false); }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        IniFile file = IniFile::fromBytes(c.bom + c.encode(before));
        EXPECT_EQ(file.encoding(), c.encoding);
        EXPECT_EQ(file.value(u"g\u00c9n\u00c9RAL", u"CL\u00c9"), u"\u00e9t\u00e9"_s);
        ASSERT_TRUE(file.setValue(u"G\u00e9n\u00e9ral", u"cl\u00e9", u"\u65e5\u672c"));
        ASSERT_TRUE(file.setValue(u"G\u00e9n\u00e9ral", u"new", u"1"));
        EXPECT_EQ(file.toBytes(), c.bom + c.encode(after));
    }

    // An odd last byte of a UTF-16 file is not lost.
    IniFile odd = IniFile::fromBytes("\xFF\xFE" + Utf16(u"[s]\r\nk=1\r\n"_s, true) + "A");
    ASSERT_TRUE(odd.setValue(u"s", u"k", u"2"));
    EXPECT_EQ(odd.toBytes(), "\xFF\xFE" + Utf16(u"[s]\r\nk=2\r\n"_s, true) + "A");
}

TEST(IniFile, RefusedWritesChangeNothing)
{
    const struct
    {
        QString section, key, value;
    } cases[] = {
        {QString(), u"k"_s, u"v"_s},        {u"s"_s, u"  "_s, u"v"_s},
        {u"a]b"_s, u"k"_s, u"v"_s},         {u"s"_s, u"a=b"_s, u"v"_s},
        {u"s"_s, u"[k"_s, u"v"_s},          {u"s"_s, u";k"_s, u"v"_s},
        {u"s"_s, u"k"_s, u"line\nbreak"_s}, {u"s"_s, u"k"_s, u"cr\r"_s},
        {u"s"_s, u"k"_s, u"nul\0"_s},       {u"s\n"_s, u"k"_s, u"v"_s},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(qPrintable(c.section + u'/' + c.key));
        IniFile file = IniFile::fromBytes("[s]\nk=1\n");
        const kw::Status set = file.setValue(c.section, c.key, c.value);
        EXPECT_FALSE(set);
        EXPECT_FALSE(set.error().isEmpty());
        EXPECT_EQ(file.toBytes(), "[s]\nk=1\n");
    }
}

// UTF-8 cannot carry a lone surrogate: it would be written as '?'. A UTF-16
// file keeps the code unit as it is.
TEST(IniFile, TextTheEncodingCannotCarryIsRefused)
{
    const QString lone = u"a"_s + QChar(0xD800);
    IniFile utf8 = IniFile::fromBytes("[s]\nk=1\n", u"/x/config.ini"_s);
    const kw::Status set = utf8.setValue(u"s", u"k", lone);
    EXPECT_FALSE(set);
    EXPECT_TRUE(set.error().contains(u"/x/config.ini"_s)) << qPrintable(set.error());
    EXPECT_TRUE(set.error().contains(u"U+D800"_s)) << qPrintable(set.error());
    EXPECT_EQ(utf8.toBytes(), "[s]\nk=1\n");
    EXPECT_FALSE(utf8.setValue(u"s", lone, u"1"));
    EXPECT_TRUE(utf8.setValue(u"s", u"k", u"\U0001F600"_s)); // a whole pair is fine

    IniFile utf16 = IniFile::fromBytes("\xFF\xFE" + Utf16(u"[s]\r\nk=1\r\n"_s, true));
    ASSERT_TRUE(utf16.setValue(u"s", u"k", lone));
    EXPECT_EQ(IniFile::fromBytes(utf16.toBytes()).value(u"s", u"k"), lone);
}

TEST(IniFile, FailedSaveReturnsReason)
{
    kw::test::TestSandbox sandbox;
    // A regular file where the folder should be fails for every user.
    ASSERT_TRUE(WriteFileBytes(sandbox.filePath(u"plain"_s), "x"));
    const kw::Status written =
        WriteValue(sandbox.filePath(u"plain/config.ini"_s), u"General", u"template", u"1");
    EXPECT_FALSE(written);
    EXPECT_TRUE(written.error().contains(u"config.ini"_s)) << qPrintable(written.error());
}

TEST(IniFile, ReadOnlyFolderRefusesWrite)
{
    kw::test::TestSandbox sandbox;
    const QString folder = sandbox.filePath(u"locked"_s);
    ASSERT_TRUE(QDir().mkdir(folder));
    const QString path = folder + u"/config.ini"_s;
    ASSERT_TRUE(WriteFileBytes(path, "[General]\r\ntemplate=0\r\n"));
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
    if (QFileInfo(folder).isWritable()) {
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        GTEST_SKIP() << "running with rights that ignore folder permissions";
    }
    const kw::Status written = WriteValue(path, u"General", u"template", u"1");
    EXPECT_FALSE(written);
    EXPECT_FALSE(written.error().isEmpty());
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(ReadFileBytes(path), "[General]\r\ntemplate=0\r\n");
}

} // namespace
