#include "editor_test_support.h"

#include "editor/color_swatch.h"
#include "editor/number_box.h"

#include "support/image_measure.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>

using kw::CWatermarkConf;

using namespace Qt::StringLiterals;

namespace kw::test {
namespace {

using Field = int32_t CWatermarkConf::*;

// ---------------------------------------------------------------- number boxes

struct BoxCase
{
    const char *box;
    const char *typed;
    const char *shown; // the box's text afterwards
    Field field;
    int32_t stored;
};

void PrintTo(const BoxCase &c, std::ostream *out)
{
    *out << c.box << " <- \"" << c.typed << '"';
}

class TextPageBoxes : public EditorFixture, public ::testing::WithParamInterface<BoxCase>
{
};

TEST_P(TextPageBoxes, StoreTheTypedNumberAsTheRangeAllows)
{
    const BoxCase &c = GetParam();
    openEditor();
    auto *box = find<NumberBox>(c.box);
    retype(box, QString::fromLatin1(c.typed));
    EXPECT_EQ(box->text(), QString::fromLatin1(c.shown));
    EXPECT_EQ(savedLayer().*c.field, c.stored);
}

INSTANTIATE_TEST_SUITE_P(
    Clamping, TextPageBoxes,
    ::testing::Values(BoxCase{"shadowAlphaBox", "25", "25", &CWatermarkConf::ShadowAlpha, 25},
                      BoxCase{"shadowAlphaBox", "45", "30", &CWatermarkConf::ShadowAlpha, 30},
                      BoxCase{"shadowHBox", "-15", "-10", &CWatermarkConf::ShadowH, -10},
                      BoxCase{"shadowBlurBox", "12", "10", &CWatermarkConf::ShadowBR, 10},
                      // The keyboard gives only digits, and a minus sign only where the
                      // range goes below 0.
                      BoxCase{"shadowBlurBox", "7x", "7", &CWatermarkConf::ShadowBR, 7},
                      BoxCase{"shadowBlurBox", "-3", "3", &CWatermarkConf::ShadowBR, 3},
                      BoxCase{"edgeAlphaBox", "300", "255", &CWatermarkConf::EdgeAlpha, 255},
                      // Numbers under the range keep their text while more digits may come.
                      BoxCase{"edgeAlphaBox", "150", "150", &CWatermarkConf::EdgeAlpha, 150},
                      BoxCase{"edgeAlphaBox", "50", "50", &CWatermarkConf::EdgeAlpha, 100},
                      BoxCase{"threeDOffsetBox", "99", "50", &CWatermarkConf::TDTextOffset, 50},
                      BoxCase{"offsetHBox", "40000", "40000", &CWatermarkConf::OffsetH, 40000},
                      BoxCase{"rotationBox", "360", "360", &CWatermarkConf::Rotation, 0},
                      BoxCase{"rotationBox", "-360", "-360", &CWatermarkConf::Rotation, -360},
                      BoxCase{"rotationBox", "45", "45", &CWatermarkConf::Rotation, 45}));

using TextPage = EditorFixture;

TEST_F(TextPage, NumberUnderTheRangeIsShownClampedWhenTypingEnds)
{
    openEditor();
    auto *box = find<NumberBox>("edgeAlphaBox");
    retype(box, u"50"_s);
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_EQ(box->text(), u"100"_s);
    EXPECT_EQ(savedLayer().EdgeAlpha, 100);
}

TEST_F(TextPage, SpinStepsStayInTheRange)
{
    openEditor();
    auto *alpha = find<NumberBox>("shadowAlphaBox");
    retype(alpha, u"30"_s);
    QTest::keyClick(alpha, Qt::Key_Up);
    EXPECT_EQ(alpha->text(), u"30"_s);

    auto *rotation = find<NumberBox>("rotationBox");
    retype(rotation, u"-359"_s);
    QTest::keyClick(rotation, Qt::Key_Down);
    EXPECT_EQ(rotation->text(), u"-360"_s);
    QTest::keyClick(rotation, Qt::Key_Down);
    EXPECT_EQ(rotation->text(), u"-360"_s);
    EXPECT_EQ(savedLayer().Rotation, -360);
    QTest::keyClick(rotation, Qt::Key_Up);
    EXPECT_EQ(savedLayer().Rotation, -359);
}

// ---------------------------------------------------------------- showing a record

TEST_F(TextPage, OutOfRangeValuesInAFileAreShownAndSavedBackClamped)
{
    CWatermarkConf layer = newLayer();
    layer.ShadowAlpha = 45;
    layer.ShadowH = -30;
    layer.ShadowBR = 99;
    layer.EdgeAlpha = 50;
    layer.TDTextOffset = 70;
    layer.Transparency = 300;
    layer.Rotation = 360;
    layer.EdgeLineThickness = 12;
    layer.OffsetH = 99999; // no range: kept
    writeTemplate({layer});
    openEditor();

    EXPECT_EQ(find<NumberBox>("shadowAlphaBox")->text(), u"30"_s);
    EXPECT_EQ(find<NumberBox>("shadowHBox")->text(), u"-10"_s);
    EXPECT_EQ(find<NumberBox>("shadowBlurBox")->text(), u"10"_s);
    EXPECT_EQ(find<NumberBox>("edgeAlphaBox")->text(), u"100"_s);
    EXPECT_EQ(find<NumberBox>("threeDOffsetBox")->text(), u"50"_s);
    EXPECT_EQ(find<NumberBox>("rotationBox")->text(), u"360"_s);
    EXPECT_EQ(find<QSlider>("transparencySlider")->value(), 255);
    // No entry for a thickness of 12: the list shows none rather than another
    // layer's choice.
    EXPECT_EQ(find<QComboBox>("lineThicknessList")->currentIndex(), -1);

    const CWatermarkConf saved = savedLayer();
    EXPECT_EQ(saved.ShadowAlpha, 30);
    EXPECT_EQ(saved.ShadowH, -10);
    EXPECT_EQ(saved.ShadowBR, 10);
    EXPECT_EQ(saved.EdgeAlpha, 100);
    EXPECT_EQ(saved.TDTextOffset, 50);
    EXPECT_EQ(saved.Transparency, 255);
    EXPECT_EQ(saved.Rotation, 0);
    EXPECT_EQ(saved.EdgeLineThickness, 12);
    EXPECT_EQ(saved.OffsetH, 99999);
}

// ---------------------------------------------------------------- handlers

TEST_F(TextPage, LocationChoiceResetsTheOffsetsAndMovesTheText)
{
    openEditor();
    retype(find<NumberBox>("offsetHBox"), u"25"_s);
    retype(find<NumberBox>("offsetVBox"), u"-40"_s);
    waitForPreview();
    const QPointF before = InkCentroid(WatermarkInk(find<PreviewFrame>("previewFrame")->picture()));

    auto *location = find<QComboBox>("locationList");
    choose(location, int(LocationCode::CenterCenter)); // the same anchor keeps its offsets
    EXPECT_EQ(savedLayer().OffsetH, 25);

    choose(location, int(LocationCode::BottomRight));
    EXPECT_EQ(find<NumberBox>("offsetHBox")->text(), u"0"_s);
    EXPECT_EQ(find<NumberBox>("offsetVBox")->text(), u"0"_s);
    const CWatermarkConf saved = savedLayer();
    EXPECT_EQ(saved.Location, int(LocationCode::BottomRight));
    EXPECT_EQ(saved.OffsetH, 0);
    EXPECT_EQ(saved.OffsetV, 0);

    waitForPreview();
    const QPointF after = InkCentroid(WatermarkInk(find<PreviewFrame>("previewFrame")->picture()));
    EXPECT_GT(after.x(), before.x() + 100);
    EXPECT_GT(after.y(), before.y() + 100);
}

TEST_F(TextPage, CheckBoxesListsAndSliderStoreTheirFields)
{
    openEditor();
    struct Flag
    {
        const char *box;
        Field field;
        int32_t before;
    };
    for (const Flag &flag : {Flag{"addShadowCheck", &CWatermarkConf::BAddShadow, 0},
                             Flag{"fillTextCheck", &CWatermarkConf::BFillText, 1},
                             Flag{"drawEdgeCheck", &CWatermarkConf::BDrawEdge, 0},
                             Flag{"threeDTextCheck", &CWatermarkConf::B3DText, 0},
                             Flag{"gradientTextCheck", &CWatermarkConf::BGradientText, 0},
                             Flag{"coverImageCheck", &CWatermarkConf::BCoverImage, 0}}) {
        auto *box = find<QCheckBox>(flag.box);
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, box->height() / 2));
        EXPECT_EQ(savedLayer().*flag.field, 1 - flag.before) << flag.box;
    }

