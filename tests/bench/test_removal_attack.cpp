#include "removal_attack.h"

#include "model/template_file.h"
#include "model/watermark_conf.h"
#include "render/font_mapping.h"
#include "render/mark_warp.h"
#include "render/text_effect_renderer.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <QRandomGenerator>

#include <cmath>

using kw::CTextEffectRenderer;
using kw::CWatermarkConf;

using namespace Qt::StringLiterals;

namespace {

// A photo-like picture: overlapping soft shapes of random colours and grain.
QImage generatedPhoto(quint32 seed, QSize size)
{
    QRandomGenerator random(seed);
    QImage photo(size, QImage::Format_RGB32);
    photo.fill(QColor::fromRgb(random.bounded(256), random.bounded(256), random.bounded(256)));
    QPainter painter(&photo);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < 40; ++i) {
        painter.setBrush(
            QColor::fromRgb(random.bounded(256), random.bounded(256), random.bounded(256), 160));
        const int w = 10 + random.bounded(size.width() / 2),
                  h = 10 + random.bounded(size.height() / 2);
        painter.drawEllipse(random.bounded(size.width()) - w / 2,
                            random.bounded(size.height()) - h / 2, w, h);
    }
    painter.end();
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(photo.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const int grain = random.bounded(9) - 4;
            const auto add = [&](int v) { return std::clamp(v + grain, 0, 255); };
            line[x] = qRgb(add(qRed(line[x])), add(qGreen(line[x])), add(qBlue(line[x])));
        }
    }
    return photo;
}

class RemovalAttackTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { kw::RegisterWatermarkFonts(); }

    void SetUp() override
    {
        kw::ApplyNewLayerDefaults(m_layer, u"Kelvane Watermark"_s);
        m_layer.Font.setHeight(-30);
        m_layer.Rotation = 15;
        m_layer.Transparency = 140;
        m_layer.TextColor = kw::RgbColor(255, 255, 255);
        m_layer.BDrawEdge = 1;
        m_layer.EdgeColor = kw::RgbColor(30, 30, 30);
        for (quint32 i = 0; i < 15; ++i)
            m_originals.push_back(generatedPhoto(i + 1, m_size));
    }

    std::vector<QImage> marked(const kw::MarkWarpSetting &setting) const
    {
        std::vector<QImage> out;
        for (size_t i = 0; i < m_originals.size(); ++i) {
            QImage canvas = m_originals[i].convertToFormat(QImage::Format_ARGB32_Premultiplied);
            const auto draw = [&](QPainter &painter) {
                CTextEffectRenderer::DrawTextLayer(painter, canvas.width(), canvas.height(),
                                                   m_layer);
            };
            if (setting.enabled) {
                const CWatermarkConf layers[] = {m_layer};
                kw::DrawWarpedMark(canvas, setting,
                                   kw::MarkWarpSeedFor(QByteArray::number(qulonglong(i)), layers),
                                   draw);
            } else {
                QPainter painter(&canvas);
                draw(painter);
            }
            out.push_back(canvas);
        }
        return out;
    }

    QSize m_size{560, 200};
    CWatermarkConf m_layer;
    std::vector<QImage> m_originals;
};

