// The editor's preview as a user meets it: on a photo of their own, placing
// the mark by hand, and a window that fits the screen.
#include "editor_test_support.h"

#include "editor/layer_list_box.h"
#include "editor/number_box.h"
#include "editor/preview_photo.h"
#include "model/template_layers.h"
#include "platform/codes.h"
#include "render/watermark_renderer.h"

#include "render/photo_test_files.h"
#include "support/image_measure.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QUndoStack>

using namespace Qt::StringLiterals;

namespace kw::test {
namespace {

class Preview : public EditorFixture
{
protected:
    PreviewFrame *frame() const { return find<PreviewFrame>("previewFrame"); }
    QUndoStack *history() const { return m_editor->findChild<QUndoStack *>(); }

    // A photo-like JPEG stored sideways (EXIF orientation 6).
    QString writeTurnedPhoto(int storedWidth, int storedHeight)
    {
        const QString path = m_sandbox.filePath(u"turned.jpg"_s);
        const QByteArray jpeg = Encode(PhotoLikeImage(storedWidth, storedHeight), "jpg", 92);
        EXPECT_TRUE(WriteFileBytes(path, WithOrientation(jpeg, 6)));
        return path;
    }
};

// A layer with the effects that work in device pixels (shadow halo, cover
// tiles) besides edge and fill, big enough to see on a shrunk copy.
CWatermarkConf EffectLayer()
{
    CWatermarkConf layer;
    ApplyNewLayerDefaults(layer, u"Proof"_s);
    layer.Font.setHeight(-160);
    layer.Location = Code(LocationCode::BottomRight);
    layer.OffsetH = -120;
    layer.OffsetV = -90;
    layer.BAddShadow = 1;
    layer.ShadowBR = 12;
    layer.ShadowAlpha = 200;
    layer.BDrawEdge = 1;
    layer.EdgeLineThickness = 6;
    layer.BCoverImage = 1;
    layer.coverImgMethod = Code(CoverImgMethodCode::Stroke);
    return layer;
}

struct MarkAgreement
{
    int pixels = 0; // where either picture shows the mark
    double meanDifference = 0;
};

MarkAgreement CompareMarks(const QImage &a, const QImage &b, const QImage &bare)
{
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    const QImage z = bare.convertToFormat(QImage::Format_RGB32);
    const auto far = [](QRgb p, QRgb q) {
        return std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
               std::abs(qBlue(p) - qBlue(q));
    };
    MarkAgreement result;
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        for (int col = 0; col < x.width(); ++col) {
            const QRgb p = x.pixel(col, row), q = y.pixel(col, row), r = z.pixel(col, row);
            if (far(p, r) < 24 && far(q, r) < 24)
                continue;
            ++result.pixels;
            sum += far(p, q) / 3.0;
        }
    }
    result.meanDifference = result.pixels ? sum / result.pixels : 0;
    return result;
}

TEST_F(Preview, AListPhotoIsDrawnAsTheBatchDrawsItShrunk)
{
    writeTemplate({EffectLayer()});
    const QString photo = writeTurnedPhoto(1600, 1200);
    openEditor();
    const QImage sample = frame()->picture();
    ResizeRequest resize;
    resize.resize = true;
    resize.scaleType = 2; // 1500 pixels high, as the batch resizes
    resize.targetHeight = 1500;
    m_editor->setPreviewPhotos({m_sandbox.filePath(u"other.jpg"_s), photo}, 1, resize);
    waitForPreview();
    auto *list = find<QComboBox>("previewPhotoList");
    EXPECT_EQ(list->currentText(), u"turned.jpg"_s);
    EXPECT_EQ(list->count(), 3);

    const QImage shown = frame()->picture();
    ASSERT_FALSE(shown.isNull());
    EXPECT_LT(shown.width(), shown.height()) << "turned upright";
    EXPECT_LE(shown.height(), PreviewFrame::kSize.height());
    EXPECT_EQ(frame()->photoSize(), QSize(1125, 1500));

    const RenderOutcome batch = CWatermarkRenderer::RenderWatermark(
        RenderMode::BatchOutput, photo, 0, 0, false,
        RenderInputs{m_folder, u"Sample"_s, resize, nullptr, {}});
    ASSERT_TRUE(batch.error.isEmpty()) << batch.error.toStdString();
    const QImage expected =
        batch.picture.scaled(shown.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    EXPECT_LT(MeanAbsDiff(shown, expected), 2.0);
    // The mark itself, not only the photo: where either picture differs from
    // the bare photo, they agree closely.
    const Result<DecodedPhoto> bare = LoadPhoto(photo, PhotoLoadOptions{resize});
    ASSERT_TRUE(bare);
    const QImage bareShown =
        bare->image.scaled(shown.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const MarkAgreement mark = CompareMarks(shown, expected, bareShown);
    EXPECT_GT(mark.pixels, 2000) << "the mark is drawn";
    // Thin strokes drawn at the small size and strokes shrunk differ in their
    // anti-aliasing only.
    EXPECT_LT(mark.meanDifference, 16.0);
    // A photo that cannot be read says why, as the batch would.
    choose(list, 1);
    waitForPreview();
    EXPECT_TRUE(find<QLabel>("editorStatus")->text().contains(u"other.jpg"_s))
        << find<QLabel>("editorStatus")->text().toStdString();
    EXPECT_TRUE(frame()->picture().isNull());

    // Back to the sample photo from the list.
    choose(list, 0);
    waitForPreview();
    EXPECT_EQ(MaxChannelDifference(frame()->picture(), sample), 0);
}

TEST_F(Preview, DraggingTheMarkSetsItsOffsetsAsOneStep)
{
    openEditor();
    PreviewFrame *view = frame();
    const double scale = view->photoPixelsPerViewPixel();
    const QByteArray original = layerBytes();
    const QPoint start = view->rect().center();
    QTest::mousePress(view, Qt::LeftButton, {}, start);
    QTest::mouseMove(view, start + QPoint(10, 5));
    QTest::mouseMove(view, start + QPoint(20, 10));
    QTest::mouseRelease(view, Qt::LeftButton, {}, start + QPoint(40, -30));
    waitForPreview();
    EXPECT_EQ(savedLayer().OffsetH, qRound(40 * scale));
    EXPECT_EQ(savedLayer().OffsetV, qRound(-30 * scale));
    EXPECT_EQ(find<NumberBox>("offsetHBox")->text(), QString::number(qRound(40 * scale)));
    EXPECT_EQ(history()->count(), 1) << "a drag is one step";

    // Arrow keys move it by a pixel, with Shift by ten.
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Right);
    QTest::keyClick(view, Qt::Key_Right);
    QTest::keyClick(view, Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(savedLayer().OffsetH, qRound(40 * scale) + 2);
    EXPECT_EQ(savedLayer().OffsetV, qRound(-30 * scale) - 10);

    // On the image page the picture part moves.
    switchToTab(1);
    QTest::mousePress(view, Qt::LeftButton, {}, start);
    QTest::mouseRelease(view, Qt::LeftButton, {}, start + QPoint(-20, 0));
    EXPECT_EQ(savedLayer().ImageOffsetH, qRound(-20 * scale));
    EXPECT_EQ(savedLayer().OffsetH, qRound(40 * scale) + 2);

    while (history()->canUndo())
        history()->undo();
    EXPECT_EQ(layerBytes(), original);
}

TEST_F(Preview, AVeryLongLayerNameKeepsTheEditorOnTheScreen)
{
    const QString longName = QString(u"Layer with a very long name "_s).repeated(5).left(120);
    ASSERT_TRUE(RenameTemplateLayer(m_folder, u"Sample"_s, 0, longName));
    openEditor();
    const QRect screen = m_editor->screen()->availableGeometry();
    EXPECT_TRUE(screen.contains(m_editor->frameGeometry()))
        << m_editor->frameGeometry().width() << " x " << m_editor->frameGeometry().height()
        << " on " << screen.width() << " x " << screen.height();
    auto *list = find<LayerListBox>("layerList");
    EXPECT_LT(list->width(), 400);
    EXPECT_EQ(list->toolTip(), longName);
    EXPECT_TRUE(list->shownText().endsWith(QChar(0x2026))) << "cut with an ellipsis";
    // The pages scroll when the screen is lower than they are.
    auto *scroller = find<QScrollArea>("editorPagesScroller");
    EXPECT_TRUE(scroller->widget()->height() <= scroller->viewport()->height() ||
                scroller->verticalScrollBar()->isVisible());
    EXPECT_GE(frame()->width(), PreviewFrame::kMinimumSize.width());
}

} // namespace
} // namespace kw::test
