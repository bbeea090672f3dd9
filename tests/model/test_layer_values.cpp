#include "model/layer_values.h"

#include <QString>

#include <gtest/gtest.h>

#include <vector>

using namespace Qt::StringLiterals;

namespace {

TEST(LayerValues, Integers)
{
    const struct
    {
        QString text;
        int32_t value;
    } cases[] = {
        {u"7"_s, 7},
        {u" 7"_s, 7},
        {u"\t\r\n 7"_s, 7},
        {u"-7"_s, -7},
        {u"+7"_s, 7},
        {u"7x"_s, 7},
        {u"7 8"_s, 7},
        {u"x"_s, 0},
        {u""_s, 0},
        {u"-"_s, 0},
        {u"- 7"_s, 0},
        {u"0x10"_s, 0},
        {u"010"_s, 10},
        {u"\u00a07"_s, 0}, // only ASCII white space is skipped
        {u"\uff17"_s, 0},  // a full-width digit is no digit
        {u"2147483647"_s, 2147483647},
        {u"2147483648"_s, 2147483647},
        {u"-2147483648"_s, -2147483647 - 1},
        {u"-99999999999999999999"_s, -2147483647 - 1},
    };
    for (const auto &c : cases)
        EXPECT_EQ(kw::ParseLayerInteger(c.text), c.value) << c.text.toStdString();
}

TEST(LayerValues, ColoursKeepTheir32Bits)
{
    const struct
    {
        QString text;
        kw::ColorRef value;
    } cases[] = {
        {u"734110"_s, kw::RgbColor(158, 51, 11)},
        {u"255"_s, kw::RgbColor(255, 0, 0)},
        {u"16776960"_s, kw::RgbColor(0, 255, 255)},
        {u" 12x"_s, 12},
        {u"-1"_s, 0xFFFFFFFFu},
        {u"-2147483648"_s, 0x80000000u},
        {u"4294967295"_s, 0xFFFFFFFFu},
        {u"4294967296"_s, 0xFFFFFFFFu},
        {u"x"_s, 0},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(kw::ParseLayerColor(c.text), c.value) << c.text.toStdString();
        // What the writer makes of a colour reads back as the same colour.
        EXPECT_EQ(kw::ParseLayerColor(kw::FormatLayerColor(c.value)), c.value);
    }
    EXPECT_EQ(kw::FormatLayerColor(0xFFFFFFFFu), u"-1"_s);
    EXPECT_EQ(kw::RedOf(734110), 158);
    EXPECT_EQ(kw::GreenOf(734110), 51);
    EXPECT_EQ(kw::BlueOf(734110), 11);
}

TEST(LayerValues, FontLists)
{
    const struct
    {
        QString text;
        std::vector<uint8_t> stored; // bytes written from the first on
    } cases[] = {
        {u"0x20, 010 ,300"_s, {32, 8, 44}},
        {u"1,,2"_s, {1, 0}},
        {u""_s, {}},
        {u"  "_s, {}},
        {u"x"_s, {0}},
        {u"1,2,"_s, {1, 2}},
        {u"1, "_s, {1}},
        {u"1 2"_s, {1}},
        {u"1;2"_s, {1}},
        {u"256,-1,-256,+5"_s, {0, 255, 0, 5}},
        {u"0X1f,0xFF,017,0"_s, {31, 255, 15, 0}},
        {u"08,5"_s, {0}}, // 8 is no octal digit: the item ends there
        {u"0x,5"_s, {0}}, // "0x" without a hex digit is the number 0
        {u"0xg"_s, {0}},
        {u"- 1,2"_s, {0}}, // a sign must touch its digits
        {u"\t\n1\r,\v2\f"_s, {1, 2}},
        {u"99999999999,-99999999999"_s, {255, 0}}, // 32-bit limits
        {u"1,\u00a02"_s, {1, 0}},                  // not ASCII white space
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        kw::LogFont font;
        font.bytes().fill(0x77);
        ASSERT_EQ(kw::DecodeFontList(c.text, font), int(c.stored.size()));
        for (int i = 0; i < kw::LogFont::kSize; ++i) {
            const uint8_t expected = size_t(i) < c.stored.size() ? c.stored[i] : 0x77;
            EXPECT_EQ(font.bytes()[i], expected) << "byte " << i;
        }
    }
}

TEST(LayerValues, FontListStopsAfter92Values)
{
    QString text;
    for (int i = 0; i < 100; ++i)
        text += QString::number(i) + u","_s;
    kw::LogFont font;
    EXPECT_EQ(kw::DecodeFontList(text, font), kw::LogFont::kSize);
    EXPECT_EQ(font.bytes()[91], 91);

    // The longest list the writer makes is 92 three-digit values.
    font.bytes().fill(255);
    const QString longest = kw::FormatFontList(font);
    EXPECT_EQ(longest.size(), 367);
    kw::LogFont back;
    EXPECT_EQ(kw::DecodeFontList(longest, back), kw::LogFont::kSize);
    EXPECT_EQ(back, font);
}

} // namespace