    choose(find<QComboBox>("lineThicknessList"), 3);
    choose(find<QComboBox>("threeDPositionList"), int(TDTextPosCode::TopLeft));
    choose(find<QComboBox>("coverMethodList"), int(CoverImgMethodCode::Fill));
    auto *slider = find<QSlider>("transparencySlider");
    QTest::keyClick(slider, Qt::Key_Left);
    const CWatermarkConf saved = savedLayer();
    EXPECT_EQ(saved.EdgeLineThickness, 4);
    EXPECT_EQ(saved.TDTextPos, int(TDTextPosCode::TopLeft));
    EXPECT_EQ(saved.coverImgMethod, int(CoverImgMethodCode::Fill));
    EXPECT_EQ(saved.Transparency, 254);
}

TEST_F(TextPage, SwatchesStoreThePickedColour)
{
    openEditor();
    struct Swatch
    {
        const char *name;
        ColorRef CWatermarkConf::*field;
    };
    const QColor picked(12, 34, 56);
    for (const Swatch &s : {Swatch{"textColorSwatch", &CWatermarkConf::TextColor},
                            Swatch{"edgeColorSwatch", &CWatermarkConf::EdgeColor},
                            Swatch{"threeDColorSwatch", &CWatermarkConf::TDTextColor},
                            Swatch{"gradientBeginSwatch", &CWatermarkConf::GradientBeginColor},
                            Swatch{"gradientEndSwatch", &CWatermarkConf::GradientEndColor}}) {
        m_prompts.colors.push_back(picked);
        auto *swatch = find<ColorSwatch>(s.name);
        QTest::mouseClick(swatch, Qt::LeftButton);
        EXPECT_EQ(savedLayer().*s.field, RgbColor(12, 34, 56)) << s.name;
        EXPECT_EQ(swatch->color(), picked) << s.name;
    }
    EXPECT_EQ(m_prompts.colorRequests, 5);
}

