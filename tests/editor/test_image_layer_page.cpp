#include "editor_test_support.h"

#include "controls/edit_with_button.h"
#include "editor/number_box.h"

#include "support/image_measure.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTest>

using kw::CEditWithButton;
using kw::CWatermarkConf;

using namespace Qt::StringLiterals;

namespace kw::test {
namespace {

bool IsPureRed(QRgb pixel)
{
    return qRed(pixel) > 200 && qGreen(pixel) < 40 && qBlue(pixel) < 40;
}

class ImagePage : public EditorFixture
{
protected:
    void SetUp() override
    {
        EditorFixture::SetUp();
        // The sample photo has no pure red; the picture is nothing else.
        QImage picture(400, 300, QImage::Format_RGB32);
        picture.fill(Qt::red);
        m_picturePath = m_sandbox.filePath(u"logo.png"_s);
        ASSERT_TRUE(picture.save(m_picturePath));
    }

    // A layer that draws only its picture.
    CWatermarkConf pictureLayer() const
    {
        CWatermarkConf layer = newLayer(QString());
        layer.ImagePathName = m_picturePath;
        layer.ImageWidth = 7;
        layer.ImageHeight = 9;
        return layer;
    }

    void openOnImageTab()
    {
        openEditor();
        switchToTab(1);
    }

    QImage preview() const { return find<PreviewFrame>("previewFrame")->picture(); }

    bool sizeBoxesShown() const
    {
        auto *page = find<QWidget>("imageLayerPage");
        return find<QWidget>("imageWidthBox")->isVisibleTo(page) &&
               find<QWidget>("imageHeightBox")->isVisibleTo(page);
    }

