#include "platform/code_pages.h"

#include <gtest/gtest.h>

#include <iconv.h>

#include <set>
#include <string>

namespace kw {
namespace {

using namespace Qt::StringLiterals;

QByteArray Bytes(std::string_view s)
{
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

struct NameCase
{
    QString name;
    int codePage;
};

TEST(CodePageFromEncodingName, LooksUpNames)
{
    const NameCase cases[] = {
        {u"utf-8"_s, 65001},
        {u"UTF-8"_s, 65001},
        {u"Utf8"_s, 65001},
        {u"Windows-1252"_s, 1252},
        {u"ISO-8859-1"_s, 28591},
        {u"LATIN1"_s, 28591},
        {u"ISO_8859-1:1987"_s, 28591},
        {u"Shift_JIS"_s, 932},
        {u"UNICODE"_s, 1200},
        {u"UTF-16BE"_s, 1201},
        {u"utf-32"_s, 12000},
        {u"EUC-KR"_s, 51949},
        {u"KOI8-R"_s, 20866},
        {u"gb18030"_s, 54936},
        {u"us"_s, 20127},
        // Entries that look like mistakes but are matched as written.
        {u"CP1256 "_s, 1256},
        {u"cp1256"_s, 1256},
        {u"Shifft_JIS"_s, 932},
        {u"cp500"_s, 775},
        {u"EBCDIC-CP-BE"_s, 775},
        {u"_iso-2022-jp$SIO"_s, 50222},
        {u"pc-multilingual-850+EURO"_s, 858},
        {u"extended_unix_code_packed_format_for_japanese"_s, 20932},
        // Not in the table.
        {QString(), 0},
        {u"cp1256  "_s, 0},
        {u" utf-8"_s, 0},
        {u"utf-8 "_s, 0},
        {u"utf_8"_s, 0},
        {u"windows-1252x"_s, 0},
        {u"hz"_s, 0},
        {u"cp1252\u0000"_s, 0},
        // Only A-Z fold: no Unicode case mapping, no width folding.
        {u"\u212Aoi8-r"_s, 0}, // KELVIN SIGN folds to 'k' in Unicode
        {u"\u0130bm437"_s, 0}, // capital I with dot
        {u"\uFF35TF-8"_s, 0},  // full-width U
        {u"utf\u20108"_s, 0},  // hyphen U+2010
        {QString(100, u'a'), 0},
        {u"utf-8"_s + QString(95, u' '), 0},
        {QString(100000, u'X'), 0},
    };
    for (const NameCase &c : cases) {
        EXPECT_EQ(CodePageFromEncodingName(c.name), c.codePage) << c.name.toStdString();
    }
}

TEST(CodePageFromEncodingName, EveryStoredNameIsFoundInAnyAsciiCase)
{
    for (const EncodingName &entry : EncodingNameTable()) {
        const QString name = QString::fromLatin1(entry.name);
        ASSERT_EQ(name, name.toLower()) << entry.name;
        EXPECT_EQ(CodePageFromEncodingName(name), entry.codePage) << entry.name;
        EXPECT_EQ(CodePageFromEncodingName(name.toUpper()), entry.codePage) << entry.name;
    }
}

// Every code page of the table has a converter that this system's iconv
// opens, except a known few that convert as the ANSI code page.
TEST(IconvNameOfCodePage, ConvertersExistForTheTable)
{
    const std::set<int> withoutConverter = {720,   853,   10004, 10005, 10006, 10010, 10021,
                                            10081, 10082, 20000, 20001, 20003, 20004, 20005,
                                            20105, 29001, 52936, 57002, 57003, 57004, 57005,
                                            57006, 57007, 57008, 57009, 57010, 57011};
    std::set<int> missing;
    for (const EncodingName &entry : EncodingNameTable()) {
        const char *name = IconvNameOfCodePage(entry.codePage);
        if (!name) {
            missing.insert(entry.codePage);
            continue;
        }
        iconv_t cd = iconv_open(name, "UTF-16LE");
        EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1)) << entry.codePage << ' ' << name;
        if (cd != reinterpret_cast<iconv_t>(-1)) {
            iconv_close(cd);
        }
    }
    EXPECT_EQ(missing, withoutConverter);
    EXPECT_EQ(IconvNameOfCodePage(0), nullptr);
    EXPECT_EQ(IconvNameOfCodePage(-1), nullptr);
}

// Every byte, the five that Windows-1252 leaves undefined included (they
// stand for the C1 controls of the same numbers), so a file read in the ANSI
// code page is written back byte for byte.
TEST(DecodeFromCodePage, Cp1252RoundTripsEveryByte)
{
    QByteArray all;
    for (int b = 1; b < 256; ++b)
        all.append(static_cast<char>(b));
    for (int cp : {1252, 0, 720}) { // the ANSI code page, unknown, no converter
        int undecodable = 0;
        const QString text = DecodeFromCodePage(all, cp, &undecodable);
        ASSERT_EQ(text.size(), all.size());
        EXPECT_EQ(undecodable, 0);
        EXPECT_EQ(text.at(0x80 - 1), QChar(0x20AC));
        EXPECT_EQ(text.at(0x81 - 1), QChar(0x81));
        EXPECT_EQ(text.at(0x9D - 1), QChar(0x9D));
        EXPECT_EQ(text.back(), QChar(0xFF));

        int losses = 0;
        EXPECT_EQ(EncodeToCodePage(text, cp, &losses), all) << cp;
        EXPECT_EQ(losses, 0);
    }
    // Other code pages do not take the C1 controls for those bytes.
    int losses = 0;
    EXPECT_EQ(EncodeToCodePage(u"\u0081"_s, 1250, &losses), "?");
    EXPECT_EQ(losses, 1);
    EXPECT_EQ(EncodeToCodePage(u"\u0080"_s, 1252, &losses), "?"); // 0x80 is the euro sign
    EXPECT_EQ(losses, 2);
}

TEST(DecodeFromCodePage, KnownMultiByteText)
{
    struct Case
    {
        int codePage;
        std::string_view bytes;
        QString text;
    };
    const Case cases[] = {
        {932, "\x93\xFA\x96\x7B\x8C\xEA", u"日本語"_s},
        {932, "A\xB1Z", u"A\uFF71Z"_s}, // half-width katakana is one byte
        {936, "\xD6\xD0\xCE\xC4", u"中文"_s},
        {936, "\x80", u"€"_s},
        {54936, "\x81\x30\x81\x30", u"\u0080"_s},
        {949, "\xC7\xD1\xB1\xB9", u"한국"_s},
        {51949, "\xC7\xD1\xB1\xB9", u"한국"_s},
        {950, "\xA4\xA4\xA4\xE5", u"中文"_s},
        {20866, "\xC1\xC2", u"аб"_s},
        {50220, "\x1B$BF|K\\\x1B(B!", u"日本!"_s},
        {65001, "\xC3\xA9\xF0\x9F\x98\x80", u"é\U0001F600"_s},
        {1200, std::string_view("A\0\x3D\xD8\x00\xDE", 6), u"A\U0001F600"_s},
        {1201, std::string_view("\0A", 2), u"A"_s},
        {12001, std::string_view("\0\x01\xF6\x00", 4), u"\U0001F600"_s},
        {10000, "\x80\xA5", u"Ä•"_s},
    };
    for (const Case &c : cases) {
        const QByteArray bytes = Bytes(c.bytes);
        EXPECT_EQ(DecodeFromCodePage(bytes, c.codePage), c.text) << c.codePage;
        int losses = 0;
        EXPECT_EQ(EncodeToCodePage(c.text, c.codePage, &losses), bytes) << c.codePage;
        EXPECT_EQ(losses, 0) << c.codePage;
    }
}

TEST(DecodeFromCodePage, UnknownAndConverterlessPagesDecodeAsAnsi)
{
    for (int cp : {0, -5, 1, 12345, 57002, 52936, 720}) {
        EXPECT_EQ(DecodeFromCodePage("a\x80\xE9", cp), u"a€é"_s) << cp;
        EXPECT_EQ(EncodeToCodePage(u"a€é", cp), "a\x80\xE9") << cp;
    }
}

TEST(DecodeFromCodePage, UndecodableBytesBecomeQuestionMarks)
{
    struct Case
    {
        int codePage;
        std::string_view bytes;
        QString text;
        int undecodable;
    };
    const Case cases[] = {
        {932, "\x81", u"?"_s, 1},     // lead byte cut off by the end
        {932, "\x81 A", u"? A"_s, 1}, // bad trail byte is read again
        {932, "\xFF\xFFok", u"??ok"_s, 2},
        {932, "\x93\xFA\x93\x7F\x93\xFA", u"日?\u007F日"_s, 1},
        {65001, "a\xC3(\xFF", u"a?(?"_s, 2},
        {65001, "\xE6\x97", u"??"_s, 2},
        {65001, "a?b", u"a?b"_s, 0}, // a '?' of the text is no error
        {20127, "x\x80y", u"x?y"_s, 1},
        {1200, std::string_view("A\0B", 3), u"A?"_s, 1},
    };
    for (const Case &c : cases) {
        int undecodable = 5;
        EXPECT_EQ(DecodeFromCodePage(Bytes(c.bytes), c.codePage, &undecodable), c.text)
            << c.codePage;
        EXPECT_EQ(undecodable, 5 + c.undecodable) << c.codePage;
    }
}

TEST(DecodeFromCodePage, RandomBytesNeverBreakAnyConverter)
{
    QByteArray noise;
    quint32 state = 12345;
    for (int i = 0; i < 4096; ++i) {
        state = state * 1103515245u + 12345u;
        noise.append(static_cast<char>(state >> 16));
    }
    for (const EncodingName &entry : EncodingNameTable()) {
        const QString text = DecodeFromCodePage(noise, entry.codePage);
        EXPECT_FALSE(text.isEmpty()) << entry.name;
        int losses = 0;
        EncodeToCodePage(text, entry.codePage, &losses);
        EXPECT_GE(losses, 0);
    }
}

TEST(EncodeToCodePage, ReplacesAndCountsLostCharacters)
{
    struct Case
    {
        int codePage;
        QString text;
        QByteArray bytes;
        int losses;
    };
    const Case cases[] = {
        {1252, u"aé中b"_s, "a\xE9?b", 1},
        {1252, u"\U0001F600\U0001F600"_s, "??", 2}, // a surrogate pair is one character
        {1252, u"x\xD800y\xDC00"_s, "x?y?", 2},     // unpaired surrogates
        {20127, u"café"_s, "caf?", 1},
        {932, u"日€本"_s, "\x93\xFA?\x96\x7B", 1},
        {1200, u"a\xD800"_s, QByteArray("a\0?\0", 4), 1},
        // Converters that cannot report a replacement: nothing is counted.
        {65001,
         u"a\xD800"
         u"b"_s,
         "a?b", 0},
        {54936, u"a\xDC00"_s, "a?", 0},
        {50220, u"日€"_s, "\x1B$BF|\x1B(B?", 0},
        {57002, u"中"_s, "?", 0},
    };
    for (const Case &c : cases) {
        int losses = 3;
        EXPECT_EQ(EncodeToCodePage(c.text, c.codePage, &losses), c.bytes) << c.codePage;
        EXPECT_EQ(losses, 3 + c.losses) << c.codePage;
        EXPECT_EQ(EncodeToCodePage(c.text, c.codePage), c.bytes) << c.codePage;
    }
}

TEST(EncodeToCodePage, EmptyAndLongText)
{
    int losses = 0;
    EXPECT_TRUE(EncodeToCodePage(QStringView(), 1252, &losses).isEmpty());
    EXPECT_TRUE(DecodeFromCodePage(QByteArrayView(), 932).isEmpty());

    // Longer than any internal buffer, with replacements spread through it.
    QString text;
    for (int i = 0; i < 20000; ++i) {
        text += (i % 1000 == 0) ? u'中' : QChar(u'a' + i % 26);
    }
    const QByteArray bytes = EncodeToCodePage(text, 1252, &losses);
    EXPECT_EQ(bytes.size(), text.size());
    EXPECT_EQ(losses, 20);
    EXPECT_EQ(DecodeFromCodePage(bytes, 1252).size(), text.size());
    EXPECT_EQ(DecodeFromCodePage(EncodeToCodePage(text, 936), 936), text);
}

} // namespace
} // namespace kw
