#include "model/layer_file.h"
#include "model/template_file.h"
#include "render/font_mapping.h"
#include "render/watermark_renderer.h"

#include "render/photo_test_files.h"
#include "support/image_measure.h"
#include "support/test_sandbox.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QPainter>

#include <cmath>

#include <sys/stat.h>
#include <unistd.h>

using kw::CWatermarkConf;

using namespace Qt::StringLiterals;
using kw::CWatermarkRenderer;
using kw::test::InkBounds;
using kw::test::MaxChannelDifference;

namespace {

class FakePreview : public kw::PreviewTarget
{
public:
    explicit FakePreview(QSize size) : m_size(size) {}
    QSize viewSize() const override { return m_size; }
    void showPreview(const QImage &picture, const kw::ViewPlacement &placement) override
    {
        shown = picture;
        lastPlacement = placement;
        ++calls;
    }
    QImage shown;
    kw::ViewPlacement lastPlacement;
    int calls = 0;

private:
    QSize m_size;
};

// A layer that draws only its picture part.
CWatermarkConf pictureLayer(const QString &picturePath)
{
    CWatermarkConf layer;
    kw::ApplyNewLayerDefaults(layer, QString());
    layer.ImagePathName = picturePath;
    layer.ImageTransparency = 100;
    return layer;
}

class WatermarkRenderer : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { kw::RegisterWatermarkFonts(); }

    void SetUp() override
    {
        m_folder = m_sandbox.filePath(u"templates"_s);
        QDir().mkpath(m_folder);
        m_inputs.templatesFolder = m_folder;
    }

    // A template whose layers are written from the given records, in order.
    void writeTemplate(const QString &name, const std::vector<CWatermarkConf> &layers)
    {
        QString text = u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Layers>\r\n"_s;
        for (size_t i = 0; i < layers.size(); ++i) {
            const QString layerName = name + u" layer "_s + QString::number(i);
            ASSERT_TRUE(kw::CreateLayerFile(m_folder, layerName, layers[i]));
            text += u"<layer>"_s + layerName + u"</layer>\r\n"_s;
        }
        text += u"</Layers>\r\n"_s;
        ASSERT_TRUE(kw::test::WriteFileBytes(kw::ModelFilePath(m_folder, name), text.toUtf8()));
        m_inputs.templateName = name;
    }

    QString writePhoto(const QString &name, QSize size, QColor color)
    {
        QImage photo(size, QImage::Format_RGB32);
        photo.fill(color);
        const QString path = m_sandbox.filePath(name);
        EXPECT_TRUE(photo.save(path));
        return path;
    }

    kw::RenderOutcome batch(const QString &photoPath)
    {
        return CWatermarkRenderer::RenderWatermark(kw::RenderMode::BatchOutput, photoPath, 0, 0,
                                                   true, m_inputs);
    }

    kw::test::TestSandbox m_sandbox;
    QString m_folder;
    kw::RenderInputs m_inputs;
};

TEST_F(WatermarkRenderer, PreviewsNeedATarget)
{
    for (auto mode : {kw::RenderMode::EditorPreview, kw::RenderMode::OutputPreview})
        EXPECT_EQ(CWatermarkRenderer::RenderWatermark(mode, {}, 0, 0, true, m_inputs).status, -1);

    FakePreview view(QSize(677, 625));
    m_inputs.previewTarget = &view;
    const auto outcome = CWatermarkRenderer::RenderWatermark(kw::RenderMode::EditorPreview, {}, 0,
                                                             0, false, m_inputs);
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(view.calls, 1);
    EXPECT_EQ(view.shown.size(), QSize(677, 625));

    // A template the editor cannot draw: the bare sample photo and the reason.
    m_inputs.templateName = u"Nowhere"_s;
    const auto broken = CWatermarkRenderer::RenderWatermark(kw::RenderMode::EditorPreview, {}, 0, 0,
                                                            false, m_inputs);
    EXPECT_TRUE(broken.error.contains(u"Nowhere.xml"_s)) << broken.error.toStdString();
    EXPECT_EQ(view.calls, 2);
    EXPECT_EQ(MaxChannelDifference(view.shown, kw::SamplePhoto()), 0);
}