TEST_F(RemovalAttackTest, PoissonSolveGivesBackAPictureFromItsGradients)
{
    const QRect region(20, 10, 63, 31);
    ASSERT_TRUE(kw::attack::IsSolvableRegion(region));
    EXPECT_FALSE(kw::attack::IsSolvableRegion(QRect(0, 0, 64, 31)));
    EXPECT_TRUE(
        kw::attack::IsSolvableRegion(kw::attack::SolvableRegionAround(QRect(5, 5, 100, 40))));
    EXPECT_TRUE(
        kw::attack::SolvableRegionAround(QRect(5, 5, 100, 40)).contains(QRect(5, 5, 100, 40)));

    // A blob that is zero on and around the region's edges.
    QImage picture(120, 60, QImage::Format_RGB32);
    picture.fill(Qt::black);
    for (int y = 0; y < 60; ++y) {
        for (int x = 0; x < 120; ++x) {
            const double r = std::hypot(x - 51.0, y - 25.0);
            const int v = r < 12 ? int(200 * (1 - r / 12)) : 0;
            picture.setPixel(x, y, qRgb(v, v / 2, 255 * (r < 5)));
        }
    }
    const kw::attack::GradientField field = kw::attack::Gradients(picture, region);
    for (int c = 0; c < 3; ++c) {
        const std::vector<float> u = kw::attack::IntegrateGradients(field, c);
        ASSERT_EQ(u.size(), size_t(region.width() * region.height()));
        double worst = 0;
        for (int y = 0; y < region.height(); ++y) {
            for (int x = 0; x < region.width(); ++x) {
                const QRgb p = picture.pixel(region.left() + x, region.top() + y);
                const int expected = c == 0 ? qRed(p) : c == 1 ? qGreen(p) : qBlue(p);
                worst =
                    std::max(worst, std::abs(double(u[size_t(y) * region.width() + x]) - expected));
            }
        }
        EXPECT_LT(worst, 0.01) << c;
    }
    kw::attack::GradientField odd = field;
    odd.region = QRect(0, 0, 60, 31);
    EXPECT_TRUE(kw::attack::IntegrateGradients(odd, 0).empty());
}

TEST_F(RemovalAttackTest, EstimatesAConsistentMarkAndRemovesIt)
{
    const std::vector<QImage> consistent = marked(kw::MarkWarpSetting{});
    QRect box;
    for (size_t i = 0; i < consistent.size(); ++i) {
        for (int y = 0; y < m_size.height(); ++y)
            for (int x = 0; x < m_size.width(); ++x)
                if (consistent[i].pixel(x, y) != m_originals[i].pixel(x, y))
                    box |= QRect(x, y, 1, 1);
    }
    box.adjust(-3, -3, 3, 3);
    const QRect region = kw::attack::SolvableRegionAround(box.adjusted(-4, -4, 4, 4));
    ASSERT_TRUE(QRect(QPoint(), m_size).contains(region))
        << region.width() << "x" << region.height();
    const auto truth = kw::attack::MeanDifferenceGradients(consistent, m_originals, region);

    const auto attack = [&](const std::vector<QImage> &photos, double *removedPsnr,
                            double *markedPsnr) {
        const auto estimate = kw::attack::MedianGradients(photos, region);
        std::vector<float> integrated[3];
        for (int c = 0; c < 3; ++c)
            integrated[c] = kw::attack::IntegrateGradients(estimate, c);
        *removedPsnr = *markedPsnr = 0;
        for (size_t i = 0; i < photos.size(); ++i) {
            *markedPsnr += kw::attack::Psnr(photos[i], m_originals[i], box) / double(photos.size());
            *removedPsnr +=
                kw::attack::Psnr(kw::attack::RemoveEstimate(photos[i], estimate, integrated),
                                 m_originals[i], box) /
                double(photos.size());
        }
        return kw::attack::GradientNcc(estimate, truth, box);
    };

    double removed = 0, before = 0;
    const double consistentNcc = attack(consistent, &removed, &before);
    EXPECT_GT(consistentNcc, 0.8);
    EXPECT_GT(removed, before + 3.0); // the removal clearly helps
    EXPECT_NEAR(kw::attack::GradientNcc(truth, truth, box), 1.0, 1e-9);

    kw::MarkWarpSetting warp;
    warp.enabled = true;
    warp.maxDisplacement = 2;
    double warpedRemoved = 0, warpedBefore = 0;
    const double warpedNcc = attack(marked(warp), &warpedRemoved, &warpedBefore);
    EXPECT_LT(warpedNcc, consistentNcc - 0.1);
    EXPECT_LT(warpedRemoved - warpedBefore, removed - before);
}

} // namespace
