#include "model/watermark_conf.h"

#include <QSet>
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
    EXPECT_EQ(font.bytes()[90], 0);
    EXPECT_EQ(font.bytes()[91], 0);
    EXPECT_EQ(font.bytes()[27], 0xAB); // pitch and family untouched

    font.setFaceName(u"Ab");
    EXPECT_EQ(font.faceName(), u"Ab"_s);
    for (int i = 32; i < kw::LogFont::kSize; ++i)
        EXPECT_EQ(font.bytes()[i], 0) << "byte " << i;

    // A name that fills all 32 units without a terminator reads to the end.
    for (int i = 28; i < kw::LogFont::kSize; i += 2) {
        font.bytes()[i] = 'z';
        font.bytes()[i + 1] = 0;
    }
    EXPECT_EQ(font.faceName(), QString(32, u'z'));
}

TEST(WatermarkConf, NewLayerDefaults)
{
    CWatermarkConf conf;
    conf.ImagePathName = u"/old.png"_s;
    conf.ImageWidth = 50;
    kw::ApplyNewLayerDefaults(conf, u"Kelvane Watermark");

    CWatermarkConf expected;
    expected.textContent = u"Kelvane Watermark"_s;
    expected.Font = kw::NewLayerFont();
    expected.FontPointSize = 20;
    expected.Location = 4;
    expected.Rotation = 30;
    expected.Transparency = 255;
    expected.ShadowH = 2;
    expected.ShadowV = 2;
    expected.ShadowAlpha = 12;
    expected.ShadowColor = 8421504;
    expected.BFillText = 1;
    expected.TextColor = 734110;
    expected.EdgeColor = 32896;
    expected.EdgeLineThickness = 2;
    expected.EdgeAlpha = 255;
    expected.TDTextColor = 8421504;
    expected.TDTextOffset = 6;
    expected.TDTextPos = 3;
    expected.GradientBeginColor = 16776960;
    expected.GradientEndColor = 255;
    expected.ImageLocation = 4;
    expected.ImageTransparency = 100;
    EXPECT_EQ(conf, expected);

    const kw::LogFont font = kw::NewLayerFont();
    EXPECT_EQ(font.height(), -38);
    EXPECT_EQ(font.weight(), 400);
    EXPECT_EQ(font.pitchAndFamily(), 34);
    EXPECT_EQ(font.faceName(), u"Tahoma"_s);
    kw::LogFont tahomaOnly;
    tahomaOnly.setHeight(-38);
    tahomaOnly.setWeight(400);
    tahomaOnly.setPitchAndFamily(34);
    tahomaOnly.setFaceName(u"Tahoma");
    EXPECT_EQ(font, tahomaOnly); // every other byte 0
}

TEST(WatermarkConf, FieldTableCoversEveryMemberOnce)
{
    const auto fields = kw::LayerFields();
    ASSERT_EQ(fields.size(), size_t(kw::kLayerFieldCount));
    QSet<QString> names;
    // Writing a distinct value through each row and finding all of them in
    // the record shows that no two rows share a member and none is missing.
    CWatermarkConf conf;
    int32_t next = 1;
    for (size_t i = 0; i < fields.size(); ++i) {
        const kw::LayerField &f = fields[i];
        names.insert(f.element.toString());
        EXPECT_EQ(f.group,
                  i < size_t(kw::kTextFieldCount) ? kw::LayerGroup::Text : kw::LayerGroup::Image);
        EXPECT_EQ(int(bool(f.text)) + bool(f.font) + bool(f.integer) + bool(f.color), 1)
            << f.element.toString().toStdString();
        if (f.integer)
            conf.*f.integer = next++;
        else if (f.color)
            conf.*f.color = kw::ColorRef(next++);
        if (f.integer && f.editorMax > f.editorMin) {
            EXPECT_GE(f.newLayerValue, f.editorMin) << f.element.toString().toStdString();
            EXPECT_LE(f.newLayerValue, f.editorMax) << f.element.toString().toStdString();
        }
    }
    EXPECT_EQ(names.size(), kw::kLayerFieldCount);
    EXPECT_EQ(conf.FontPointSize, 1);
    EXPECT_EQ(conf.coverImgMethod, 27);
    EXPECT_EQ(conf.ImageHeight, 34);
}

TEST(WatermarkConf, CodeNames)
{
    EXPECT_EQ(kw::LocationCodeName(0), u"Top Left"_s);
    EXPECT_EQ(kw::LocationCodeName(4), u"Center Center"_s);
    EXPECT_EQ(kw::LocationCodeName(8), u"Bottom Right"_s);
    EXPECT_EQ(kw::TDTextPosName(1), u"Top Right"_s);
    EXPECT_EQ(kw::TDTextPosName(3), u"Bottom Right"_s);
    EXPECT_EQ(kw::CoverImgMethodName(0), u"Stroke"_s);
    EXPECT_EQ(kw::CoverImgMethodName(1), u"Fill"_s);
    for (const int outside : {-1, 9})
        EXPECT_TRUE(kw::LocationCodeName(outside).isEmpty());
    EXPECT_TRUE(kw::TDTextPosName(4).isEmpty());
    EXPECT_TRUE(kw::CoverImgMethodName(2).isEmpty());
}

} // namespace