TEST_F(TextPage, FontChoiceKeepsThePointSize)
{
    openEditor();
    QFont chosen(u"DejaVu Serif"_s);
    chosen.setPointSize(30);
    chosen.setBold(true);
    chosen.setItalic(true);
    m_prompts.fonts.push_back(chosen);
    QTest::mouseClick(find<QPushButton>("chooseFontButton"), Qt::LeftButton);

    const CWatermarkConf saved = savedLayer();
    EXPECT_EQ(saved.Font.faceName(), u"DejaVu Serif"_s);
    EXPECT_EQ(saved.Font.height(), -40); // 30 points at 96 pixels per inch
    EXPECT_EQ(saved.Font.weight(), 700);
    EXPECT_EQ(saved.Font.italic(), 1);
    EXPECT_EQ(saved.Font.pitchAndFamily(), NewLayerFont().pitchAndFamily());
    EXPECT_EQ(saved.FontPointSize, newLayer().FontPointSize);
    EXPECT_EQ(find<QLineEdit>("fontBox")->text(), u"DejaVu Serif"_s);
}

TEST_F(TextPage, CancelledPickersSaveNothing)
{
    openEditor();
    const QByteArray before = layerBytes();
    const int renders = m_editor->livePreview().renderCount();
    m_prompts.colors.push_back(std::nullopt);
    QTest::mouseClick(find<ColorSwatch>("edgeColorSwatch"), Qt::LeftButton);
    m_prompts.fonts.push_back(std::nullopt);
    QTest::mouseClick(find<QPushButton>("chooseFontButton"), Qt::LeftButton);

    EXPECT_EQ(m_prompts.colorRequests, 1);
    EXPECT_EQ(m_prompts.fontRequests, 1);
    EXPECT_EQ(layerBytes(), before);
    EXPECT_EQ(m_editor->livePreview().renderCount(), renders);
}