TEST_F(WatermarkRenderer, DrawsEveryLayerFirstToLast)
{
    CWatermarkConf first;
    kw::ApplyNewLayerDefaults(first, u"AAAA"_s);
    first.Location = 0;
    first.Rotation = 0;
    first.BFillText = 1;
    first.TextColor = kw::RgbColor(255, 0, 0);
    CWatermarkConf second = first;
    second.textContent = u"BBBB"_s;
    second.Location = 8;
    second.TextColor = kw::RgbColor(0, 0, 255);
    writeTemplate(u"Two"_s, {first, second});

    const auto outcome = batch(writePhoto(u"white.png"_s, QSize(600, 400), Qt::white));
    ASSERT_TRUE(outcome.error.isEmpty()) << outcome.error.toStdString();
    const auto red = [](QRgb p) { return qRed(p) > 200 && qGreen(p) < 80 && qBlue(p) < 80; };
    const auto blue = [](QRgb p) { return qBlue(p) > 200 && qRed(p) < 80 && qGreen(p) < 80; };
    const QRect redInk = InkBounds(outcome.picture, red);
    const QRect blueInk = InkBounds(outcome.picture, blue);
    ASSERT_FALSE(redInk.isNull());
    ASSERT_FALSE(blueInk.isNull());
    EXPECT_LT(redInk.right(), 300);
    EXPECT_GT(blueInk.left(), 300);
}

// Nothing is drawn without its watermark: every part of a template that
// cannot be read fails the render with a reason naming the file.
TEST_F(WatermarkRenderer, EveryUnreadablePartOfATemplateFailsTheRender)
{
    const QString photo = writePhoto(u"grey.png"_s, QSize(200, 100), QColor(90, 90, 90));
    const auto failsWith = [&](const QString &expected) {
        const kw::RenderOutcome outcome = batch(photo);
        EXPECT_TRUE(outcome.picture.isNull());
        EXPECT_TRUE(outcome.error.contains(expected))
            << outcome.error.toStdString() << " lacks " << expected.toStdString();
    };

    m_inputs.templateName.clear();
    failsWith(u"no template is selected"_s);
    m_inputs.templateName = u"Nowhere"_s; // listed, but without its file
    failsWith(u"the template file "_s + m_folder + u"/Nowhere.xml cannot be read: no such file"_s);
    ASSERT_TRUE(kw::test::WriteFileBytes(kw::ModelFilePath(m_folder, u"Empty"_s), "<Layers/>"));
    m_inputs.templateName = u"Empty"_s;
    failsWith(u"lists no layer"_s);
    ASSERT_TRUE(kw::CreateTemplateFile(m_folder, u"Orphan"_s, u"no such layer"_s));
    m_inputs.templateName = u"Orphan"_s;
    failsWith(u"the layer 'no such layer' of template 'Orphan' cannot be read"_s);
    writeTemplate(u"Damaged"_s, {pictureLayer({})});
    ASSERT_TRUE(kw::test::WriteFileBytes(kw::ModelFilePath(m_folder, u"Damaged layer 0"_s),
                                         "<WatermarkConf><Text>"));
    failsWith(u"the layer 'Damaged layer 0' of template 'Damaged' cannot be read"_s);

    const QString missing = m_sandbox.filePath(u"missing.png"_s);
    writeTemplate(u"Brand"_s, {pictureLayer(missing)});
    failsWith(u"the logo %1 of layer 'Brand layer 0' cannot be read: no such file"_s.arg(missing));
    const QString fifo = m_sandbox.filePath(u"logo.fifo"_s);
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    writeTemplate(u"Fifo"_s, {pictureLayer(fifo)}); // must not wait for a writer
    failsWith(u"cannot be read: not a regular file"_s);
    writeTemplate(u"Folder"_s, {pictureLayer(m_folder)});
    failsWith(u"cannot be read: it is a folder"_s);
    const QString text = m_sandbox.filePath(u"notes.png"_s);
    ASSERT_TRUE(kw::test::WriteFileBytes(text, "not a picture\n"));
    writeTemplate(u"Text"_s, {pictureLayer(text)});
    failsWith(u"the logo %1 of layer 'Text layer 0' cannot be read: not a"_s.arg(text));
    if (::geteuid() != 0) { // root reads any file
        const QString locked = writePhoto(u"locked.png"_s, QSize(8, 8), Qt::black);
        ASSERT_EQ(::chmod(QFile::encodeName(locked).constData(), 0), 0);
        writeTemplate(u"Locked"_s, {pictureLayer(locked)});
        failsWith(u"the logo %1 of layer 'Locked layer 0' cannot be read"_s.arg(locked));
    }

    // A layer with no text and no picture is a design, drawn as nothing.
    writeTemplate(u"Blank"_s, {pictureLayer({})});
    const kw::RenderOutcome blank = batch(photo);
    ASSERT_TRUE(blank.error.isEmpty()) << blank.error.toStdString();
    QImage expected(200, 100, QImage::Format_ARGB32_Premultiplied);
    expected.fill(QColor(90, 90, 90));
    EXPECT_EQ(MaxChannelDifference(blank.picture, expected), 0);
}

