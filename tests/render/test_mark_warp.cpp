#include "model/layer_file.h"
#include "model/template_file.h"
#include "render/font_mapping.h"
#include "render/loaded_template.h"
#include "render/mark_warp.h"
#include "render/text_effect_renderer.h"
#include "render/watermark_renderer.h"

#include "support/image_measure.h"
#include "support/test_sandbox.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QPainter>

#include <cmath>
#include <stdexcept>

using kw::CTextEffectRenderer;
using kw::CWatermarkConf;

using namespace Qt::StringLiterals;
using kw::test::MaxChannelDifference;

namespace {

kw::MarkWarpSeed seedOf(int n)
{
    return kw::MarkWarpSeedFor(QByteArray::number(n), {});
}

kw::MarkWarpSetting warpSetting(double displacement, double offset = 0, double opacity = 0)
{
    kw::MarkWarpSetting setting;
    setting.enabled = true;
    setting.maxDisplacement = displacement;
    setting.maxOffset = offset;
    setting.opacityVariation = opacity;
    return setting;
}

CWatermarkConf textLayer(const QString &text)
{
    CWatermarkConf layer;
    kw::ApplyNewLayerDefaults(layer, text);
    layer.BDrawEdge = 1;
    return layer;
}

// A transparent overlay with an outlined, turned text on it.
QImage markOverlay(QSize size)
{
    QImage overlay = kw::test::TransparentCanvas(size.width(), size.height());
    QPainter painter(&overlay);
    CTextEffectRenderer::DrawTextLayer(painter, size.width(), size.height(),
                                       textLayer(u"Kelvane Watermark"_s));
    return overlay;
}

// Pixels whose alpha is above `threshold`, grown by a square of `radius`.
std::vector<char> inkMask(const QImage &image, int threshold, int radius)
{
    const int w = image.width(), h = image.height();
    std::vector<char> mask(size_t(w) * h, 0);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (qAlpha(image.pixel(x, y)) <= threshold)
                continue;
            for (int v = std::max(0, y - radius); v <= std::min(h - 1, y + radius); ++v)
                for (int u = std::max(0, x - radius); u <= std::min(w - 1, x + radius); ++u)
                    mask[size_t(v) * w + u] = 1;
        }
    }
    return mask;
}

// Ink of `b` (alpha above `threshold`) that lies outside the ink of `a`
// grown by `radius`.
int inkOutside(const QImage &a, const QImage &b, int radius, int threshold)
{
    const std::vector<char> grown = inkMask(a, 0, radius);
    int outside = 0;
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width(); ++x)
            outside += qAlpha(b.pixel(x, y)) > threshold && !grown[size_t(y) * b.width() + x];
    return outside;
}

class MarkWarpTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { kw::RegisterWatermarkFonts(); }
};

TEST_F(MarkWarpTest, FieldIsSmoothBoundedAndSeeded)
{
    const QRect area(10, 20, 300, 200);
    for (double displacement : {0.5, 1.0, 2.0}) {
        const kw::MarkWarpField field(warpSetting(displacement), seedOf(1), area);
        const kw::MarkWarpField again(warpSetting(displacement), seedOf(1), area);
        const kw::MarkWarpField other(warpSetting(displacement), seedOf(2), area);
        double largest = 0, steepest = 0, apart = 0, total = 0;
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x) {
                const QPointF d = field.displacementAt(x, y);
                largest = std::max(largest, std::hypot(d.x(), d.y()));
                total += std::hypot(d.x(), d.y());
                const QPointF e = field.displacementAt(std::min(x + 1, area.right()), y);
                steepest = std::max(steepest, std::hypot(d.x() - e.x(), d.y() - e.y()));
                ASSERT_EQ(d, again.displacementAt(x, y));
                const QPointF o = other.displacementAt(x, y);
                apart = std::max(apart, std::hypot(d.x() - o.x(), d.y() - o.y()));
            }
        }
        EXPECT_LE(largest, displacement + 1e-5);
        // Most points move by about half the largest displacement, some
        // nearly by all of it.
        const double typical = total / (area.width() * area.height()) / displacement;
        EXPECT_GT(typical, 0.35);
        EXPECT_LT(typical, 0.75);
        EXPECT_GT(largest, 0.8 * displacement);
        EXPECT_LT(steepest, 0.25 * displacement); // smooth: no tearing between pixels
        EXPECT_GT(apart, 0.5 * displacement);
        EXPECT_EQ(field.opacity(), 1.0);
        EXPECT_EQ(field.shift(), QPointF());
    }

    const kw::MarkWarpField still(warpSetting(0), seedOf(1), area);
    EXPECT_EQ(still.displacementAt(50, 50), QPointF());
    for (int n = 0; n < 20; ++n) {
        const kw::MarkWarpField moved(warpSetting(1, 3, 10), seedOf(n), area);
        EXPECT_LE(std::hypot(moved.shift().x(), moved.shift().y()), 3.0);
        EXPECT_GE(moved.opacity(), 0.9);
        EXPECT_LE(moved.opacity(), 1.0);
        EXPECT_LE(moved.reach(), 4.0);
    }
}