TEST_F(TextPage, ScaleWithThePhotoKeepsThePreviewAndEditsShares)
{
    CWatermarkConf layer = newLayer(u"Kelvane"_s);
    layer.Location = int(LocationCode::BottomRight);
    layer.OffsetH = -20;
    layer.OffsetV = -35;
    layer.Rotation = 0;
    writeTemplate({layer});
    openEditor();
    const auto ink = [this] {
        waitForPreview();
        return InkBounds(WatermarkInk(find<PreviewFrame>("previewFrame")->picture()));
    };
    const QRect before = ink();

    auto *scale = find<QCheckBox>("scaleWithPhotoCheck");
    QTest::mouseClick(scale, Qt::LeftButton, {}, QPoint(5, scale->height() / 2));
    CWatermarkConf saved = savedLayer();
    EXPECT_EQ(saved.RelativeSize, 608); // 38 of 625
    EXPECT_EQ(saved.RelativeOffsetH, -295);
    EXPECT_EQ(saved.RelativeOffsetV, -560);
    EXPECT_EQ(saved.OffsetH, -20);
    auto *page = find<QWidget>("textLayerPage");
    EXPECT_TRUE(find<QWidget>("offsetHShareBox")->isVisibleTo(page));
    EXPECT_FALSE(find<QWidget>("offsetHBox")->isVisibleTo(page));
    EXPECT_DOUBLE_EQ(find<QDoubleSpinBox>("offsetVShareBox")->value(), -5.6);
    const QRect relative = ink();
    EXPECT_NEAR(relative.left(), before.left(), 1);
    EXPECT_NEAR(relative.top(), before.top(), 1);
    EXPECT_NEAR(relative.width(), before.width(), 1);

    find<QDoubleSpinBox>("sizeShareBox")->setValue(12.16);
    EXPECT_EQ(savedLayer().RelativeSize, 1216);
    EXPECT_NEAR(ink().width(), 2 * before.width(), 4);
    find<QDoubleSpinBox>("offsetHShareBox")->setValue(-10);
    EXPECT_EQ(savedLayer().RelativeOffsetH, -1000);

    // Off: the pixels that draw it so, and the file without the shares.
    QTest::mouseClick(scale, Qt::LeftButton, {}, QPoint(5, scale->height() / 2));
    saved = savedLayer();
    EXPECT_EQ(saved.Font.height(), -76);
    EXPECT_EQ(saved.OffsetH, -68);
    EXPECT_EQ(saved.RelativeSize, 0);
    EXPECT_FALSE(layerBytes().contains("Relative"));
    EXPECT_TRUE(find<QWidget>("offsetHBox")->isVisibleTo(page));
}

TEST_F(TextPage, TurnAboutTheAnchorIsWrittenOnlyWhileOn)
{
    openEditor();
    const QByteArray before = layerBytes();
    auto *turn = find<QCheckBox>("turnAboutAnchorCheck");
    EXPECT_FALSE(turn->isChecked());
    QTest::mouseClick(turn, Qt::LeftButton, {}, QPoint(5, turn->height() / 2));
    EXPECT_EQ(savedLayer().TurnAboutAnchor, 1);
    EXPECT_TRUE(layerBytes().contains("<TurnAboutAnchor>1</TurnAboutAnchor>"));
    QTest::mouseClick(turn, Qt::LeftButton, {}, QPoint(5, turn->height() / 2));
    EXPECT_EQ(layerBytes(), before);
}

} // namespace
} // namespace kw::test
