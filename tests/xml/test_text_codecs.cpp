#include "xml/text_codecs.h"

#include <gtest/gtest.h>

#include <string>

namespace kw {
namespace {

using namespace Qt::StringLiterals;
using namespace std::string_literals;

QByteArray Bytes(std::string_view s)
{
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

std::string Hex(std::u32string_view s)
{
    std::string out;
    for (char32_t c : s) {
        out += QByteArray::number(static_cast<uint>(c), 16).toStdString() + ' ';
    }
    return out;
}

struct Utf8Case
{
    std::string bytes;
    std::u32string codePoints;
    int errors;
};

TEST(DecodeUtf8, DecodesAndReplaces)
{
    const Utf8Case cases[] = {
        {"", U"", 0},
        {"A", U"A", 0},
        {"\xC3\xA9", U"é", 0},
        {"\xE2\x82\xAC", U"€", 0},
        {"\xF0\x9F\x98\x80", U"\U0001F600", 0},
        {"a\xC3\xA9z\xF4\x8F\xBF\xBF", U"aéz\U0010FFFF", 0},
        // Lenient: overlong forms, surrogate values, values past 0x10FFFF,
        // any byte from 0x80 up as a continuation, 10xxxxxx as a lead.
        {"\xC0\x80"s, U"\0"s, 0},
        {"\xC1\x81", U"A", 0},
        {"\xED\xA0\x80", U"\xD800", 0},
        {"\xF7\xBF\xBF\xBF", U"\x1FFFFF", 0},
        {"\xC3\xC3", U"\u00C3", 0},
        {"\xA9\xA9", U"\u0269", 0},
        // Bad leads: one '?' each.
        {"\xF8", U"?", 1},
        {"\xFF\xFE"
         "A",
         U"??A", 2},
        {"\xFC\x80\x80\x80\x80\x80", U"?\0\0?"s, 2},
        // Sequences cut off by the end.
        {"\xC3", U"?", 1},
        {"\xE2\x82", U"?", 1},
        {"ab\xF0\x9F\x98", U"ab?", 1},
        {"\x80", U"?", 1},
        // A byte below 0x80 where a continuation belongs: '?', then the byte.
        {"\xC3"
         "A",
         U"?A", 1},
        {"\xE2\x82<", U"?<", 1},
        {"\xF0\x9F\x98"
         "x",
         U"?x", 1},
        {"\xE9t\xE9", U"?t?", 2},
        {"\xC3\x00"s, U"?\0"s, 1},
    };
    for (const Utf8Case &c : cases) {
        std::u32string decoded = U"stale";
        EXPECT_EQ(DecodeUtf8(Bytes(c.bytes), &decoded), c.errors) << Hex(c.codePoints);
        EXPECT_EQ(decoded, c.codePoints) << Hex(decoded) << "| " << Hex(c.codePoints);
        EXPECT_EQ(DecodeUtf8(Bytes(c.bytes), nullptr), c.errors);
        EXPECT_EQ(IsLenientUtf8(Bytes(c.bytes)), c.errors == 0) << Hex(c.codePoints);
    }
}

TEST(DecodeUtf8, Cp1252TextIsNotTakenForUtf8)
{
    EXPECT_FALSE(IsLenientUtf8("caf\xE9"));
    EXPECT_FALSE(IsLenientUtf8("<a>\xE9l\xE8ve</a>"));
    EXPECT_FALSE(IsLenientUtf8("\x93quoted\x94"));
    EXPECT_TRUE(IsLenientUtf8("<a>\xC3\xA9l\xC3\xA8ve</a>"));
}

TEST(EncodeUtf16, ValuesBeyondUnicodeBecomeQuestionMarks)
{
    EXPECT_EQ(EncodeUtf16(U"a\x110000z\xFFFFFFFF"), u"a?z?"_s);
}

// Every scalar value, checked against Qt's own converters.
TEST(DecodeUtf8, AllScalarValuesRoundTripThroughUtf16)
{
    std::u32string all;
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        if (c < 0xD800 || c > 0xDFFF) {
            all.push_back(c);
        }
    }
    const QString reference = QString::fromUcs4(all.data(), static_cast<qsizetype>(all.size()));
    std::u32string decoded;
    EXPECT_EQ(DecodeUtf8(reference.toUtf8(), &decoded), 0);
    EXPECT_EQ(decoded, all);
    EXPECT_EQ(EncodeUtf16(decoded), reference);
}

TEST(DecodeUtf8, RandomBytesKeepEveryAsciiCharacterAfterAnError)
{
    // After a '?' for a broken sequence, the decoder never eats a byte below
    // 0x80: an ASCII byte is only ever consumed as itself. (The high bytes have
    // bit 1 set so that no overlong form can decode to a letter.)
    quint32 state = 99;
    for (int round = 0; round < 200; ++round) {
        QByteArray bytes;
        for (int i = 0; i < 64; ++i) {
            state = state * 1664525u + 1013904223u;
            const int r = static_cast<int>(state >> 24);
            bytes.append(static_cast<char>(r % 3 == 0 ? 'a' + r % 26 : r | 0x82));
        }
        std::u32string decoded;
        const int errors = DecodeUtf8(bytes, &decoded);
        std::u32string letters;
        for (char32_t c : decoded) {
            if (c >= U'a' && c <= U'z') {
                letters.push_back(c);
            }
        }
        std::u32string expected;
        for (char b : bytes) {
            if (b >= 'a' && b <= 'z') {
                expected.push_back(static_cast<char32_t>(b));
            }
        }
        EXPECT_EQ(letters, expected) << bytes.toHex().toStdString();
        EXPECT_EQ(IsLenientUtf8(bytes), errors == 0);
    }
}

} // namespace
} // namespace kw