TEST_F(MarkWarpTest, SeedsComeFromThePhotoBytesAndTheLayers)
{
    kw::test::TestSandbox sandbox;
    const QString a = sandbox.filePath(u"a.bin"_s), b = sandbox.filePath(u"b.bin"_s);
    ASSERT_TRUE(kw::test::WriteFileBytes(a, "photo one"));
    ASSERT_TRUE(kw::test::WriteFileBytes(b, "photo two"));
    const std::vector<CWatermarkConf> layers{textLayer(u"A"_s)};
    std::vector<CWatermarkConf> changed = layers;
    changed[0].OffsetH = 1;

    EXPECT_EQ(kw::MarkWarpSeedForRender(a, layers), kw::MarkWarpSeedForRender(a, layers));
    EXPECT_NE(kw::MarkWarpSeedForRender(a, layers), kw::MarkWarpSeedForRender(b, layers));
    EXPECT_NE(kw::MarkWarpSeedForRender(a, layers), kw::MarkWarpSeedForRender(a, changed));
    EXPECT_EQ(kw::MarkWarpSeedForRender({}, layers), kw::ExampleMarkWarpSeed(layers));
    EXPECT_NE(kw::MarkWarpSeedForRender({}, layers), kw::MarkWarpSeedForRender(a, layers));
    EXPECT_EQ(*kw::FileDigest(a),
              QCryptographicHash::hash("photo one", QCryptographicHash::Sha256));
    EXPECT_FALSE(kw::FileDigest(sandbox.filePath(u"missing"_s)));
}

TEST_F(MarkWarpTest, WarpMovesNoInkFurtherThanTheLargestDisplacementPlusOne)
{
    const QImage overlay = markOverlay(QSize(500, 300));
    const QRect ink = kw::OpaqueBounds(overlay);
    ASSERT_EQ(ink, kw::test::InkBounds(overlay));
    for (double displacement : {0.5, 1.0, 2.0, 3.5}) {
        for (int n = 0; n < 3; ++n) {
            const kw::MarkWarpField field(warpSetting(displacement), seedOf(n), overlay.rect());
            const QImage warped = kw::WarpOverlay(overlay, field);
            ASSERT_EQ(warped.size(), overlay.size());
            const int reach = int(std::floor(displacement + 1));
            // No warped ink away from the original's, and no solid ink of the
            // original left without warped ink near it.
            EXPECT_EQ(inkOutside(overlay, warped, reach, 0), 0) << displacement;
            EXPECT_EQ(inkOutside(warped, overlay, reach, 127), 0) << displacement;
            // It did move: the two differ, but not by a shifted copy's worth.
            EXPECT_GT(MaxChannelDifference(warped, overlay), 20);
            EXPECT_LT(kw::test::MeanChannelDifference(warped, overlay), 20.0);
            // Premultiplied stays valid.
            for (int y = 0; y < warped.height(); y += 3) {
                for (int x = 0; x < warped.width(); x += 3) {
                    const QRgb p = warped.pixel(x, y);
                    ASSERT_LE(std::max({qRed(p), qGreen(p), qBlue(p)}), qAlpha(p));
                }
            }
        }
    }
    // No displacement, no shift, no fade: the overlay comes back unchanged.
    const QImage same = kw::WarpOverlay(overlay, kw::MarkWarpField(warpSetting(0), seedOf(0), ink));
    EXPECT_EQ(same, overlay.copy(ink));
}