// The template read once is what a render draws, whatever the files say
// afterwards; each layer starts from the new-layer values.
TEST_F(WatermarkRenderer, ALoadedTemplateIsDrawnWithoutReadingTheFilesAgain)
{
    const QString photo = writePhoto(u"white.png"_s, QSize(300, 200), Qt::white);
    const QString logo = writePhoto(u"logo.png"_s, QSize(30, 20), Qt::black);
    CWatermarkConf layer = pictureLayer(logo);
    layer.Rotation = 5;
    writeTemplate(u"Frozen"_s, {layer, pictureLayer({})});
    ASSERT_TRUE(kw::test::WriteFileBytes(kw::ModelFilePath(m_folder, u"Frozen layer 1"_s),
                                         "<WatermarkConf><Image><ImageWidth>7</ImageWidth>"
                                         "</Image></WatermarkConf>"));
    const kw::Result<kw::SharedTemplate> loaded = kw::LoadTemplateForRender(m_folder, u"Frozen"_s);
    ASSERT_TRUE(loaded) << loaded.error().toStdString();
    ASSERT_EQ((*loaded)->layers.size(), 2u);
    EXPECT_EQ((*loaded)->layers[0].conf, layer);
    EXPECT_EQ((*loaded)->layers[0].picture.size(), QSize(30, 20));
    CWatermarkConf second;
    kw::ApplyNewLayerDefaults(second, QString());
    second.ImageWidth = 7;
    EXPECT_EQ((*loaded)->layers[1].conf, second);
    EXPECT_TRUE((*loaded)->layers[1].picture.isNull());

    const QRect ink = InkBounds(batch(photo).picture, [](QRgb p) { return qRed(p) < 128; });
    QFile::remove(logo);
    QFile::remove(kw::ModelFilePath(m_folder, u"Frozen"_s));
    EXPECT_FALSE(batch(photo).error.isEmpty());
    m_inputs.loadedTemplate = *loaded;
    const kw::RenderOutcome frozen = batch(photo);
    ASSERT_TRUE(frozen.error.isEmpty()) << frozen.error.toStdString();
    EXPECT_EQ(InkBounds(frozen.picture, [](QRgb p) { return qRed(p) < 128; }), ink);
    EXPECT_FALSE(ink.isNull());
}

