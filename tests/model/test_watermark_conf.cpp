#include "model/watermark_conf.h"

#include <QString>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

TEST(WatermarkConf, LogFontMembersSitAtTheirBytes)
{
    kw::LogFont font;
    font.setHeight(-38);
    font.setWidth(0x01020304);
    font.setEscapement(-2);
    font.setOrientation(900);
    font.setWeight(700);
    font.setItalic(1);
    font.setUnderline(2);
    font.setStrikeOut(3);
    font.setCharSet(4);
    font.setOutPrecision(5);
    font.setClipPrecision(6);
    font.setQuality(7);
    font.setPitchAndFamily(34);
    font.setFaceName(u"T\u00e9");
    const uint8_t expected[32] = {218, 255, 255, 255, 4, 3,   2,  1, 254, 255, 255,
                                  255, 132, 3,   0,   0, 188, 2,  0, 0,   1,   2,
                                  3,   4,   5,   6,   7, 34,  84, 0, 233, 0};
    for (int i = 0; i < 32; ++i)
        EXPECT_EQ(font.bytes()[i], expected[i]) << "byte " << i;
    EXPECT_EQ(font.height(), -38);
    EXPECT_EQ(font.width(), 0x01020304);
    EXPECT_EQ(font.escapement(), -2);
    EXPECT_EQ(font.orientation(), 900);
    EXPECT_EQ(font.weight(), 700);
    EXPECT_EQ(font.faceName(), u"T\u00e9"_s);
}

TEST(WatermarkConf, FaceNameAlwaysEndsInAZeroUnit)
{
    kw::LogFont font;
    font.bytes().fill(0xAB);
    font.setFaceName(QString(40, u'x'));
    EXPECT_EQ(font.faceName(), QString(31, u'x'));
    EXPECT_EQ(font.bytes()[27], 0xAB); // pitch and family untouched
    font.setFaceName(u"Ab");
    for (int i = 32; i < kw::LogFont::kSize; ++i)
        EXPECT_EQ(font.bytes()[i], 0) << "byte " << i;
}

} // namespace