TEST_F(MarkWarpTest, DrawWarpedMarkTouchesOnlyTheMarksSurroundings)
{
    QImage photo(400, 300, QImage::Format_ARGB32_Premultiplied);
    photo.fill(QColor(40, 90, 160));
    const auto drawMark = [](QPainter &painter) {
        painter.fillRect(QRect(100, 100, 80, 40), QColor(255, 255, 255, 200));
    };
    QImage warped = photo;
    kw::DrawWarpedMark(warped, warpSetting(2), seedOf(5), drawMark);
    QImage straight = photo;
    {
        QPainter painter(&straight);
        drawMark(painter);
    }
    EXPECT_GT(MaxChannelDifference(warped, straight), 10);
    const QRect reach = QRect(100, 100, 80, 40).adjusted(-3, -3, 3, 3);
    for (int y = 0; y < photo.height(); ++y) {
        for (int x = 0; x < photo.width(); ++x) {
            if (!reach.contains(x, y)) {
                ASSERT_EQ(warped.pixel(x, y), photo.pixel(x, y)) << x << "," << y;
            }
        }
    }
    // The inside of the box, far from its edges, is the same flat white.
    EXPECT_LE(MaxChannelDifference(warped.copy(130, 115, 20, 10), straight.copy(130, 115, 20, 10)),
              1);

    QImage nothing = photo;
    kw::DrawWarpedMark(nothing, warpSetting(2), seedOf(5), [](QPainter &) {});
    EXPECT_EQ(nothing, photo);

    // The overlay kept for the next photo holds nothing of this one's mark,
    // even after a mark whose drawing failed half-way.
    QImage other = photo;
    const auto elsewhere = [](QPainter &painter) {
        painter.fillRect(QRect(300, 20, 30, 30), Qt::black);
    };
    EXPECT_THROW(kw::DrawWarpedMark(other, warpSetting(1), seedOf(6),
                                    [&](QPainter &painter) {
                                        drawMark(painter);
                                        throw std::runtime_error("half-way");
                                    }),
                 std::runtime_error);
    other = photo;
    kw::DrawWarpedMark(other, warpSetting(1), seedOf(6), elsewhere);
    EXPECT_EQ(other.copy(0, 0, 250, 300), photo.copy(0, 0, 250, 300));
    EXPECT_NE(other.copy(290, 10, 50, 50), photo.copy(290, 10, 50, 50));
}

// The option through the compositor, as the batch and the editor use it.
class ResistingRenderTest : public MarkWarpTest
{
protected:
    void SetUp() override
    {
        m_folder = m_sandbox.filePath(u"templates"_s);
        QDir().mkpath(m_folder);
        m_inputs.templatesFolder = m_folder;
        m_inputs.templateName = u"T"_s;
        ASSERT_TRUE(kw::CreateTemplateFile(m_folder, u"T"_s, u"T layer"_s));
        ASSERT_TRUE(kw::CreateLayerFile(m_folder, u"T layer"_s, textLayer(u"Kelvane"_s)));
    }

    // A photo of a soft gradient; `variant` changes its file bytes only
    // (a text chunk), not its pixels.
    QString writePhoto(const QString &name, const QString &variant = {})
    {
        QImage photo(480, 320, QImage::Format_RGB32);
        for (int y = 0; y < photo.height(); ++y)
            for (int x = 0; x < photo.width(); ++x)
                photo.setPixel(x, y, qRgb(x / 3, y / 2, 120));
        if (!variant.isEmpty())
            photo.setText(u"Comment"_s, variant);
        const QString path = m_sandbox.filePath(name);
        EXPECT_TRUE(photo.save(path, "PNG"));
        return path;
    }

    QImage render(const QString &photo)
    {
        const kw::RenderOutcome outcome = kw::CWatermarkRenderer::RenderWatermark(
            kw::RenderMode::BatchOutput, photo, 0, 0, true, m_inputs);
        EXPECT_TRUE(outcome.error.isEmpty()) << outcome.error.toStdString();
        return outcome.picture;
    }

    // The layer drawn straight onto the photo, as the compositor always did.
    QImage drawnDirectly(const QString &photo)
    {
        QImage canvas = QImage(photo).convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&canvas);
        CTextEffectRenderer::DrawTextLayer(painter, canvas.width(), canvas.height(),
                                           textLayer(u"Kelvane"_s));
        return canvas;
    }

    kw::test::TestSandbox m_sandbox;
    QString m_folder;
    kw::RenderInputs m_inputs;
};