TEST_F(WatermarkRenderer, PicturePlacementRotationAndOpacity)
{
    const QString photo = writePhoto(u"white.png"_s, QSize(801, 400), Qt::white);
    const QString logo = writePhoto(u"logo.png"_s, QSize(101, 40), Qt::black);
    const auto dark = [](QRgb p) { return qRed(p) < 128; };

    CWatermarkConf layer = pictureLayer(logo);
    layer.ImageLocation = 8;
    layer.ImageOffsetH = layer.ImageOffsetV = -10;
    writeTemplate(u"Corner"_s, {layer});
    EXPECT_EQ(InkBounds(batch(photo).picture, dark), QRect(801 - 10 - 101, 400 - 10 - 40, 101, 40));

    // Centred on an odd canvas: 400.5 - 50 = 350.5, drawn at 350.
    layer.ImageLocation = 4;
    layer.ImageOffsetH = layer.ImageOffsetV = 0;
    writeTemplate(u"Centre"_s, {layer});
    EXPECT_EQ(InkBounds(batch(photo).picture, dark).topLeft(), QPoint(350, 180));

    // A quarter turn counter-clockwise about the top-left corner: out of sight.
    layer.ImageLocation = 0;
    layer.ImageRotation = 90;
    writeTemplate(u"Turned"_s, {layer});
    EXPECT_TRUE(InkBounds(batch(photo).picture, dark).isNull());
    // The same turn from the bottom-left corner stands the picture up above it.
    layer.ImageLocation = 6;
    writeTemplate(u"Turned up"_s, {layer});
    const QRect up = InkBounds(batch(photo).picture, dark);
    EXPECT_NEAR(up.width(), 40, 1);
    EXPECT_NEAR(up.height(), 101, 1);
    EXPECT_NEAR(up.bottom(), 360 - 1, 1);

    layer.ImageRotation = 0;
    layer.ImageLocation = 0;
    layer.ImageTransparency = 0;
    writeTemplate(u"Invisible"_s, {layer});
    EXPECT_TRUE(InkBounds(batch(photo).picture, dark).isNull());
    layer.ImageTransparency = 50;
    writeTemplate(u"Half"_s, {layer});
    EXPECT_NEAR(qRed(batch(photo).picture.pixel(10, 10)), 128, 2);
}

TEST_F(WatermarkRenderer, PictureTurnedAboutItsAnchorStaysCentred)
{
    const QString photo = writePhoto(u"white.png"_s, QSize(800, 600), Qt::white);
    const QString logo = writePhoto(u"logo.png"_s, QSize(120, 40), Qt::black);
    const auto dark = [](QRgb p) { return qRed(p) < 250; };
    for (const int degrees : {0, 30, 90, 180}) {
        CWatermarkConf layer = pictureLayer(logo);
        layer.ImageRotation = degrees;
        layer.ImageTurnAboutAnchor = 1;
        writeTemplate(u"Centred"_s, {layer});
        const QRectF ink = QRectF(InkBounds(batch(photo).picture, dark)).adjusted(0, 0, 1, 1);
        EXPECT_NEAR(ink.center().x(), 400, 1) << degrees;
        EXPECT_NEAR(ink.center().y(), 300, 1) << degrees;

        // In the bottom-right corner, whole and against it.
        layer.ImageLocation = 8;
        writeTemplate(u"Corner"_s, {layer});
        const QRect corner = InkBounds(batch(photo).picture, dark);
        EXPECT_NEAR(corner.width(), ink.width(), 1) << degrees;
        EXPECT_NEAR(corner.right(), 799, 1) << degrees;
        EXPECT_NEAR(corner.bottom(), 599, 1) << degrees;
    }
}