    QString m_picturePath;
};

TEST_F(ImagePage, OffsetAndRotationBoxesStoreAnyNumber)
{
    openOnImageTab();
    struct Case
    {
        const char *box;
        const char *typed;
        int32_t CWatermarkConf::*field;
        int32_t stored;
    };
    for (const Case &c : {Case{"imageOffsetHBox", "40000", &CWatermarkConf::ImageOffsetH, 40000},
                          // Unlike the text's rotation, a full turn stays 360.
                          Case{"imageRotationBox", "360", &CWatermarkConf::ImageRotation, 360},
                          Case{"imageRotationBox", "-400", &CWatermarkConf::ImageRotation, -400}}) {
        auto *box = find<NumberBox>(c.box);
        retype(box, QString::fromLatin1(c.typed));
        EXPECT_EQ(box->text(), QString::fromLatin1(c.typed)) << c.box;
        EXPECT_EQ(savedLayer().*c.field, c.stored) << c.box;
    }
    QTest::keyClick(find<QSlider>("imageTransparencySlider"), Qt::Key_Left);
    EXPECT_EQ(savedLayer().ImageTransparency, 99);
}

TEST_F(ImagePage, BrowseShowsThePictureAndTheBoxesOfItsDrawnSize)
{
    writeTemplate({newLayer(QString())});
    openOnImageTab();
    EXPECT_FALSE(sizeBoxesShown());
    const QByteArray before = layerBytes();
    m_prompts.files.push_back({});
    QTest::mouseClick(find<QPushButton>("browseButton"), Qt::LeftButton);
    EXPECT_EQ(layerBytes(), before) << "a cancelled picker saves nothing";

    m_prompts.files.push_back({m_picturePath});
    QTest::mouseClick(find<QPushButton>("browseButton"), Qt::LeftButton);
    ASSERT_EQ(m_prompts.fileRequests.size(), 2);
    EXPECT_EQ(m_prompts.fileRequests.last().filter, kImagePickerFilter);
    EXPECT_FALSE(m_prompts.fileRequests.last().multiple);

    EXPECT_EQ(find<CEditWithButton>("imagePathBox")->text(), m_picturePath);
    EXPECT_TRUE(sizeBoxesShown());
    auto *width = find<NumberBox>("imageWidthBox");
    auto *height = find<NumberBox>("imageHeightBox");
    // 0: the natural size.
    EXPECT_EQ(width->text(), u"0"_s);
    EXPECT_EQ(height->text(), u"0"_s);
    CWatermarkConf saved = savedLayer();
    EXPECT_EQ(saved.ImagePathName, m_picturePath);
    EXPECT_EQ(saved.ImageDrawWidth, 0);
    EXPECT_EQ(saved.ImageWidth, 0);
    waitForPreview();
    EXPECT_EQ(InkCount(preview(), IsPureRed), 400 * 300);

    // A width alone keeps the proportions; with a height the picture stretches.
    retype(width, u"200"_s);
    EXPECT_EQ(savedLayer().ImageDrawWidth, 200);
    waitForPreview();
    EXPECT_EQ(InkBounds(preview(), IsPureRed).size(), QSize(200, 150));
    retype(height, u"50"_s);
    waitForPreview();
    EXPECT_EQ(InkBounds(preview(), IsPureRed).size(), QSize(200, 50));
    retype(width, u"0"_s);
    retype(height, u"0"_s);
    EXPECT_FALSE(layerBytes().contains("ImageDraw")) << "back at the natural size";
}

TEST_F(ImagePage, UnreadablePictureIsKeptAndToldAbout)
{
    openOnImageTab();
    const QString broken = m_sandbox.filePath(u"broken.png"_s);
    ASSERT_TRUE(WriteFileBytes(broken, "not a picture"));
    m_prompts.files.push_back({broken});
    QTest::mouseClick(find<QPushButton>("browseButton"), Qt::LeftButton);
    EXPECT_EQ(savedLayer().ImagePathName, broken);
    EXPECT_EQ(find<NumberBox>("imageWidthBox")->text(), u"0"_s);
    ASSERT_EQ(m_prompts.messages.size(), 1);
    EXPECT_EQ(m_prompts.messages.first().icon, MessageIcon::Warning);
}

TEST_F(ImagePage, ClearButtonRemovesThePicture)
{
    writeTemplate({newLayer(QString())});
    openOnImageTab();
    m_prompts.files.push_back({m_picturePath});
    QTest::mouseClick(find<QPushButton>("browseButton"), Qt::LeftButton);
    waitForPreview();
    ASSERT_GT(InkCount(preview(), IsPureRed), 0);

    auto *path = find<CEditWithButton>("imagePathBox");
    QTest::mouseClick(path, Qt::LeftButton, {}, path->buttonRect().center());
    EXPECT_TRUE(path->text().isEmpty());
    EXPECT_FALSE(sizeBoxesShown());
    EXPECT_TRUE(savedLayer().ImagePathName.isEmpty());
    waitForPreview();
    EXPECT_EQ(InkCount(preview(), IsPureRed), 0);
}

TEST_F(ImagePage, LayerWithAPictureShowsItsDrawnSize)
{
    CWatermarkConf layer = pictureLayer();
    layer.ImageDrawWidth = 100;
    writeTemplate({layer});
    openOnImageTab();
    EXPECT_EQ(find<CEditWithButton>("imagePathBox")->text(), m_picturePath);
    EXPECT_TRUE(sizeBoxesShown());
    EXPECT_EQ(find<NumberBox>("imageWidthBox")->text(), u"100"_s);
    EXPECT_EQ(find<NumberBox>("imageHeightBox")->text(), u"0"_s);
    // The stored-only fields stay as the file has them.
    retype(find<NumberBox>("imageHeightBox"), u"20"_s);
    EXPECT_EQ(savedLayer().ImageWidth, 7);
    EXPECT_EQ(savedLayer().ImageHeight, 9);
}

TEST_F(ImagePage, ScaleWithThePhotoKeepsThePictureWhereItWas)
{
    CWatermarkConf layer = pictureLayer();
    layer.ImageLocation = int(LocationCode::BottomRight);
    layer.ImageOffsetH = -20;
    writeTemplate({layer});
    openOnImageTab();
    const QRect before = InkBounds(preview(), IsPureRed);

    auto *scale = find<QCheckBox>("imageScaleWithPhotoCheck");
    QTest::mouseClick(scale, Qt::LeftButton, {}, QPoint(5, scale->height() / 2));
    CWatermarkConf saved = savedLayer();
    EXPECT_EQ(saved.ImageRelativeWidth, 6400); // 400 of 625
    EXPECT_EQ(saved.ImageRelativeOffsetH, -295);
    auto *page = find<QWidget>("imageLayerPage");
    EXPECT_TRUE(find<QWidget>("imageWidthShareBox")->isVisibleTo(page));
    EXPECT_FALSE(find<QWidget>("imageWidthBox")->isVisibleTo(page));
    EXPECT_TRUE(find<QWidget>("imageOffsetHShareBox")->isVisibleTo(page));
    EXPECT_FALSE(find<QWidget>("imageOffsetHBox")->isVisibleTo(page));
    waitForPreview();
    const QRect relative = InkBounds(preview(), IsPureRed);
    EXPECT_NEAR(relative.left(), before.left(), 1);
    EXPECT_NEAR(relative.width(), before.width(), 1);

    find<QDoubleSpinBox>("imageWidthShareBox")->setValue(32);
    EXPECT_EQ(savedLayer().ImageRelativeWidth, 3200);
    waitForPreview();
    EXPECT_NEAR(InkBounds(preview(), IsPureRed).width(), 200, 1);

    // Off again: pixels that draw the same.
    QTest::mouseClick(scale, Qt::LeftButton, {}, QPoint(5, scale->height() / 2));
    saved = savedLayer();
    EXPECT_EQ(saved.ImageRelativeWidth, 0);
    EXPECT_EQ(saved.ImageDrawWidth, 200);
    EXPECT_EQ(saved.ImageOffsetH, -20);
    EXPECT_FALSE(layerBytes().contains("ImageRelative"));
}

TEST_F(ImagePage, LocationChoiceResetsTheOffsetsAndMovesThePicture)
{
    CWatermarkConf layer = pictureLayer();
    layer.ImageOffsetH = 30;
    layer.ImageOffsetV = 20;
    writeTemplate({layer});
    openOnImageTab();
    const QRect before = InkBounds(preview(), IsPureRed);

    choose(find<QComboBox>("imageLocationList"), int(LocationCode::TopRight));
    EXPECT_EQ(find<NumberBox>("imageOffsetHBox")->text(), u"0"_s);
    EXPECT_EQ(find<NumberBox>("imageOffsetVBox")->text(), u"0"_s);
    const CWatermarkConf saved = savedLayer();
    EXPECT_EQ(saved.ImageLocation, int(LocationCode::TopRight));
    EXPECT_EQ(saved.ImageOffsetH, 0);
    EXPECT_EQ(saved.ImageOffsetV, 0);

    waitForPreview();
    const QRect after = InkBounds(preview(), IsPureRed);
    EXPECT_EQ(before.topLeft(), QPoint(677 / 2 - 200 + 30, 625 / 2 - 150 + 20));
    EXPECT_EQ(after, QRect(677 - 400, 0, 400, 300));
}

TEST_F(ImagePage, OpeningTheLayerListSavesTheLayer)
{
    openOnImageTab();
    // Someone else changed the file; opening the list writes the editor's
    // record back even though nothing changed here.
    CWatermarkConf other = newLayer(u"changed elsewhere"_s);
    ASSERT_TRUE(SaveLayerConf(m_folder, layerName(0), other));
    auto *list = find<QComboBox>("imageLayerList");
    list->showPopup();
    EXPECT_EQ(savedLayer().textContent, u"Sample"_s);
    list->hidePopup();
}

} // namespace
} // namespace kw::test