TEST_F(ResistingRenderTest, WithoutTheElementTheRenderIsUnchanged)
{
    const QString photo = writePhoto(u"p.png"_s);
    const QImage before = render(photo);
    EXPECT_EQ(before, drawnDirectly(photo));

    const QByteArray templateBytes = kw::test::ReadFileBytes(kw::ModelFilePath(m_folder, u"T"));
    ASSERT_TRUE(kw::SaveMarkWarpSetting(m_folder, u"T"_s, warpSetting(1)));
    EXPECT_NE(render(photo), before);
    ASSERT_TRUE(kw::SaveMarkWarpSetting(m_folder, u"T"_s, kw::MarkWarpSetting{}));
    EXPECT_EQ(kw::test::ReadFileBytes(kw::ModelFilePath(m_folder, u"T")), templateBytes);
    EXPECT_EQ(render(photo), before);
}

// A batch reads the option once, with the layers, at its start: what the
// template file says later does not change the photos still to come.
TEST_F(ResistingRenderTest, TheOptionIsReadOnceWithTheTemplate)
{
    const QString photo = writePhoto(u"p.png"_s);
    const QImage plain = render(photo);
    ASSERT_TRUE(kw::SaveMarkWarpSetting(m_folder, u"T"_s, warpSetting(1)));
    const kw::Result<kw::SharedTemplate> loaded = kw::LoadTemplateForRender(m_folder, u"T"_s);
    ASSERT_TRUE(loaded) << loaded.error().toStdString();
    EXPECT_EQ((*loaded)->markWarp, warpSetting(1));
    m_inputs.loadedTemplate = *loaded;
    const QImage warped = render(photo);
    EXPECT_NE(warped, plain);

    ASSERT_TRUE(kw::SaveMarkWarpSetting(m_folder, u"T"_s, kw::MarkWarpSetting{}));
    EXPECT_EQ(render(photo), warped);
    QFile::remove(kw::ModelFilePath(m_folder, u"T"));
    EXPECT_EQ(render(photo), warped);
}

TEST_F(ResistingRenderTest, SamePhotoSameOutputOtherPhotoOtherField)
{
    ASSERT_TRUE(kw::SaveMarkWarpSetting(m_folder, u"T"_s, warpSetting(1)));
    const QString first = writePhoto(u"a.png"_s, u"first"_s);
    const QString second = writePhoto(u"b.png"_s, u"second"_s);
    ASSERT_EQ(QImage(first), QImage(second)); // same pixels, other bytes

    const QImage a = render(first);
    EXPECT_EQ(a, render(first));
    const QImage b = render(second);
    EXPECT_NE(a, b);
    // Both are the straight mark, moved by at most the displacement plus one.
    const QImage straight = drawnDirectly(first);
    const QImage photo = QImage(first).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const auto markOnly = [&](const QImage &marked) {
        QImage ink = kw::test::TransparentCanvas(marked.width(), marked.height());
        for (int y = 0; y < ink.height(); ++y)
            for (int x = 0; x < ink.width(); ++x)
                if (marked.pixel(x, y) != photo.pixel(x, y))
                    ink.setPixel(x, y, 0xFF000000);
        return ink;
    };
    EXPECT_EQ(inkOutside(markOnly(straight), markOnly(a), 2, 0), 0);
    EXPECT_EQ(inkOutside(markOnly(straight), markOnly(b), 2, 0), 0);

    // The editor's preview shows one example warp, the same every time.
    struct View : kw::PreviewTarget
    {
        QSize viewSize() const override { return {677, 625}; }
        void showPreview(const QImage &picture, const kw::ViewPlacement &) override
        {
            shown = picture;
        }
        QImage shown;
    } view;
    m_inputs.previewTarget = &view;
    const auto preview = [&] {
        kw::CWatermarkRenderer::RenderWatermark(kw::RenderMode::EditorPreview, {}, 0, 0, true,
                                                m_inputs);
        return view.shown;
    };
    const QImage example = preview();
    EXPECT_EQ(preview(), example);
    ASSERT_TRUE(kw::SaveMarkWarpSetting(m_folder, u"T"_s, kw::MarkWarpSetting{}));
    EXPECT_NE(preview(), example);
}

} // namespace