TEST_F(WatermarkRenderer, PictureDrawnAtItsSetSizeOrRelativeToThePhoto)
{
    const QString logo = writePhoto(u"logo.png"_s, QSize(120, 40), Qt::black);
    const auto dark = [](QRgb p) { return qRed(p) < 128; };
    const QString photo = writePhoto(u"white.png"_s, QSize(800, 600), Qt::white);

    CWatermarkConf layer = pictureLayer(logo);
    layer.ImageLocation = 0;
    layer.ImageDrawWidth = 60; // the height follows the picture's proportions
    writeTemplate(u"Width"_s, {layer});
    EXPECT_EQ(InkBounds(batch(photo).picture, dark), QRect(0, 0, 60, 20));
    layer.ImageDrawHeight = 50; // both: stretched
    writeTemplate(u"Both"_s, {layer});
    EXPECT_EQ(InkBounds(batch(photo).picture, dark), QRect(0, 0, 60, 50));
    layer.ImageDrawWidth = 0;
    layer.ImageDrawHeight = 80;
    writeTemplate(u"Height"_s, {layer});
    EXPECT_EQ(InkBounds(batch(photo).picture, dark), QRect(0, 0, 240, 80));

    // Relative: 20 % of the shorter side wide, 5 % of the width and height in
    // from the bottom-right corner, on a web copy and on a full-size photo.
    layer = pictureLayer(logo);
    layer.ImageLocation = 8;
    layer.ImageRelativeWidth = 2000;
    layer.ImageRelativeOffsetH = layer.ImageRelativeOffsetV = -500;
    writeTemplate(u"Relative"_s, {layer});
    for (const QSize size : {QSize(800, 533), QSize(6000, 4000)}) {
        const QRectF ink =
            QRectF(InkBounds(batch(writePhoto(u"photo.png"_s, size, Qt::white)).picture, dark));
        const double shorter = std::min(size.width(), size.height());
        EXPECT_NEAR(ink.width() / shorter, 0.20, 0.004) << size.width();
        EXPECT_NEAR(ink.height() / shorter, 0.20 / 3, 0.004) << size.width();
        EXPECT_NEAR((ink.right() + 1) / size.width(), 0.95, 0.002) << size.width();
        EXPECT_NEAR((ink.bottom() + 1) / size.height(), 0.95, 0.002) << size.width();
    }
    // On a thumbnail it is still there, whole.
    const QRect thumb =
        InkBounds(batch(writePhoto(u"thumb.png"_s, QSize(88, 64), Qt::white)).picture, dark);
    EXPECT_NEAR(thumb.width(), 13, 1);
    EXPECT_GT(thumb.left(), 60);
    EXPECT_LT(thumb.right(), 87);
}

// A logo turned by 30 degrees: its edges blend into the photo by coverage
// instead of stepping from one pixel row to the next.
TEST_F(WatermarkRenderer, ATurnedLogoHasAntiAliasedEdges)
{
    QImage logo(120, 80, QImage::Format_ARGB32_Premultiplied);
    logo.fill(Qt::black);
    CWatermarkConf layer = pictureLayer(u"logo.png"_s);
    layer.ImageLocation = 0;
    layer.ImageOffsetH = 100;
    layer.ImageOffsetV = 150;
    const auto draw = [&](int rotation) {
        layer.ImageRotation = rotation;
        QImage canvas = kw::test::TransparentCanvas(400, 400);
        QPainter painter(&canvas);
        CWatermarkRenderer::DrawImageLayer(painter, 400, 400, layer, logo);
        return canvas;
    };
    const auto soft = [](QRgb p) { return qAlpha(p) > 8 && qAlpha(p) < 247; };

    // Unturned it covers whole pixels, exactly where it did.
    const QImage flat = draw(0);
    EXPECT_EQ(kw::test::InkCount(flat, soft), 0);
    EXPECT_EQ(InkBounds(flat), QRect(100, 150, 120, 80));

    // Turned, every row and column its edges cross has a blended pixel: the
    // edges are about 2 x (120 + 80) pixels long.
    const QImage turned = draw(30);
    EXPECT_GE(kw::test::InkCount(turned, soft), 300);
    for (int y = InkBounds(turned).top() + 1; y < InkBounds(turned).bottom(); ++y) {
        bool blended = false;
        for (int x = 0; x < turned.width() && !blended; ++x)
            blended = soft(turned.pixel(x, y));
        EXPECT_TRUE(blended) << "row " << y;
    }
    // Turned about its top-left corner, counter-clockwise on screen: its
    // centre lands where the turn takes it.
    const double angle = -30 * M_PI / 180;
    const QPointF centre(100 + 60 * std::cos(angle) - 40 * std::sin(angle),
                         150 + 60 * std::sin(angle) + 40 * std::cos(angle));
    const QPointF ink = kw::test::InkCentroid(turned);
    EXPECT_NEAR(ink.x(), centre.x(), 0.6);
    EXPECT_NEAR(ink.y(), centre.y(), 0.6);
}

// A JPEG logo stored on its side with an EXIF orientation is drawn upright,
// as a photo is.
TEST_F(WatermarkRenderer, AnExifTurnedLogoIsDrawnUpright)
{
    // Upright: 60 x 30, red on the left, blue on the right.
    QImage upright(60, 30, QImage::Format_RGB32);
    upright.fill(QColor(220, 20, 20));
    QPainter(&upright).fillRect(30, 0, 30, 30, QColor(20, 20, 220));
    const QString photo = writePhoto(u"white.png"_s, QSize(200, 200), Qt::white);
    const auto red = [](QRgb p) { return qRed(p) > 150 && qBlue(p) < 100; };
    const auto blue = [](QRgb p) { return qBlue(p) > 150 && qRed(p) < 100; };
    for (const int orientation : {1, 3, 6, 8}) {
        SCOPED_TRACE(orientation);
        const QString logo = m_sandbox.filePath(u"logo%1.jpg"_s.arg(orientation));
        const QImage stored = kw::OrientToStored(upright, orientation);
        ASSERT_TRUE(kw::test::WriteFileBytes(
            logo, kw::test::WithOrientation(kw::test::Encode(stored, "jpeg", 95), orientation)));
        CWatermarkConf layer = pictureLayer(logo);
        layer.ImageLocation = 0;
        layer.ImageOffsetH = layer.ImageOffsetV = 20;
        writeTemplate(u"Upright %1"_s.arg(orientation), {layer});
        const kw::RenderOutcome outcome = batch(photo);
        ASSERT_TRUE(outcome.error.isEmpty()) << outcome.error.toStdString();
        EXPECT_EQ(InkBounds(outcome.picture, red), QRect(20, 20, 30, 30));
        EXPECT_EQ(InkBounds(outcome.picture, blue), QRect(50, 20, 30, 30));
    }
}

// An SVG logo is drawn at its own size, placed as a raster one; one that
// cannot be drawn fails the photo, naming the file.
TEST_F(WatermarkRenderer, SvgLogosAreDrawnAndDamagedOnesFailThePhoto)
{
    const QString photo = writePhoto(u"white.png"_s, QSize(300, 200), Qt::white);
    const QString logo = m_sandbox.filePath(u"logo.svg"_s);
    ASSERT_TRUE(kw::test::WriteFileBytes(
        logo, "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"64\" height=\"24\" "
              "viewBox=\"0 0 32 12\"><rect x=\"2\" y=\"2\" width=\"28\" height=\"8\" "
              "fill=\"#000\"/></svg>"));
    CWatermarkConf layer = pictureLayer(logo);
    layer.ImageLocation = 8;
    layer.ImageOffsetH = layer.ImageOffsetV = -10;
    writeTemplate(u"Vector"_s, {layer});
    const kw::RenderOutcome outcome = batch(photo);
    ASSERT_TRUE(outcome.error.isEmpty()) << outcome.error.toStdString();
    // The 64 x 24 box at the bottom right; the rectangle inside it at 2x.
    EXPECT_EQ(InkBounds(outcome.picture, [](QRgb p) { return qRed(p) < 128; }),
              QRect(300 - 10 - 64 + 4, 200 - 10 - 24 + 4, 56, 16));

    // A logo named .png that is SVG inside is drawn as SVG.
    const QString disguised = m_sandbox.filePath(u"disguised.png"_s);
    ASSERT_TRUE(QFile::copy(logo, disguised));
    writeTemplate(u"Disguised"_s, {pictureLayer(disguised)});
    EXPECT_TRUE(batch(photo).error.isEmpty());

    const QString damaged = m_sandbox.filePath(u"damaged.svg"_s);
    ASSERT_TRUE(kw::test::WriteFileBytes(
        damaged, "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"64\" height=\"24\">\n<rect "));
    writeTemplate(u"Damaged"_s, {pictureLayer(damaged)});
    const kw::RenderOutcome failed = batch(photo);
    EXPECT_TRUE(failed.picture.isNull());
    EXPECT_TRUE(failed.error.startsWith(
        u"the logo %1 of layer 'Damaged layer 0' cannot be read: damaged SVG: line 2"_s.arg(
            damaged)))
        << failed.error.toStdString();
}

TEST_F(WatermarkRenderer, OutputPreviewPlacesThePictureInTheView)
{
    struct Case
    {
        QSize picture, view;
        QPoint scroll;
        QPoint destination;
        QRect source;
    };
    const Case cases[] = {
        {{100, 50}, {300, 200}, {7, 9}, {100, 75}, {0, 0, 100, 50}},    // smaller: centred
        {{100, 500}, {300, 200}, {0, 30}, {100, 0}, {0, 30, 100, 200}}, // taller than the view
        {{500, 50}, {300, 200}, {40, 0}, {0, 75}, {40, 0, 300, 50}},    // wider than the view
        {{500, 500}, {300, 200}, {40, 30}, {0, 0}, {40, 30, 300, 200}}, // larger both ways
        {{300, 200}, {300, 200}, {0, 0}, {0, 0}, {0, 0, 300, 200}},     // equal
    };
    for (const Case &c : cases) {
        const kw::ViewPlacement placement = kw::PlaceInView(c.picture, c.view, c.scroll);
        EXPECT_EQ(placement.destination, c.destination) << c.picture.width();
        EXPECT_EQ(placement.source, c.source) << c.picture.width();
    }

    FakePreview view(QSize(300, 200));
    m_inputs.previewTarget = &view;
    const QString photo = writePhoto(u"small.png"_s, QSize(100, 50), Qt::white);
    const auto outcome = CWatermarkRenderer::RenderWatermark(kw::RenderMode::OutputPreview, photo,
                                                             -5, -5, true, m_inputs);
    EXPECT_EQ(view.calls, 1);
    EXPECT_TRUE(view.lastPlacement.eraseBackground);
    EXPECT_EQ(view.lastPlacement.destination, QPoint(100, 75));

    // So does a template that cannot be read: the reason, never a bare photo.
    m_inputs.templateName = u"Nowhere"_s;
    const auto noTemplate = CWatermarkRenderer::RenderWatermark(kw::RenderMode::OutputPreview,
                                                                photo, 0, 0, true, m_inputs);
    EXPECT_TRUE(noTemplate.error.contains(u"Nowhere.xml"_s)) << noTemplate.error.toStdString();
    EXPECT_TRUE(view.shown.isNull());
    m_inputs.templateName.clear();

    // An unreadable photo still reaches the view, with a reason and no picture.
    const auto broken = CWatermarkRenderer::RenderWatermark(
        kw::RenderMode::OutputPreview, m_sandbox.filePath(u"none.jpg"_s), 0, 0, true, m_inputs);
    EXPECT_FALSE(broken.error.isEmpty());
    EXPECT_TRUE(view.shown.isNull());
    EXPECT_EQ(view.calls, 3);
}

} // namespace
